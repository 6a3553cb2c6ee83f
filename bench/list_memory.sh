#!/usr/bin/env bash
# The cost of a long --files-from list: peak resident size of --dry-run and
# of a real run over a list of a million names, against a goal of 64 MB
# (the names alone are 28 MB). The files are missing, so the real run
# plans the whole batch and reports each name without writing; a folder of
# existing files would take a long while to make.
#   bench/list_memory.sh DELVORA_CONVERT [NAMES]
set -euo pipefail
convert=$1
names=${2:-1000000}
goal_kb=$((64 * 1024))
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 -c "
import sys
with open('$work/names', 'w') as f:
    for i in range($names):
        f.write('data/sub%03d/file%07d.csv\n' % (i % 1000, i))
"
status=0
for run in "--dry-run" "-q"; do
  /usr/bin/time -f "%M" -o "$work/peak" "$convert" $run --files-from "$work/names" \
    >/dev/null 2>&1 || true
  peak=$(tail -1 "$work/peak")
  echo "list_memory: $names names, delvora-convert $run: peak $((peak / 1024)) MB (goal $((goal_kb / 1024)) MB)"
  [ "$peak" -le "$goal_kb" ] || status=1
done
exit $status
