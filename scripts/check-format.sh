#!/usr/bin/env bash
# Fails, naming each file and line, when a C++ source is not formatted as .clang-format
# says (the .h.in templates hold @PLACEHOLDERS@ and are left out). Fix with:
# clang-format -i FILE
set -euo pipefail
cd "$(dirname "$0")/.."
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files '*.cpp' '*.h')
else
    mapfile -t files < <(find . -path ./build\* -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
fi
clang-format --dry-run --Werror "${files[@]}"
echo "All ${#files[@]} C++ files are formatted."
