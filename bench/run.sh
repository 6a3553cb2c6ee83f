#!/usr/bin/env bash
# `make bench`: every benchmark of the project, one line each, run from the
# Release build. Add a line for a new benchmark.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=build/release/bin

"$bin/engine_bench"
bash bench/compare.sh "$bin/delvora-convert"
