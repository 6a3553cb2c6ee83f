#!/usr/bin/env bash
# `make bench`: every benchmark of the project, one line each, run from the
# Release build. Add a line for a new benchmark.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=build/release/bin

"$bin/engine_bench"
bash bench/compare.sh "$bin/delvora-convert"
bash bench/batch.sh "$bin/delvora-convert" "$bin/batch_floor"
"$bin/run_bench" || echo "run_bench: the window run took more than 1.5x delvora-convert"
bash bench/startup.sh build/release
"$bin/walk_bench" || echo "walk_bench: adding the folder tree took more than 3x find"
