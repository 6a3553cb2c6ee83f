#!/usr/bin/env bash
# Runs make targets one after another and prints how long each took.
#   scripts/phases.sh "Title" target ["Title" target ...]
# Stops at the first that fails; the times so far are printed either way.
set -uo pipefail
make_cmd=${MAKE:-make}
report=()
summary() {
  echo
  echo "== Time per phase"
  printf '%s\n' "${report[@]}"
}
trap summary EXIT
total_start=$(date +%s)
while [ $# -ge 2 ]; do
  title=$1 target=$2
  shift 2
  start=$(date +%s)
  $make_cmd --no-print-directory "$target"
  status=$?
  seconds=$(($(date +%s) - start))
  line=$(printf '  %-28s %3dm%02ds' "$title" $((seconds / 60)) $((seconds % 60)))
  if [ $status -ne 0 ]; then
    report+=("$line  FAILED")
    exit $status
  fi
  report+=("$line")
done
seconds=$(($(date +%s) - total_start))
report+=("$(printf '  %-28s %3dm%02ds' "Total" $((seconds / 60)) $((seconds % 60)))")
