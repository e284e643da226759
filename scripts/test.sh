#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
# CI sets TESSERON_WERROR=ON: warnings are errors there.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTESSERON_WERROR="${TESSERON_WERROR:-OFF}" >/dev/null
cmake --build build -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
exec ctest --test-dir build --output-on-failure -j"$(nproc)"
