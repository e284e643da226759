#!/usr/bin/env bash
# Builds the libFuzzer harnesses of tests/fuzz/ (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) in their own build folder and runs each for SECONDS (30 when
# not given), two at a time. New inputs collect in the build folder; the seeds in
# tests/fuzz/corpus/ stay as they are. A crash, a leak, a time-out or a blown memory bound
# fails the run, printing the harness's log with the report and the reproducer's path.
# Usage: scripts/fuzz.sh [SECONDS] [HARNESS...]   e.g. scripts/fuzz.sh 60 socks server_list
set -euo pipefail
seconds=${1:-30}
shift $(($# > 0 ? 1 : 0))
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
build=${TESSERON_FUZZ_BUILD:-build-fuzz}
parallel=${TESSERON_FUZZ_JOBS:-2}

harnesses=("$@")
if ((${#harnesses[@]} == 0)); then
    for f in tests/fuzz/fuzz_*.cpp; do
        f=${f#tests/fuzz/fuzz_}
        harnesses+=("${f%.cpp}")
    done
fi
targets=()
for h in "${harnesses[@]}"; do
    [[ -f tests/fuzz/fuzz_$h.cpp ]] || { echo "No harness named $h" >&2; exit 64; }
    targets+=("fuzz_$h")
done

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=None \
    -DCMAKE_CXX_FLAGS="-O1 -gline-tables-only" \
    -DTESSERON_FUZZ=ON -DTESSERON_WERROR="${TESSERON_WERROR:-OFF}" >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"

runs=$build/runs
run() {
    local h=$1 dir=$runs/$1 maxLen=4096 dict=
    case $h in
    server_list | results_file) maxLen=16384 dict=xml ;;
    bootstrap | rdap_render) maxLen=16384 dict=json ;;
    profile_file | language) dict=ini ;;
    esac
    local options=(-max_total_time="$seconds" -max_len="$maxLen" -rss_limit_mb=1024
        -timeout=10 -print_final_stats=1 -artifact_prefix="$dir/")
    [[ -n $dict ]] && options+=(-dict="tests/fuzz/dict/$dict.dict")
    mkdir -p "$dir/corpus"
    if ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        "$build/fuzz/fuzz_$h" "${options[@]}" "$dir/corpus" "tests/fuzz/corpus/$h" \
        >"$dir.log" 2>&1; then
        # The last status line: executions, coverage (cov) and features (ft).
        echo "$h: $(grep -E '^#[0-9]+' "$dir.log" | tail -n 1)" \
            "$(grep -E 'stat::number_of_executed_units' "$dir.log" | awk '{print "execs=" $2}')"
    else
        echo "== fuzz_$h FAILED; its log ($dir.log):"
        tail -n 80 "$dir.log"
        echo "== reproducer: $(ls "$dir"/crash-* "$dir"/leak-* "$dir"/timeout-* "$dir"/oom-* 2>/dev/null | head -n 1)"
        return 1
    fi
}

mkdir -p "$runs"
rm -f "$runs"/*.failed
for h in "${harnesses[@]}"; do
    while (($(jobs -rp | wc -l) >= parallel)); do
        wait -n || true
    done
    { run "$h" || touch "$runs/$h.failed"; } &
done
wait
if compgen -G "$runs/*.failed" >/dev/null; then
    exit 1
fi
