#!/usr/bin/env bash
# Builds the release packages into build/packages:
#   brixel-<version>-Linux.tar.gz and brixel_<version>_<arch>.deb: the program,
#     the library, its headers and the CMake package (find_package(brixlib));
#   brixel-<version>-win64.zip: brixel.exe (cross-built, statically linked) and README.md.
# Each package is checked: the .tar.gz is unpacked and a small tool is built
# against it with find_package(brixlib); the .deb and .zip contents are listed.
# Missing build tools (CMake, the mingw-w64 cross compiler) are installed from
# Debian's packages when run as root.
# Usage: scripts/package.sh            Linux and Windows packages
#        scripts/package.sh --linux    Linux packages only
set -euo pipefail
cd "$(dirname "$0")/.."

windows=yes
[ "${1:-}" = "--linux" ] && windows=no
out=build/packages
mkdir -p "$out"

# --- Linux ---------------------------------------------------------------------
scripts/deps.sh
cmake -S . -B build/package-linux -DCMAKE_BUILD_TYPE=Release -DBRIX_BUILD_TESTS=OFF >/dev/null
cmake --build build/package-linux -j2
(cd build/package-linux && cpack -B "$PWD/packages" >/dev/null)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/package-linux/CMakeCache.txt)
tgz=$(ls build/package-linux/packages/brixel-"$version"-*.tar.gz)
deb=$(ls build/package-linux/packages/brixel_"$version"_*.deb)
cp "$tgz" "$deb" "$out/"

# A tool of someone else's, configured against the unpacked archive.
check=build/package-check
rm -rf "$check"
mkdir -p "$check/root"
tar -xzf "$tgz" -C "$check/root" --strip-components=1
cmake -S tests/package/consumer -B "$check/consumer" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_PREFIX_PATH="$PWD/$check/root" >/dev/null
cmake --build "$check/consumer" >/dev/null
"$check/consumer/brixlib_consumer"
"$check/root/bin/brixel" >"$check/help.txt"
head -1 "$check/help.txt"
listing=$(dpkg-deb -c "$deb")
for path in bin/brixel share/man/man1/brixel.1 share/bash-completion/completions/brixel \
        include/brixlib/mapfile.h lib/cmake/brixlib/brixlibConfig.cmake; do
    grep -q "/usr/$path\$" <<<"$listing" || { echo "package.sh: $path missing from $deb" >&2; exit 1; }
done
echo "package.sh: $(basename "$deb") holds the program, its manual page and completion, headers and CMake package"

# --- Windows -------------------------------------------------------------------
if [ "$windows" = yes ]; then
    if ! scripts/deps.sh g++-mingw-w64-x86-64-posix; then
        echo "package.sh: the Windows package needs the mingw-w64 cross compiler" \
            "(scripts/package.sh --linux builds the Linux packages only)" >&2
        exit 1
    fi
    cmake -S . -B build/package-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
        -DCMAKE_BUILD_TYPE=Release -DBRIX_BUILD_TESTS=OFF >/dev/null
    cmake --build build/package-win -j2 --target brixel
    (cd build/package-win && cpack -B "$PWD/packages" >/dev/null)
    zip=$(ls build/package-win/packages/brixel-"$version"-win64.zip)
    listing=$(cmake -E tar tf "$zip")
    for name in brixel.exe README.md; do
        grep -q "/$name\$" <<<"$listing" || { echo "package.sh: $name missing from $zip" >&2; exit 1; }
    done
    cp "$zip" "$out/"
fi

echo "package.sh: packages in $out:"
ls -l "$out"
