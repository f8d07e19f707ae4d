#!/usr/bin/env bash
# Builds brixel and merges the bundled example maps: the brushes that
# examples/extra.map shares with examples/base.map are kept once.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j2 --target brixel
echo "\$ brixel concat examples/base.map examples/extra.map -dest:build/merged.map -y"
build/release/brixel concat examples/base.map examples/extra.map -dest:build/merged.map -y
echo
echo "Written: build/merged.map ($(wc -c < build/merged.map) bytes)"
