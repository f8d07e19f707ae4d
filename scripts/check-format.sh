#!/usr/bin/env bash
# Checks that every tracked .cpp and .h is as clang-format (the style in
# .clang-format) writes it; lists the files that are not. Changes nothing.
# Usage: scripts/check-format.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh clang-format clang-tidy
# The style was tuned with version 14; others break some lines differently.
format=$(command -v clang-format-14 || command -v clang-format)

sources() {
    if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        git ls-files -z '*.cpp' '*.h'
    else
        find brixlib brixel tests fuzz bench examples -type f \( -name '*.cpp' -o -name '*.h' \) -print0
    fi
}
unformatted=()
while IFS= read -r -d '' f; do
    # Deleted but not yet staged as such.
    [ -f "$f" ] || continue
    "$format" --dry-run -Werror "$f" >/dev/null 2>&1 || unformatted+=("$f")
done < <(sources)

if [ ${#unformatted[@]} -gt 0 ]; then
    echo "Not formatted as .clang-format says (${#unformatted[@]} files):" >&2
    printf '  %s\n' "${unformatted[@]}" >&2
    echo "Format them with: $format -i <files>" >&2
    exit 1
fi
echo "Formatting: all files as .clang-format says"
