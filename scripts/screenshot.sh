#!/usr/bin/env bash
# `make screenshot`: starts the real window under Xvfb with a throwaway
# settings store and writes docs/screenshot.png.
#
#   scripts/screenshot.sh [build-dir]      (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
program="$build/bin/delvora"
[ -x "$program" ] || { echo "no $program: build first (make build)" >&2; exit 1; }

source scripts/throwaway-env.sh
mkdir -p docs

# Run on the Xvfb display; xvfb-run goes through sh, so the steps live in a
# file rather than an exported function.
cat >"$work/shoot.sh" <<'SHOOT'
set -euo pipefail
"$1" &
pid=$!
if command -v xwininfo >/dev/null; then
  id=""
  for _ in $(seq 1 100); do
    id=$(xwininfo -root -tree 2>/dev/null | awk '/"Delvora"/ {print $1; exit}')
    [ -n "$id" ] && break
    sleep 0.1
  done
  if [ -z "$id" ]; then
    kill "$pid" 2>/dev/null || true
    echo "the window did not appear" >&2
    exit 1
  fi
  sleep 1  # the first paint
  import -window "$id" "$2"
else
  # Without xwininfo: the whole screen, cut down to the window (no window
  # manager runs, so nothing but the window stands on the black screen).
  sleep 3
  import -window root png:- | convert - -trim +repage "$2"
fi
kill "$pid"
wait "$pid" 2>/dev/null || true
SHOOT
xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/shoot.sh" "$program" docs/screenshot.png
echo "wrote docs/screenshot.png"
