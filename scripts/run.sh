#!/usr/bin/env bash
# Installs what is missing, builds Tesseron and starts it from the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target tesseron tesseron-cli
exec build/tesseron "$@"
