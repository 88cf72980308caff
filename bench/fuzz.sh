#!/usr/bin/env bash
# Builds the fuzz targets with clang in build-fuzz and runs each for a given time, one after
# the other on one core, from a corpus that the media fixtures write (docs/fuzzing.md):
#   bench/fuzz.sh [--seconds S] [--keep-going] [TARGET...]
# TARGET: probe, option_text, settings (default: all three). --seconds per target (default
# 600). --keep-going: a crash does not end the target's run; each one is kept and counted.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=600
keep_going=0
targets=()
while (($#)); do
    case "$1" in
    --seconds) seconds="$2"; shift 2 ;;
    --keep-going) keep_going=1; shift ;;
    probe | option_text | settings) targets+=("$1"); shift ;;
    *) echo "usage: bench/fuzz.sh [--seconds S] [--keep-going] [probe|option_text|settings]..." >&2; exit 2 ;;
    esac
done
((${#targets[@]})) || targets=(probe option_text settings)

VANTORIX_EXTRA_PACKAGES="clang-14 libclang-rt-14-dev" source tools/setup.sh

CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -G Ninja -DVANTORIX_FUZZ=ON -DVANTORIX_BUILD_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DCMAKE_C_FLAGS_DEBUG="-O1 -g" >/dev/null
cmake --build build-fuzz --target vantorix_fuzz_seeds "${targets[@]/#/fuzz_}" -- -j2

out="$PWD/build-fuzz/runs"
rm -rf "$out/seeds"
./build-fuzz/fuzz/vantorix_fuzz_seeds "$out/seeds" fuzz/option_text.dict

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1"
export LSAN_OPTIONS="suppressions=$PWD/fuzz/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# The harness works in a scratch folder under TMPDIR; the settings library syncs each file it
# writes to disk, which on a RAM disk costs nothing.
[ -d /dev/shm ] && export TMPDIR=/dev/shm

declare -A max_len=([probe]=65536 [option_text]=4096 [settings]=4096)
summary=()
for target in "${targets[@]}"; do
    corpus="$out/corpus/$target"
    artifacts="$out/artifacts/$target"
    log="$out/$target.log"
    mkdir -p "$corpus" "$artifacts"
    dict=()
    [ -f "fuzz/$target.dict" ] && dict=(-dict="$PWD/fuzz/$target.dict")
    more=()
    ((keep_going)) && more=(-fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1)
    echo "== $target: ${seconds} s, log in $log"
    start=$(date +%s)
    # The corpus folder keeps what earlier runs found; the seeds are read, not written.
    ./build-fuzz/fuzz/fuzz_"$target" "$corpus" "$out/seeds/$target" "${dict[@]}" "${more[@]}" \
        -max_total_time="$seconds" -max_len="${max_len[$target]}" -timeout=30 -rss_limit_mb=4096 \
        -artifact_prefix="$artifacts/" -print_final_stats=1 >"$log" 2>&1 || true
    elapsed=$(($(date +%s) - start))
    execs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*$' || true)
    [ -n "$execs" ] || execs=$(grep -o '^#[0-9]*' "$log" | tail -1 | tr -d '#' || true)
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*' || true)
    ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*' || true)
    crashes=$(find "$artifacts" -type f | wc -l)
    summary+=("$(printf '%-12s %6ss  executions %-9s coverage %-6s features %-7s corpus %-5s findings %s' \
        "$target" "$elapsed" "${execs:-?}" "${cov:-?}" "${ft:-?}" "$(find "$corpus" -type f | wc -l)" "$crashes")")
done

# A target that crashed or was killed leaves its scratch folder behind.
rm -rf "${TMPDIR:-/tmp}"/vantorix-fuzz-*

echo
printf '%s\n' "${summary[@]}"
echo "findings (crash-, leak-, timeout-, oom- files) are in $out/artifacts/"
