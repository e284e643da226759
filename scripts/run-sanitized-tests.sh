#!/usr/bin/env bash
# Builds the tests with one sanitizer in its own build folder and runs those labelled for it.
# The caller exports the sanitizer's run options first.
# Usage: run-sanitized-tests.sh BUILD_DIR LABEL CMAKE_OPTION
set -euo pipefail
build=$1 label=$2 option=$3
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug "-D$option=ON" \
    -DTESSERON_BUILD_GUI=ON -DTESSERON_BUILD_BENCH=OFF -DTESSERON_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target "tests_$label"
ctest --test-dir "$build" -L "^$label\$" --output-on-failure -j"$(nproc)"
