#!/usr/bin/env bash
# Builds a benchmark optimised and prints its figures (docs/benchmark.md):
#   bench/run.sh [--seconds S] [--repeats N]     the conversion against the floor
#   bench/run.sh batch [--runs N]                the pause between the rows of a batch
#   bench/run.sh player [--seconds S]            sound against picture while the player plays
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/setup.sh
target=vantorix_bench
if [[ "${1:-}" == batch ]]; then
    target=vantorix_batch_bench
    shift
elif [[ "${1:-}" == player ]]; then
    target=vantorix_player_bench
    shift
fi
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-bench --target "$target" -- -j2
exec "./build-bench/bench/$target" "$@"
