#!/usr/bin/env bash
# Start-up to a shown window: Delvora against an empty Qt Widgets window,
# both started the same way (a fresh process, first paint, quit) on one
# Xvfb display. Goal: Delvora takes at most 1.5 times as long.
#
#   bench/startup.sh [build-dir]      (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
bin="$build/bin"
if [ ! -x "$bin/startup_delvora" ] || [ ! -x "$bin/startup_empty" ]; then
  cmake --build "$build" --target startup_delvora startup_empty delvora_resources >/dev/null
fi

source scripts/throwaway-env.sh

# The timing runs on one display; xvfb-run goes through sh, so the steps
# live in a file rather than an exported function.
cat >"$work/run.sh" <<'RUN'
set -euo pipefail
bin=$1 work=$2
# A usual start (the store holds the user's choices) and a first start
# (empty store: every restored choice is written back).
hyperfine -N --warmup 5 --runs "${RUNS:-40}" --export-json "$work/usual.json" \
  -n empty "$bin/startup_empty" -n delvora "$bin/startup_delvora" >&2
hyperfine -N --warmup 2 --runs "${RUNS:-40}" --export-json "$work/first.json" \
  --prepare "rm -rf '$XDG_CONFIG_HOME'" \
  -n empty "$bin/startup_empty" -n delvora "$bin/startup_delvora" >&2
python3 - "$work/usual.json" "$work/first.json" <<'PY'
import json, sys
for name, path in (("usual start", sys.argv[1]), ("first start", sys.argv[2])):
    r = {x["command"]: x for x in json.load(open(path))["results"]}
    e, d = r["empty"]["mean"], r["delvora"]["mean"]
    ratio = d / e
    print(f"{name} to a shown window: empty Qt window {e*1000:.1f} ms, Delvora {d*1000:.1f} ms, "
          f"ratio {ratio:.2f} (goal <= 1.50) {'OK' if ratio <= 1.5 else 'OVER'}")
PY
RUN

if [ -n "${DISPLAY:-}" ]; then
  bash "$work/run.sh" "$bin" "$work"
else
  xvfb-run -a -s "-screen 0 1280x1024x24" bash "$work/run.sh" "$bin" "$work"
fi
