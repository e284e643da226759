#!/usr/bin/env bash
# Builds with ThreadSanitizer and runs every test labelled "tsan": the query engine's tests
# (the run's worker, its calls into the UI, stop requests and the look-up helper threads
# meet there) and the GUI tests of the Qt bridge, the progress window and the update
# dialog. The tests register themselves for it (tests/CMakeLists.txt).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESSERON_TSAN=ON \
    -DTESSERON_BUILD_GUI=ON -DTESSERON_BUILD_BENCH=OFF -DTESSERON_WERROR=ON >/dev/null
cmake --build build-tsan -j"$(nproc)" --target tests_tsan
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
ctest --test-dir build-tsan -L '^tsan$' --output-on-failure -j"$(nproc)"
