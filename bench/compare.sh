#!/usr/bin/env bash
# Times delvora-convert against `cat in > out` and `tr ',' '\t'` on the same
# generated comma-delimited file (400 MB, no mark), and the same text as
# UTF-16, then prints the ratios and the converter's peak memory.
# Usage: bench/compare.sh [path/to/delvora-convert]   (SIZE_MB=400 RUNS=5)
set -euo pipefail

exe=$(realpath "${1:-build/release/bin/delvora-convert}")
size_mb=${SIZE_MB:-400}
runs=${RUNS:-5}
[ -x "$exe" ] || { echo "compare.sh: no converter at $exe (build Release first)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/delvora-compare.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
mkdir "$work/out"

# A 4 MB block of typical rows, repeated up to the size asked for.
awk 'BEGIN {
  for (i = 0; i < 52000; i++)
    printf "%d,\"Smith, John\",2026-12-07,%d.25,Westfield,active,,%d\r\n", i, (i * 7919) % 100000, i % 97
}' > "$work/block.csv"
block_bytes=$(stat -c %s "$work/block.csv")
copies=$(( (size_mb * 1000000 + block_bytes - 1) / block_bytes ))
for _ in $(seq "$copies"); do cat "$work/block.csv"; done > "$work/in.csv"
rm "$work/block.csv"
{ printf '\377\376'; iconv -f UTF-8 -t UTF-16LE "$work/in.csv"; } > "$work/in16.csv"
echo "input: $(stat -c %s "$work/in.csv") bytes without mark, $(stat -c %s "$work/in16.csv") bytes UTF-16"

# Columns of hyperfine's CSV: command,mean,stddev,median,user,system,min,max.
mean() { awk -F, -v name="$2" '$1 == name { print $2 }' "$1"; }
cpu() { awk -F, -v name="$2" '$1 == name { print $5 + $6 }' "$1"; }

hyperfine --style basic --warmup 1 --runs "$runs" --export-csv "$work/narrow.csv" \
  -n delvora "'$exe' -q --out '$work/out' '$work/in.csv'" \
  -n cat "cat '$work/in.csv' > '$work/cat.out'" \
  -n tr "tr ',' '\t' < '$work/in.csv' > '$work/tr.out'"
rm -f "$work/cat.out" "$work/tr.out" "$work/out/in.tsv"

hyperfine --style basic --warmup 1 --runs "$runs" --export-csv "$work/wide.csv" \
  -n delvora16 "'$exe' -q --out '$work/out' '$work/in16.csv'" \
  -n cat16 "cat '$work/in16.csv' > '$work/cat16.out'"
rm -f "$work/cat16.out"

peak_kb() { /usr/bin/time -f %M "$exe" -q --out "$work/out" "$1" 2>&1 >/dev/null | tail -1; }
peak_narrow=$(peak_kb "$work/in.csv")
peak_wide=$(peak_kb "$work/in16.csv")

d=$(mean "$work/narrow.csv" delvora)
c=$(mean "$work/narrow.csv" cat)
t=$(mean "$work/narrow.csv" tr)
d16=$(mean "$work/wide.csv" delvora16)
c16=$(mean "$work/wide.csv" cat16)
# CPU time (user + system) says less about the disk and more about the
# work, and moves less when other programs share the machine.
dc=$(cpu "$work/narrow.csv" delvora)
cc=$(cpu "$work/narrow.csv" cat)
tc=$(cpu "$work/narrow.csv" tr)
awk -v d="$d" -v c="$c" -v t="$t" -v d16="$d16" -v c16="$c16" \
    -v dc="$dc" -v cc="$cc" -v tc="$tc" \
    -v pn="$peak_narrow" -v pw="$peak_wide" 'BEGIN {
  printf "\nno mark:  delvora-convert %.3f s, cat %.3f s, tr %.3f s\n", d, c, t
  printf "          delvora/cat = %.2f (goal <= 1.5), delvora/tr = %.2f (goal <= 0.5)\n", d / c, d / t
  printf "          CPU time: delvora %.3f s, cat %.3f s, tr %.3f s; delvora/cat = %.2f, delvora/tr = %.2f\n", dc, cc, tc, dc / cc, dc / tc
  printf "UTF-16:   delvora-convert %.3f s, cat %.3f s (same text as UTF-16)\n", d16, c16
  printf "          delvora/cat(no mark) = %.2f (goal <= 2), delvora/cat(UTF-16 file) = %.2f\n", d16 / c, d16 / c16
  printf "peak memory: %.1f MB without mark, %.1f MB UTF-16 (goal < 64 MB)\n", pn / 1024, pw / 1024
}'
