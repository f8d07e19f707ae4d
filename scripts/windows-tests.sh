#!/usr/bin/env bash
# Cross-builds brixel for 64-bit Windows with Debian's mingw-w64 compiler
# (statically linked brixel.exe) into build/mingw and runs the unit and
# end-to-end tests under wine, set up as a Russian Windows (ANSI code page
# 1251, OEM code page 866) and then as a Western one (code page 1252).
#
# The cross compiler and wine are installed from Debian's packages when they
# are missing (as root). When that is not possible the script says
# "windows-tests: skipped: ..." and exits 0; a failing build or test exits 1.
# Usage: scripts/windows-tests.sh
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/mingw
skip() {
    echo "windows-tests: skipped: $*"
    exit 0
}

# wine (with wine64) runs the 64-bit programs; no 32-bit wine is needed.
# googletest: its sources are built for Windows with the tests.
# locales: the Russian locale that makes wine a Russian Windows.
if ! scripts/deps.sh g++-mingw-w64-x86-64-posix wine wine64 googletest locales; then
    skip "the Windows cross compiler or wine is missing and could not be installed"
fi

export WINEPREFIX="$PWD/$build/wineprefix"
export WINEDEBUG=-all
# No Mono or Gecko installers on the first start.
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$build"

# Wine takes its code pages from the locale, and needs the locale to exist to
# map non-ASCII file names; it is made here rather than installed system-wide.
wine_locale=()
mkdir -p "$build/locale"
if [ -d "$build/locale/ru_RU.UTF-8" ] ||
    localedef -i ru_RU -f UTF-8 "$build/locale/ru_RU.UTF-8" >/dev/null 2>&1; then
    wine_locale=(LOCPATH="$PWD/$build/locale" LC_ALL=ru_RU.UTF-8)
else
    echo "windows-tests: note: no Russian locale; wine runs with its default code pages"
fi

# The first start creates the wine prefix; a wine that cannot start programs
# here (no kernel support, a broken install) is a skip, not a test failure.
probe=$(env "${wine_locale[@]}" wine cmd.exe /c echo wine-ready 2>/dev/null || true)
if [[ "$probe" != *wine-ready* ]]; then
    skip "wine cannot run Windows programs on this machine"
fi

start=$(date +%s)
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
    -DBRIX_BUILD_TESTS=ON -DBRIX_WERROR=ON >/dev/null
cmake --build "$build" -j2
# CTest runs the test programs through wine (the toolchain file's emulator):
# as a Russian Windows, then as a Western one (ANSI code page 1252).
env "${wine_locale[@]}" ctest --test-dir "$build" --output-on-failure
LC_ALL=C.UTF-8 ctest --test-dir "$build" --output-on-failure
echo "windows-tests: passed under wine ($(($(date +%s) - start)) s)"
