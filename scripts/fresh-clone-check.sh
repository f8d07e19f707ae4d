#!/usr/bin/env bash
# A new user's first ten minutes: the committed tree, cloned into a fresh
# temporary folder of mode 0700 (as /root is), runs the README's first two
# commands in order, scripts/run-examples.sh and then scripts/run-tests.sh,
# each timed. The second must not build the program again, only the tests,
# and without the map corpus beside the clone it must end saying so.
# Usage: scripts/fresh-clone-check.sh    (CI runs it; it builds from scratch)
set -euo pipefail
cd "$(dirname "$0")/.."
if ! git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    echo "fresh-clone: skipped: $PWD is not a git checkout"
    exit 0
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
git clone -q "$PWD" "$tmp/brixel"
cd "$tmp/brixel"

run() {
    local start=$SECONDS
    if ! "$1" >"$tmp/out.log" 2>&1; then
        tail -n 40 "$tmp/out.log"
        echo "fresh-clone: $1 failed" >&2
        exit 1
    fi
    echo "fresh-clone: $1 took $((SECONDS - start)) s"
}

run scripts/run-examples.sh
built=$(stat -c %Y build/release/brixel)
run scripts/run-tests.sh
if [ "$(stat -c %Y build/release/brixel)" != "$built" ]; then
    echo "fresh-clone: scripts/run-tests.sh built the program again" >&2
    exit 1
fi
last=$(tail -n 1 "$tmp/out.log")
case "$last" in
    *" tests skipped: no map corpus at "*) echo "fresh-clone: $last" ;;
    *) echo "fresh-clone: the test command did not say that the corpus is missing: $last" >&2; exit 1 ;;
esac
