#!/usr/bin/env bash
# Runs every sh block of README.md between "usage: begin" and "usage: end",
# in order, as a reader would from the top of the checkout: in a scratch
# folder that holds a copy of examples/, with brixel on the PATH and nothing
# to answer on standard input. Each block must end with status 0. A map a
# block reads that is neither in examples/ nor written by an earlier block
# (nor by the block itself, after -dest:) is a map of the corpus: it is
# copied into build/examples/ first, and the block is skipped when the
# corpus lacks it.
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
    on && /^ *```sh$/ { n++; file = sprintf("%s/%03d.sh", out, n); print "# README.md:" NR + 1 > file; next }
    file != "" && /^ *```$/ { close(file); file = ""; next }
    file != "" { print > file }' "$readme"

count=0 failed=0
for block in "$scratch"/blocks/*.sh; do
    [ -e "$block" ] || break
    where=$(head -n 1 "$block")
    mkdir -p "$scratch/build/examples"
    written=$(grep -oE -- '-dest:[^ ]+\.map' "$block" | sed 's|.*/||; s|^-dest:||')
    missing=""
    for name in $(grep -oE '[A-Za-z0-9_./$-]+\.map' "$block" | grep -v -- '-dest:' | sed 's|.*/||' | sort -u); do
        if [ -e "$scratch/examples/$name" ] || [ -e "$scratch/build/examples/$name" ] ||
            printf '%s\n' $written | grep -qx -- "$name"; then
            continue
        fi
        if [ -f "$corpus/$name" ]; then
            cp "$corpus/$name" "$scratch/build/examples/"
        else
            missing="$missing $name"
        fi
    done
    if [ -n "$missing" ]; then
        echo "skipped ${where#\# }: no$missing in the map corpus at $corpus"
        continue
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
