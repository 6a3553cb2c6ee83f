#!/usr/bin/env bash
# `make screenshot`: starts the real window under Xvfb with a throwaway
# settings store, loads the sample files as a new user would ("Load
# Sample/Example Files", then No to opening their folder) and writes
# docs/screenshot.png.
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
id=""
for _ in $(seq 1 100); do
  id=$(xdotool search --onlyvisible --name '^Delvora$' 2>/dev/null | head -n 1 || true)
  [ -n "$id" ] && break
  sleep 0.1
done
if [ -z "$id" ]; then
  kill "$pid" 2>/dev/null || true
  echo "the window did not appear" >&2
  exit 1
fi
sleep 1  # the first paint
# "Load Sample/Example Files" (its centre, in the window's pixels), then No
# to the question that follows.
xdotool mousemove --window "$id" 400 264 click 1
box=""
for _ in $(seq 1 50); do
  box=$(xdotool search --onlyvisible --name '^Delvora$' 2>/dev/null | grep -vx "$id" | head -n 1 || true)
  [ -n "$box" ] && break
  sleep 0.1
done
if [ -z "$box" ]; then
  kill "$pid" 2>/dev/null || true
  echo "the sample-folder question did not appear" >&2
  exit 1
fi
xdotool windowfocus --sync "$box" key Escape
sleep 1
xdotool mousemove --window "$id" 1 1  # no hover look on a button
sleep 0.5
import -window "$id" "$2"
kill "$pid"
wait "$pid" 2>/dev/null || true
SHOOT
xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/shoot.sh" "$program" docs/screenshot.png
echo "wrote docs/screenshot.png"
