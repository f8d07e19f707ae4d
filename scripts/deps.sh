#!/usr/bin/env bash
# Checks for what the build needs (CMake, a C++20 compiler, make, GoogleTest) and,
# when run as root on a Debian-like system, installs what is missing.
# Usage: scripts/deps.sh [extra Debian packages...]
set -euo pipefail

missing=()
command -v cmake >/dev/null 2>&1 || missing+=(cmake)
command -v make >/dev/null 2>&1 || missing+=(make)
command -v c++ >/dev/null 2>&1 || command -v g++ >/dev/null 2>&1 || missing+=(g++)
# Any one of the usual places will do.
gtest=no
for f in /usr/lib/*/cmake/GTest/GTestConfig.cmake /usr/lib/cmake/GTest/GTestConfig.cmake \
        /usr/local/lib/cmake/GTest/GTestConfig.cmake; do
    [ -e "$f" ] && gtest=yes
done
[ "$gtest" = yes ] || missing+=(libgtest-dev)
for pkg in "$@"; do
    dpkg -s "$pkg" >/dev/null 2>&1 || missing+=("$pkg")
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null 2>&1; then
    echo "Installing missing build tools: ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
else
    echo "brixel needs these to build: ${missing[*]}" >&2
    echo "Install them (Debian/Ubuntu: sudo apt-get install ${missing[*]}) and run again." >&2
    exit 1
fi
