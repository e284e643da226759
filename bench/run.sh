#!/usr/bin/env bash
# Builds and runs the benchmarks. Each prints its figures with ratios to a reference
# measured in the same run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target bench_serverlist bench_exchange bench_results bench_language bench_registry bench_rdap bench_cli bench_rdap_cli tesseron_data
build/bench/bench_serverlist "$@"
build/bench/bench_exchange "$@"
build/bench/bench_results "$@"
build/bench/bench_language "$@"
build/bench/bench_registry "$@"
build/bench/bench_rdap "$@"
build/bench/bench_cli
build/bench/bench_rdap_cli
