#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz and runs each for a bounded time over its
# seed corpus in fuzz/corpus/<target>, which holds every crash found so far as a regression
# input. Fails when any target crashes, leaks, hangs or breaks one of its invariants. The corpus
# in the repository is only read: new inputs and crash files go to a temporary folder, and a
# crash file is kept there and named in the report. Skips, with exit status 0, when clang or
# libFuzzer is missing (scripts/install-deps.sh installs both).
#
# Usage: fuzz/run-fuzzers.sh [seconds per target]   (default 30; KESTRUNE_FUZZ_SECONDS also sets it)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-${KESTRUNE_FUZZ_SECONDS:-30}}
targets=(reply commatext calimport settings remote)
build=build-fuzz
jobs=$(nproc)

skip() {
    echo "fuzz: SKIPPED: $1"
    exit 0
}
command -v clang >/dev/null && command -v clang++ >/dev/null ||
    skip "clang not found (packages clang and libclang-rt-14-dev)"
work=$(mktemp -d "${TMPDIR:-/tmp}/kestrune-fuzz.XXXXXX")
scratch=
cleanup() {
    [ -n "$scratch" ] && rm -rf "$scratch"
    # Crash files outlive the run; everything else goes.
    if compgen -G "$work/*/crash/*" >/dev/null; then
        find "$work" -mindepth 2 -maxdepth 2 ! -name crash -exec rm -rf {} +
    else
        rm -rf "$work"
    fi
}
trap cleanup EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char *, unsigned long) { return 0; }' \
    >"$work/probe.cpp"
clang++ -fsanitize=fuzzer,address,undefined "$work/probe.cpp" -o "$work/probe" 2>/dev/null ||
    skip "clang cannot link libFuzzer (package libclang-rt-14-dev)"

CC=clang CXX=clang++ cmake -S . -B "$build" -DKESTRUNE_FUZZ=ON -DKESTRUNE_BUILD_TESTS=OFF \
    -DKESTRUNE_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$work/configure.log" ||
    { cat "$work/configure.log"; exit 1; }
cmake --build "$build" --target kestrune-fuzzers -j"$jobs"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# The targets' own temporary files (program folders, settings files) go to memory when it can
# take them: the settings are saved with a flush to disk, which would otherwise set the pace. A
# target that crashes leaves its files behind, so they live in a folder of this run.
scratch=$work/scratch
[ -d /dev/shm ] && [ -w /dev/shm ] && scratch=$(mktemp -d /dev/shm/kestrune-fuzz.XXXXXX)
mkdir -p "$scratch"

run_target() {
    local target=$1 dir=$work/$1
    mkdir -p "$dir/new" "$dir/crash"
    local status=0
    # The first folder takes the new inputs; the repository corpus is read only.
    TMPDIR=$scratch "$build/bin/fuzz/kestrune-fuzz-$target" -max_total_time="$seconds" -timeout=30 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$dir/crash/" \
        "$dir/new" "fuzz/corpus/$target" >"$dir/log" 2>&1 || status=$?
    echo "$status" >"$dir/status"
}

running=0
for target in "${targets[@]}"; do
    if [ "$running" -ge "$jobs" ]; then
        wait -n || true
        running=$((running - 1))
    fi
    run_target "$target" &
    running=$((running + 1))
done
wait

passed=0
failed=0
for target in "${targets[@]}"; do
    dir=$work/$target
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log" | tail -n 1)
    if [ "$(cat "$dir/status")" -eq 0 ]; then
        passed=$((passed + 1))
        echo "fuzz $target: ${runs:-0} executions in ${seconds} s, no crash"
    else
        failed=$((failed + 1))
        echo "fuzz $target: FAILED after ${runs:-?} executions; log tail:"
        tail -n 40 "$dir/log" | sed 's/^/    /'
        for crash in "$dir"/crash/*; do
            [ -e "$crash" ] && echo "    crash input kept at $crash (add it to fuzz/corpus/$target)"
        done
    fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
