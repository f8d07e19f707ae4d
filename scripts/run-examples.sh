#!/usr/bin/env bash
# Builds brixel and merges the bundled example maps: the brushes that
# examples/extra.map shares with examples/base.map are kept once.
# The build tree is the one scripts/run-tests.sh uses, configured the same
# way, so that running the tests afterwards builds only the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DBRIX_BUILD_TESTS=ON -DBRIX_WERROR=ON >/dev/null
cmake --build build/release -j2 --target brixel
mkdir -p build/examples
echo "\$ build/release/brixel concat examples/base.map examples/extra.map -dest:build/examples/merged.map -y -v"
build/release/brixel concat examples/base.map examples/extra.map -dest:build/examples/merged.map -y -v
echo
echo "Written: build/examples/merged.map ($(wc -c < build/examples/merged.map) bytes)"
echo "The program is build/release/brixel; README.md says how to install it or put it on the PATH."
