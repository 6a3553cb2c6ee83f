#!/usr/bin/env bash
# Many small files: delvora-convert against the floor (bench/batch_floor,
# the same system calls per file in a bare loop) and a shell loop of `tr`,
# once writing new results and once replacing older ones. Rounds alternate
# the tools; the median of each is reported.
# Usage: bench/batch.sh [delvora-convert] [batch_floor]   (FILES=10000 ROUNDS=5 JOBS=2)
set -euo pipefail

exe=$(realpath "${1:-build/release/bin/delvora-convert}")
floor=$(realpath "${2:-build/release/bin/batch_floor}")
files=${FILES:-10000}
rounds=${ROUNDS:-5}
for tool in "$exe" "$floor"; do
  [ -x "$tool" ] || { echo "batch.sh: no $tool (build Release first)" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/delvora-batch.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
mkdir "$work/in" "$work/delvora" "$work/floor" "$work/tr"

# About 1 KB each: 20 rows of 50 bytes.
awk -v files="$files" -v dir="$work/in" 'BEGIN {
  for (f = 0; f < files; f++) {
    name = sprintf("%s/f%05d.csv", dir, f)
    for (i = 0; i < 20; i++) printf "%d,%d,Smith John,2026-12-07,%d.25,Westfield,ok\n", f, i, i * 7 > name
    close(name)
  }
}'
echo "input: $files files, $(du -sb "$work/in" | cut -f1) bytes"
sync
sleep 1

run() {
  case $1 in
    delvora) "$exe" -q -j "${JOBS:-2}" --out "$work/delvora" "$work/in" ;;
    floor) "$floor" "$work/in" "$work/floor" ;;
    tr) for f in "$work"/in/*.csv; do
          b=${f##*/}
          tr ',' '\t' < "$f" > "$work/tr/${b%.csv}.tsv"
        done ;;
  esac
}

# Seconds of one run of $1, wall clock.
timed() {
  local start end
  start=$(date +%s.%N)
  run "$1"
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f\n", b - a }'
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

for mode in new replacing; do
  for tool in delvora floor tr; do : > "$work/$tool.times"; done
  for _ in $(seq "$rounds"); do
    for tool in delvora floor tr; do
      if [ "$mode" = new ]; then find "$work/$tool" -mindepth 1 -delete; else run "$tool"; fi
      timed "$tool" >> "$work/$tool.times"
    done
  done
  d=$(median < "$work/delvora.times")
  f=$(median < "$work/floor.times")
  t=$(median < "$work/tr.times")
  awk -v d="$d" -v f="$f" -v t="$t" -v n="$files" -v mode="$mode" 'BEGIN {
    printf "%s results: delvora %.1f us/file, floor %.1f us/file, tr loop %.1f us/file\n", mode, d / n * 1e6, f / n * 1e6, t / n * 1e6
    printf "%s results: delvora/floor %.2f (goal <= 1.5), delvora/tr %.2f\n", mode, d / f, d / t
  }'
done
cmp -s "$work/delvora/f00000.tsv" "$work/floor/f00000.tsv" || echo "batch.sh: floor and delvora differ" >&2
