#!/usr/bin/env bash
# Runs the tests of the Windows build under Wine (ctest label "wine").
# Usage: scripts/wine-tests.sh [NATIVE_BUILD_DIR] [MINGW_BUILD_DIR]
#        (defaults: build/dev and build/mingw)
#
# Builds the mingw folder (gen_velvox.dll, velvox-host.exe), points the native
# build's VELVOX_MINGW_BUILD_DIR at it, builds the Windows-side test tools and
# runs `ctest -L wine`. The ctest fixture "wine_session" makes a fresh private
# WINEPREFIX under the native build folder and starts Xvfb and a wineserver
# before the first Wine test and stops them after the last one.
set -euo pipefail
cd "$(dirname "$0")/.."
native=${1:-build/dev}
mingw=${2:-build/mingw}
jobs=$(nproc 2>/dev/null || echo 2)

for tool in wine wineboot Xvfb import i686-w64-mingw32-g++-posix i686-w64-mingw32-objdump; do
    if ! command -v "$tool" >/dev/null; then
        echo "wine-tests: $tool is missing (scripts/install-deps.sh test installs it)" >&2
        exit 1
    fi
done

if [ ! -f "$mingw/CMakeCache.txt" ]; then
    cmake -S . -B "$mingw" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-i686.cmake \
        -DCMAKE_BUILD_TYPE=Release -DVELVOX_WERROR=ON >/dev/null
fi
cmake --build "$mingw" -j "$jobs"

mingw_abs=$(cd "$mingw" && pwd)
if [ -f "$native/CMakeCache.txt" ]; then
    cmake -B "$native" -DVELVOX_MINGW_BUILD_DIR="$mingw_abs" >/dev/null
else
    cmake -S . -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELVOX_WERROR=ON \
        -DVELVOX_MINGW_BUILD_DIR="$mingw_abs" >/dev/null
fi
cmake --build "$native" --target velvox_wine_tools -j "$jobs"

session="$native/tests/wine/session"
# An interrupted run still stops its Xvfb and wineserver.
trap 'tests/wine/wine-session.sh stop "$session" >/dev/null 2>&1 || true' INT TERM
ctest --test-dir "$native" -L wine --output-on-failure --no-tests=error
