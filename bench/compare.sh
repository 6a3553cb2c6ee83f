#!/usr/bin/env bash
# delvora-convert beside the tools it should be measured against, on one
# large generated comma file (400 MB, CR LF, with quoted fields), the same
# text with LF line ends and as UTF-16; the peers are cat and tr, which
# do less than a conversion can, and the converter's own modes against
# each other (--quotes and --check against the plain conversion of the same
# file). Every case runs once per round, the
# cases one after another within a round (so that a busy moment of the
# machine hits all of them alike); each result is the median over the
# rounds of the wall time, with the CPU time (user + system) beside it.
# Usage: bench/compare.sh [path/to/delvora-convert]   (SIZE_MB=400 RUNS=3)
set -euo pipefail

exe=$(realpath "${1:-build/release/bin/delvora-convert}")
size_mb=${SIZE_MB:-400}
runs=${RUNS:-3}
[ -x "$exe" ] || { echo "compare.sh: no converter at $exe (build Release first)" >&2; exit 2; }
for tool in iconv /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "compare.sh: $tool missing (make deps)" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/delvora-compare.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
mkdir "$work/out" "$work/new" "$work/times"

# A block of typical rows, repeated up to the size asked for.
block() {
  awk -v end="$1" 'BEGIN {
    for (i = 0; i < 52000; i++)
      printf "%d,\"Smith, John\",2026-12-07,%d.25,Westfield,active,,%d%s", i, (i * 7919) % 100000, i % 97, end
  }'
}
repeat() {  # repeat BLOCK_FILE MEGABYTES
  local bytes copies
  bytes=$(stat -c %s "$1")
  copies=$(( ($2 * 1000000 + bytes - 1) / bytes ))
  for _ in $(seq "$copies"); do cat "$1"; done
}
block '\r\n' > "$work/block.csv"
block '\n' > "$work/block_lf.csv"
repeat "$work/block.csv" "$size_mb" > "$work/in.csv"
repeat "$work/block_lf.csv" "$size_mb" > "$work/lf.csv"
rm "$work/block.csv" "$work/block_lf.csv"
{ printf '\377\376'; iconv -f UTF-8 -t UTF-16LE "$work/in.csv"; } > "$work/in16.csv"
# Let the kernel write the fresh inputs out before anything is timed.
sync
sleep 3
echo "input: $(stat -c %s "$work/in.csv") bytes CR LF, $(stat -c %s "$work/lf.csv") bytes LF," \
  "$(stat -c %s "$work/in16.csv") bytes UTF-16"

d="'$exe' -q"
declare -A command
order=()
add() { order+=("$1"); command[$1]=$2; }
# "new": no earlier result; "replace": the result of the previous run is there.
add delvora_new "$d --out '$work/new' '$work/in.csv'"
add delvora "$d --out '$work/out' '$work/in.csv'"
add cat_new "cat '$work/in.csv' > '$work/new/cat.out'"
add cat "cat '$work/in.csv' > '$work/cat.out'"
add tr "tr ',' '\t' < '$work/in.csv' > '$work/tr.out'"
add delvora_lf "$d --out '$work/out' '$work/lf.csv'"
add cat_lf "cat '$work/lf.csv' > '$work/cat_lf.out'"
add delvora16 "$d --out '$work/out' '$work/in16.csv'"
add cat16 "cat '$work/in16.csv' > '$work/cat16.out'"
quotes=false
if "$exe" --help 2>&1 | grep -q -- --quotes; then quotes=true; fi
if $quotes; then
  add quotes "$d --quotes --out '$work/out' '$work/in.csv'"
else
  echo "compare.sh: this delvora-convert has no --quotes; the quote-aware cases are left out" >&2
fi
check=false
if "$exe" --help 2>&1 | grep -q -- --check; then check=true; fi
# The check reads the whole file and writes one line (whatever it says of
# the file: the status is not the point here).
if $check; then add check "$d --check '$work/in.csv' > /dev/null || true"; fi

# The results that the "replace" cases replace; cat and tr replace theirs
# too (truncating an old output frees its blocks as a rename over it does).
for input in in lf in16; do "$exe" -q --out "$work/out" "$work/$input.csv"; done
cp "$work/in.csv" "$work/cat.out"; cp "$work/lf.csv" "$work/cat_lf.out"
cp "$work/in16.csv" "$work/cat16.out"; tr ',' '\t' < "$work/in.csv" > "$work/tr.out"

# Each run starts with nothing left for the kernel to write.
for round in $(seq "$runs"); do
  for name in "${order[@]}"; do
    sync
    # A case that writes a new result removes the earlier one before the clock starts.
    if [[ $name == *_new ]]; then rm -f "$work/new/in.tsv" "$work/new/cat.out"; sync; fi
    /usr/bin/time -f "%e %U %S %M" -o "$work/times/$name.$round" bash -c "${command[$name]}" \
      || { echo "compare.sh: $name failed" >&2; exit 1; }
  done
  echo "round $round of $runs done" >&2
done

# median FIELD NAME: 1 wall, 2 user, 3 system, 4 peak KB; 5 user + system.
median() {
  for f in "$work/times/$2".*; do
    awk -v k="$1" '{ print (k == 5) ? $2 + $3 : $k }' "$f"
  done | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}
peak() {
  for f in "$work/times/$1".*; do awk '{ print $4 }' "$f"; done | sort -g | tail -1
}

printf '\n%-14s %9s %9s %9s\n' case "wall s" "cpu s" "peak MB"
for name in "${order[@]}"; do
  printf '%-14s %9.3f %9.3f %9.1f\n' "$name" "$(median 1 "$name")" "$(median 5 "$name")" \
    "$(awk -v k="$(peak "$name")" 'BEGIN { print k / 1024 }')"
done

# ratio A B GOAL SENSE: A/B against the goal (le: at most, ge: at least).
ratio() {
  local a b ca cb
  a=$(median 1 "$1"); b=$(median 1 "$2"); ca=$(median 5 "$1"); cb=$(median 5 "$2")
  awk -v a="$a" -v b="$b" -v ca="$ca" -v cb="$cb" -v goal="$3" -v sense="$4" \
      -v label="$1/$2" 'BEGIN {
    r = a / b
    ok = (sense == "le") ? r <= goal : r >= goal
    word = (sense == "le") ? "<=" : ">="
    verdict = ok ? "met" : "MISSED"
    cpu = (cb > 0) ? ca / cb : 0
    printf "%-26s %6.2f  (goal %s %s: %s)   cpu %6.2f\n", label, r, word, goal, verdict, cpu
  }'
}
echo
echo "ratios of wall time (cpu: the same ratio of CPU time)"
ratio delvora cat 1.0 le
ratio delvora_new cat_new 1.0 le
ratio delvora tr 0.4 le
ratio delvora_lf cat_lf 1.1 le
ratio delvora16 cat16 1.0 le
if $quotes; then
  ratio quotes delvora 1.5 le
fi
if $check; then ratio check delvora 1.1 le; fi
awk -v p="$(peak delvora)" -v q="$(peak delvora16)" -v r="$($quotes && peak quotes || echo 0)" 'BEGIN {
  m = p; if (q > m) m = q; if (r > m) m = r
  printf "peak memory of delvora-convert %.1f MB (goal < 16 MB: %s)\n", m / 1024, m < 16384 ? "met" : "MISSED"
}'
