#!/usr/bin/env bash
# Builds a benchmark optimised and prints its figures (docs/benchmark.md):
#   bench/run.sh [--seconds S] [--repeats N]     the conversion against the floor
#   bench/run.sh stages [--seconds S] [--repeats N]
#                                                the stage threads against one thread, 720p and 1080p
#   bench/run.sh peers [--seconds S] [--repeats N]
#                                                whole programs side by side, 720p and 1080p: ours,
#                                                ours on one thread, the floor, HandBrakeCLI
#   bench/run.sh batch [--runs N]                a batch with one job and with two, and the pause
#                                                between the rows
#   bench/run.sh probe [--files N] [--runs N]    reading files one at a time and on the pool
#   bench/run.sh player [--seconds S]            sound against picture while the player plays
#   bench/run.sh window [--runs N]               the window's time to appear against a minimal
#                                                window, on an X server of its own (Xvfb)
#   bench/run.sh speed                           peers, batch, probe and window, one after another
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ "${1:-}" == speed ]]; then
    for mode in peers batch probe window; do
        echo "==== bench/run.sh $mode"
        bench/run.sh "$mode"
        echo
    done
    exit 0
fi
# The side-by-side run compares with a Debian package; the tests never need it.
[[ "${1:-}" == peers ]] && VANTORIX_EXTRA_PACKAGES="handbrake-cli"
source tools/setup.sh
target=vantorix_bench
args=()
if [[ "${1:-}" == batch ]]; then
    target=vantorix_batch_bench
    shift
elif [[ "${1:-}" == probe ]]; then
    target=vantorix_probe_bench
    shift
elif [[ "${1:-}" == player ]]; then
    target=vantorix_player_bench
    shift
elif [[ "${1:-}" == window ]]; then
    shift
    cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build build-bench --target vantorix vantorix_minimal_window vantorix_window_bench -- -j2
    exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" ./build-bench/bench/vantorix_window_bench "$@" \
        build-bench/src/app/ui/vantorix build-bench/bench/vantorix_minimal_window
elif [[ "${1:-}" == stages || "${1:-}" == peers ]]; then
    args=("--$1")
    shift
fi
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-bench --target "$target" -- -j2
exec "./build-bench/bench/$target" "${args[@]}" "$@"
