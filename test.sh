#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer
# and runs every test. With --tsan first: builds with ThreadSanitizer in build-tsan and runs
# the engine's tests and those of the application logic that need no Qt event loop (TSAN_LABELS,
# a ctest label pattern). Qt is not built with the detector and hands calls to the main
# thread by means the detector cannot see, so the batch driver, file dialog and command line
# tests, which run through it, would only report those hand-overs. Further arguments go to ctest.
set -euo pipefail
cd "$(dirname "$0")"
source tools/setup.sh
export QT_QPA_PLATFORM=offscreen

if [[ "${1:-}" == "--tsan" ]]; then
    shift
    cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVANTORIX_TSAN=ON >/dev/null
    cmake --build build-tsan
    export TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp:second_deadlock_stack=1:history_size=4"
    cd build-tsan
    exec ctest --output-on-failure --timeout 900 -j "$(nproc)" -L "${TSAN_LABELS:-^(engine|test_app_(profiles|taskbuilder|catalogue|options_dialog))$}" "$@"
fi

cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVANTORIX_SANITIZE=ON >/dev/null
cmake --build build-test
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
cd build-test
ctest --output-on-failure --timeout 600 -j "$(nproc)" "$@"
