#!/usr/bin/env bash
# `make screenshot`: starts the real window under Xvfb with a throwaway
# settings store, loads the sample files as a new user would ("Load
# Sample/Example Files", then No to opening their folder) and writes
# docs/screenshot.png (with the skin that ships beside the program) and
# docs/screenshot-plain.png (the same program from a folder without it).
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
# The first visible window named Delvora other than $1 (the caption of the
# window and of its message boxes alike); ends the run when none comes.
appears() {
  local found=""
  for _ in $(seq 1 100); do
    found=$(xdotool search --onlyvisible --name '^Delvora$' 2>/dev/null | grep -vx "$1" |
      head -n 1 || true)
    [ -n "$found" ] && break
    sleep 0.1
  done
  if [ -z "$found" ]; then
    kill "$pid" 2>/dev/null || true
    echo "$2 did not appear" >&2
    exit 1
  fi
  echo "$found"
}
id=$(appears none "the window")
sleep 1  # the first paint
# "Load Sample/Example Files" (its centre, in the window's pixels), then No
# to the question that follows.
xdotool mousemove --window "$id" 400 264 click 1
box=$(appears "$id" "the sample-folder question")
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

# The program finds its skin, pointer and samples beside itself: a copy of
# that folder without the skin shows the plain window.
plain="$work/plain"
mkdir -p "$plain"
cp -r "$(dirname "$program")"/{delvora,HAND-M.CUR,Samples} "$plain"/
rm -rf "$XDG_CONFIG_HOME"
xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/shoot.sh" "$plain/delvora" \
  docs/screenshot-plain.png
echo "wrote docs/screenshot-plain.png"
