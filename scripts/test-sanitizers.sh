#!/usr/bin/env bash
# Builds the core and its tests with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs the core tests.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESSERON_SANITIZE=ON \
    -DTESSERON_BUILD_GUI=OFF -DTESSERON_BUILD_BENCH=OFF >/dev/null
cmake --build build-sanitize -j"$(nproc)" --target test_settings test_serverdb test_results test_locale \
    test_exchange test_update test_desktop
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build-sanitize -L core --output-on-failure -j"$(nproc)"
