#!/usr/bin/env bash
# Installs what is missing, builds Vantorix optimised and starts it.
set -euo pipefail
cd "$(dirname "$0")"
source tools/setup.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTORIX_BUILD_TESTS=OFF >/dev/null
cmake --build build-release
exec ./build-release/src/app/ui/vantorix "$@"
