#!/usr/bin/env bash
# Builds the query engine's tests with ThreadSanitizer and runs them: the run's worker,
# its calls into the UI, stop requests and the look-up helper threads meet there.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESSERON_TSAN=ON \
    -DTESSERON_BUILD_GUI=OFF -DTESSERON_BUILD_BENCH=OFF >/dev/null
cmake --build build-tsan -j"$(nproc)" --target test_exchange
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
build-tsan/tests/test_exchange
