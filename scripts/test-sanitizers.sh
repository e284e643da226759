#!/usr/bin/env bash
# Builds with AddressSanitizer and UndefinedBehaviorSanitizer and runs every test labelled
# "asan": the core tests and the GUI tests of the forms that meet the run's threads. The
# tests register themselves for it (tests/CMakeLists.txt), so none is left out here.
set -euo pipefail
exec "$(dirname "$0")/run-sanitized-tests.sh" build-sanitize asan TESSERON_SANITIZE \
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
