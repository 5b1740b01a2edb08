#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once in a normal build, once with
# AddressSanitizer and UndefinedBehaviorSanitizer, then a short run of every fuzzer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# Layer rules and formatting first: both take seconds and fail the run.
scripts/check-sources.py

jobs=$(nproc)
# Most tests wait on a serial line, a socket or a dwell, so they overlap well beyond the cores.
test_jobs=$((jobs * 3))
export QT_QPA_PLATFORM=offscreen

# Benchmarks are timed by hand, not in this command; leaving them out keeps it within 20 minutes.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DKESTRUNE_BUILD_BENCH=OFF
cmake --build build -j"$jobs"

# The package is built apart: its programs keep their data in /var/lib/kestrune and are compiled
# with Debian's hardening flags. It needs the libraries and programs only. Its build keeps the
# processors busy while the tests mostly wait on serial lines, sockets and dwells, so the two
# overlap; its output follows the tests'.
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
cmake -S . -B build-deb -DCMAKE_BUILD_TYPE=Release -DKESTRUNE_DEB=ON -DKESTRUNE_BUILD_TESTS=OFF \
    -DKESTRUNE_BUILD_BENCH=OFF >"$logs/deb" 2>&1
cmake --build build-deb -j"$jobs" >>"$logs/deb" 2>&1 &
deb_build=$!
ctest --test-dir build --output-on-failure -j"$test_jobs"
wait "$deb_build" || { cat "$logs/deb"; echo "the package's build failed" >&2; exit 1; }
tests/install/package_test.sh build-deb

# The fuzzers' build and short runs overlap the sanitizer build's tests in the same way.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DKESTRUNE_SANITIZE=ON -DKESTRUNE_BUILD_BENCH=OFF
cmake --build build-asan -j"$jobs"
fuzz/run-fuzzers.sh "${KESTRUNE_FUZZ_SECONDS:-6}" >"$logs/fuzz" 2>&1 &
fuzzers=$!
ctest --test-dir build-asan --output-on-failure -j"$test_jobs"
fuzz_status=0
wait "$fuzzers" || fuzz_status=$?
cat "$logs/fuzz"
exit "$fuzz_status"
