#!/usr/bin/env bash
# Builds brixel with its tests and runs them all with CTest.
# Usage: scripts/run-tests.sh           (release build in build/release, the tree
#                                        scripts/run-examples.sh builds in)
#        scripts/run-tests.sh --asan    (address + undefined-behaviour sanitizers, build/asan)
# When tests were skipped because the map corpus is absent, the last line says
# how many and where the corpus was looked for.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

mode=release
[ "${1:-}" = "--asan" ] && mode=asan
case "$mode" in
    release) flags=(-DCMAKE_BUILD_TYPE=Release) ;;
    asan)    flags=(-DCMAKE_BUILD_TYPE=Debug -DBRIX_SANITIZE=ON) ;;
esac

build="build/$mode"
cmake -S . -B "$build" -DBRIX_BUILD_TESTS=ON -DBRIX_WERROR=ON "${flags[@]}" >/dev/null
cmake --build "$build" -j2
status=0
ctest --test-dir "$build" --output-on-failure -j2 || status=$?

# The tests that need the corpus say so when they skip; their output is in
# CTest's log, one block per test.
corpus=$(sed -n 's/^BRIX_CORPUS_DIR:PATH=//p' "$build/CMakeCache.txt")
log="$build/Testing/Temporary/LastTest.log"
if [ -n "$corpus" ] && [ ! -d "$corpus" ] && [ -f "$log" ]; then
    skipped=$(awk -v dir="$corpus" '
        / Testing: / { if (skip && named) n++; skip = 0; named = 0 }
        /\[  SKIPPED \]/ { skip = 1 }
        index($0, dir) { named = 1 }
        END { if (skip && named) n++; print n + 0 }' "$log")
    if [ "$skipped" -gt 0 ]; then
        echo "$skipped tests skipped: no map corpus at $(realpath -m "$corpus")"
    fi
fi
exit "$status"
