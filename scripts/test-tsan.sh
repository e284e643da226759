#!/usr/bin/env bash
# Builds with ThreadSanitizer and runs every test labelled "tsan": the query engine's tests
# (the run's worker, its calls into the UI, stop requests and the look-up helper threads
# meet there) and the GUI tests of the Qt bridge, the progress window and the update
# dialog. The tests register themselves for it (tests/CMakeLists.txt).
set -euo pipefail
exec "$(dirname "$0")/run-sanitized-tests.sh" build-tsan tsan TESSERON_TSAN \
    TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
