#!/usr/bin/env bash
# delvora-convert on one large file of each shape (bench/shapes_tool.cpp
# lists them: short numeric fields, the same with LF ends, long text
# fields, non-ASCII text, quote-heavy, UTF-16): the plain conversion
# against the copy floor (bench/copy_floor.cpp: the same bytes through the
# same temporary-and-rename path, nothing done to them), and --quotes and
# --check against the plain conversion of the same file. Wall time and CPU
# time (user + system of every thread) of each run.
#
# Every case of a shape runs once per round, one after another, in an
# order that turns from round to round, each after a sync and with its
# result from the round before removed (so that a busy moment of the
# machine hits all of them alike); each figure is the median over the
# rounds. Every ratio is printed beside its goal.
#
# BASELINE=path/to/another/delvora-convert measures that one too, in the
# same rounds (before and after a change), and compares its results with
# this one's byte for byte.
#
# Usage: bench/shapes.sh [delvora-convert] [copy_floor] [shapes_tool]
#        SHAPES_MB=150 ROUNDS=5 SHAPES="numeric numeric-lf text nonascii quotes utf16"
set -euo pipefail

bin=build/release/bin
exe=$(realpath "${1:-$bin/delvora-convert}")
floor=$(realpath "${2:-$bin/copy_floor}")
tool=$(realpath "${3:-$bin/shapes_tool}")
megabytes=${SHAPES_MB:-150}
rounds=${ROUNDS:-5}
shapes=${SHAPES:-numeric numeric-lf text nonascii quotes utf16}
baseline=${BASELINE:+$(realpath "$BASELINE")}
for program in "$exe" "$floor" "$tool" ${baseline:+"$baseline"}; do
  [ -x "$program" ] || { echo "shapes.sh: no $program (build Release first)" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/delvora-shapes.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
mkdir "$work/in" "$work/times"

for shape in $shapes; do
  "$tool" gen "$shape" "$megabytes" "$work/in/$shape.csv"
done
# Let the kernel write the fresh inputs out before anything is timed.
sync
echo "inputs: $megabytes MB each of: $shapes; $rounds rounds; load average: $(cut -d' ' -f1-3 /proc/loadavg)"

# The cases of one shape: name, then the command (its result goes to
# $work/out-NAME/, emptied before each run).
cases=(floor plain quotes check)
[ -n "$baseline" ] && cases+=(base_plain base_quotes base_check)
run_case() {  # run_case NAME SHAPE
  local name=$1 input="$work/in/$2.csv" out="$work/out-$1" program=$exe
  [[ $name == base_* ]] && program=$baseline
  rm -rf "$out"
  mkdir "$out"
  sync
  local times="$work/times/$2.$name"
  case $name in
    floor) "$tool" time "$times" "$floor" "$input" "$out/$2.tsv" ;;
    plain | base_plain) "$tool" time "$times" "$program" -q --out "$out" "$input" ;;
    quotes | base_quotes) "$tool" time "$times" "$program" -q --quotes --out "$out" "$input" ;;
    check | base_check) "$tool" time "$times" "$program" -q --check "$input" ;;
  esac
  local status
  status=$(tail -1 "$times" | cut -d' ' -f5)
  # The check's status says whether the file is safe, which is not the point.
  if [[ $name != *check && $status != 0 ]]; then
    echo "shapes.sh: $name on $2 failed (status $status)" >&2
    exit 1
  fi
}

# The results of a shape's last round, byte for byte (each case's folder
# holds only its latest result): the floor's is the input itself.
compare() {  # compare SHAPE
  cmp -s "$work/in/$1.csv" "$work/out-floor/$1.tsv" || echo "shapes.sh: the floor did not copy $1" >&2
  [ -n "$baseline" ] || return 0
  local mode
  for mode in plain quotes; do
    if cmp -s "$work/out-$mode/$1.tsv" "$work/out-base_$mode/$1.tsv"; then
      echo "$1: the $mode result is identical to the baseline's"
    else
      echo "shapes.sh: $1: the $mode result DIFFERS from the baseline's"
    fi
  done
}

for round in $(seq "$rounds"); do
  for shape in $shapes; do
    n=${#cases[@]}
    for k in $(seq 0 $((n - 1))); do
      run_case "${cases[$(((k + round) % n))]}" "$shape"
    done
    if [ "$round" = "$rounds" ]; then compare "$shape"; fi
  done
  echo "round $round of $rounds done" >&2
done

# median SHAPE.NAME FIELD: 1 wall, 5 user + system, 4 peak KB (the largest),
# 6 the lowest user + system (a busy machine only ever adds to CPU time).
median() {
  awk -v k="$2" '{ print (k >= 5) ? $2 + $3 : $k }' "$work/times/$1" | sort -g |
    awk -v k="$2" '{ v[NR] = $1 } END { print (k == 4) ? v[NR] : (k == 6) ? v[1] : v[int((NR + 1) / 2)] }'
}

echo
printf '%-11s %-12s %8s %8s %8s\n' shape case "wall s" "cpu s" "peak MB"
for shape in $shapes; do
  for name in "${cases[@]}"; do
    printf '%-11s %-12s %8.3f %8.3f %8.1f\n' "$shape" "$name" "$(median "$shape.$name" 1)" \
      "$(median "$shape.$name" 5)" "$(awk -v k="$(median "$shape.$name" 4)" 'BEGIN { print k / 1024 }')"
  done
done

missed=0
# ratio SHAPE A B WALL_GOAL CPU_GOAL: A/B of the medians, each against its
# goal ("-": none).
ratio() {
  local line
  line=$(awk -v a="$(median "$1.$2" 1)" -v b="$(median "$1.$3" 1)" \
    -v ca="$(median "$1.$2" 5)" -v cb="$(median "$1.$3" 5)" -v wg="$4" -v cg="$5" \
    -v la="$(median "$1.$2" 6)" -v lb="$(median "$1.$3" 6)" -v label="$1 $2/$3" 'BEGIN {
    w = a / b; c = ca / cb
    wv = (wg == "-") ? "" : sprintf("(goal <= %s: %s)", wg, w <= wg + 0 ? "met" : "MISSED")
    cv = (cg == "-") ? "" : sprintf("(goal <= %s: %s)", cg, c <= cg + 0 ? "met" : "MISSED")
    printf "%-34s wall %5.2f %-19s cpu %5.2f %-19s lowest cpu %5.2f\n", label, w, wv, c, cv, la / lb
  }')
  echo "$line"
  [[ $line != *MISSED* ]] || missed=$((missed + 1))
}

echo
echo "ratios of the medians (and of the lowest CPU times)"
for shape in $shapes; do
  ratio "$shape" plain floor 1.1 1.3
  if [ "$shape" = quotes ]; then ratio "$shape" quotes plain 2.0 2.0; else ratio "$shape" quotes plain 1.3 1.3; fi
  ratio "$shape" check plain 1.1 1.5
  if [ -n "$baseline" ]; then
    ratio "$shape" base_plain floor - -
    ratio "$shape" base_quotes base_plain - -
    ratio "$shape" base_check base_plain - -
  fi
done
peak=0
for shape in $shapes; do
  for name in plain quotes check; do
    kb=$(median "$shape.$name" 4)
    ((kb > peak)) && peak=$kb
  done
done
awk -v p="$peak" 'BEGIN { printf "peak memory of delvora-convert %.1f MB (goal < 16 MB: %s)\n", p / 1024, p < 16384 ? "met" : "MISSED" }'
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "$missed ratios missed their goal"
