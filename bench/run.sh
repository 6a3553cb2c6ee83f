#!/usr/bin/env bash
# `make bench`: every benchmark of the project, one line each, run from the
# Release build. Add a line for a new benchmark.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=build/release/bin

"$bin/engine_bench"
# One large file of each shape against the copy floor; --quotes and --check
# against the plain conversion (SHAPES_MB, ROUNDS, SHAPES; BASELINE=another
# delvora-convert for before and after).
bash bench/shapes.sh "$bin/delvora-convert" "$bin/copy_floor" "$bin/shapes_tool"
bash bench/batch.sh "$bin/delvora-convert" "$bin/batch_floor"
bash bench/list_memory.sh "$bin/delvora-convert" || echo "list_memory: a long list cost more than 64 MB"
"$bin/run_bench" || echo "run_bench: the window run took more than 1.5x delvora-convert"
bash bench/startup.sh build/release
# Folder trees into the list: offscreen with the list's own costs, then the
# real window shown on an Xvfb display, into an empty list and into one
# that already holds 100,000 entries.
"$bin/walk_bench" --list-costs || echo "walk_bench: adding the folder tree took more than 3x find"
shown() { xvfb-run -a -s "-screen 0 1280x1024x24" "$bin/walk_bench" --shown "$@"; }
shown --one-csv-folders 30000 --repeat 3 ||
  echo "walk_bench --shown: adding 30,000 folders to an empty list took more than 3x find"
shown --preload 100000 --repeat 3 ||
  echo "walk_bench --shown --preload 100000: adding 30,000 folders took more than 3x find"
