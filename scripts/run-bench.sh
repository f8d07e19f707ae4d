#!/usr/bin/env bash
# Builds brixel and its benchmarks (Release) and runs them: whole brixel runs
# on generated maps at 1, 2 and 4 times the base size and from 1 MB up to
# --max-mb, the real maps of the corpus, then the micro-benchmarks.
# Usage: scripts/run-bench.sh [brixbench options...]
#   e.g. scripts/run-bench.sh --base-mb 4 --max-mb 20 --repeat 1   (a quick look)
# brixbench exits non-zero when a target is missed; the micro-benchmarks still run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh libbenchmark-dev

cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DBRIX_BUILD_BENCH=ON -DBRIX_BUILD_TESTS=OFF >/dev/null
cmake --build build/bench -j2 --target brixel brixbench brixmicro

corpus=()
[ -d ../shared/corpus/maps ] && corpus=(--corpus ../shared/corpus/maps)
status=0
build/bench/bench/brixbench --brixel build/bench/brixel --base-mb 16 --max-mb 200 "${corpus[@]}" "$@" || status=$?
echo
build/bench/bench/brixmicro --benchmark_min_time=0.2
exit $status
