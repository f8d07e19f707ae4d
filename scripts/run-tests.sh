#!/usr/bin/env bash
# Builds brixel with its tests and runs them all with CTest.
# Usage: scripts/run-tests.sh           (release build in build/release)
#        scripts/run-tests.sh --asan    (address + undefined-behaviour sanitizers, build/asan)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

mode=release
[ "${1:-}" = "--asan" ] && mode=asan
case "$mode" in
    release) flags=(-DCMAKE_BUILD_TYPE=Release) ;;
    asan)    flags=(-DCMAKE_BUILD_TYPE=Debug -DBRIX_SANITIZE=ON) ;;
esac

cmake -S . -B "build/$mode" -DBRIX_BUILD_TESTS=ON -DBRIX_WERROR=ON "${flags[@]}" >/dev/null
cmake --build "build/$mode" -j2
ctest --test-dir "build/$mode" --output-on-failure -j2
