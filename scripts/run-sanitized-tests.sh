#!/usr/bin/env bash
# Builds the tests with one sanitizer in its own build folder and runs those labelled for it,
# with the sanitizer's run options (VAR=VALUE) set for the test run only.
# Usage: run-sanitized-tests.sh BUILD_DIR LABEL CMAKE_OPTION [VAR=VALUE...]
set -euo pipefail
build=$1 label=$2 option=$3
shift 3
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug "-D$option=ON" \
    -DTESSERON_BUILD_GUI=ON -DTESSERON_BUILD_BENCH=OFF -DTESSERON_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target "tests_$label"
env "$@" ctest --test-dir "$build" -L "^$label\$" --output-on-failure -j"$(nproc)"
