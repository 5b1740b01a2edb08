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
ctest --test-dir build --output-on-failure -j"$test_jobs"

# The package is built apart: its programs keep their data in /var/lib/kestrune and are compiled
# with Debian's hardening flags. It needs the libraries and programs only.
cmake -S . -B build-deb -DCMAKE_BUILD_TYPE=Release -DKESTRUNE_DEB=ON -DKESTRUNE_BUILD_TESTS=OFF \
    -DKESTRUNE_BUILD_BENCH=OFF
cmake --build build-deb -j"$jobs"
tests/install/package_test.sh build-deb

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DKESTRUNE_SANITIZE=ON -DKESTRUNE_BUILD_BENCH=OFF
cmake --build build-asan -j"$jobs"
ctest --test-dir build-asan --output-on-failure -j"$test_jobs"

fuzz/run-fuzzers.sh "${KESTRUNE_FUZZ_SECONDS:-6}"
