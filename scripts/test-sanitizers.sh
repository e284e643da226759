#!/usr/bin/env bash
# Builds with AddressSanitizer and UndefinedBehaviorSanitizer and runs every test labelled
# "asan": the core tests and the GUI tests of the forms that meet the run's threads. The
# tests register themselves for it (tests/CMakeLists.txt), so none is left out here.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESSERON_SANITIZE=ON \
    -DTESSERON_BUILD_GUI=ON -DTESSERON_BUILD_BENCH=OFF -DTESSERON_WERROR=ON >/dev/null
cmake --build build-sanitize -j"$(nproc)" --target tests_asan
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build-sanitize -L '^asan$' --output-on-failure -j"$(nproc)"
