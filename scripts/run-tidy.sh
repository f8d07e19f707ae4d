#!/usr/bin/env bash
# Runs clang-tidy (the checks in .clang-tidy) over the library, the program,
# the fuzz targets and the tests, two files at a time; fails on any finding.
# Usage: scripts/run-tidy.sh [REGEX]   only the sources whose path matches REGEX
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh clang-format clang-tidy
tidy=$(command -v clang-tidy-14 || command -v clang-tidy)

# Configured only: clang-tidy needs the compile commands, and no header is
# generated. Debug, so that the asserts are there to be checked.
build=build/tidy
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DBRIX_BUILD_TESTS=ON -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null

# Everything in the compile commands is ours (GoogleTest comes prebuilt).
mapfile -t sources < <(sed -n 's/^ *"file": "\(.*\)",\{0,1\}$/\1/p' "$build/compile_commands.json" |
    grep -E "${1:-.}" || true)
if [ ${#sources[@]} -eq 0 ]; then
    echo "No source matches ${1:-}" >&2
    exit 2
fi
# Without the count of the system headers' warnings that each file reports.
if ! printf '%s\0' "${sources[@]}" | xargs -0 -P2 -n1 "$tidy" -p "$build" --quiet 2>&1 |
    { grep -v -E '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$' || true; }; then
    echo "clang-tidy: findings above (checks in .clang-tidy)" >&2
    exit 1
fi
echo "clang-tidy: no findings"
