#!/usr/bin/env bash
# Runs every sh block of README.md between "usage: begin" and "usage: end",
# in order, as a reader would from the top of the checkout: in a scratch
# folder that holds a copy of examples/, with brixel on the PATH and nothing
# to answer on standard input. Each block must end with status 0. A block
# that names e3m4.map gets that map of the corpus copied into
# build/examples/ first, and is skipped when the corpus lacks it.
# Usage: readme_examples.sh README EXAMPLES_DIR BRIXEL SCRATCH CORPUS_DIR
set -uo pipefail
readme=$1 examples=$2 program=$3 scratch=$4 corpus=$5

rm -rf "$scratch"
mkdir -p "$scratch/bin" "$scratch/blocks"
cp -R "$examples" "$scratch/examples"
ln -s "$program" "$scratch/bin/brixel"

# One file per block, numbered in README order; the first line of each is its
# line number in the README.
awk -v out="$scratch/blocks" '
    /usage: begin/ { on = 1 }
    /usage: end/ { on = 0 }
    on && /^```sh$/ { n++; file = sprintf("%s/%03d.sh", out, n); print "# README.md:" NR + 1 > file; next }
    file != "" && /^```$/ { close(file); file = ""; next }
    file != "" { print > file }' "$readme"

count=0 failed=0
for block in "$scratch"/blocks/*.sh; do
    [ -e "$block" ] || break
    where=$(head -n 1 "$block")
    if grep -q 'e3m4\.map' "$block"; then
        if [ ! -f "$corpus/e3m4.map" ]; then
            echo "skipped ${where#\# }: no e3m4.map in the map corpus at $corpus"
            continue
        fi
        mkdir -p "$scratch/build/examples"
        cp "$corpus/e3m4.map" "$scratch/build/examples/"
    fi
    count=$((count + 1))
    if ! (cd "$scratch" && PATH="$scratch/bin:$PATH" bash -e "$block" </dev/null >"$block.out" 2>&1); then
        echo "FAILED ${where#\# }:"
        sed 's/^/    /' "$block"
        echo "  output:"
        sed 's/^/    /' "$block.out"
        failed=$((failed + 1))
    fi
done
echo "readme_examples: $count blocks run, $failed failed"
[ "$count" -gt 0 ] && [ "$failed" -eq 0 ]
