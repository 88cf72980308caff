#!/usr/bin/env bash
# Builds the conversion benchmark optimised and prints its figures (docs/benchmark.md):
#   bench/run.sh [--seconds S] [--repeats N]
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/setup.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-bench --target vantorix_bench -- -j2
exec ./build-bench/bench/vantorix_bench "$@"
