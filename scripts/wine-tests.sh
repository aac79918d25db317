#!/usr/bin/env bash
# Runs the tests of the Windows build under Wine (ctest label "wine").
# Usage: scripts/wine-tests.sh [NATIVE_BUILD_DIR] [MINGW_BUILD_DIR] [MINGW64_BUILD_DIR]
#        (defaults: build/dev, build/mingw and build/mingw64)
#
# Builds the 32-bit mingw folder (gen_velvox.dll, velvox-host.exe), points the
# native build's VELVOX_MINGW_BUILD_DIR at it, builds the Windows-side test
# tools and runs `ctest -L wine`. The ctest fixture "wine_session" makes a fresh
# private WINEPREFIX under the native build folder and starts Xvfb and a
# wineserver before the first Wine test and stops them after the last one.
#
# Where this machine cannot run 32-bit programs (a kernel without IA32
# emulation refuses the 32-bit Wine loader with "Exec format error"), the same
# tests run against the 64-bit build (MINGW64_BUILD_DIR, built here) under
# wine64 instead; the 32-bit files are still built and their headers checked.
# VELVOX_WINE_ARCH=win32|win64 in the environment skips the detection.
set -euo pipefail
cd "$(dirname "$0")/.."
native=${1:-build/dev}
mingw=${2:-build/mingw}
mingw64=${3:-build/mingw64}
jobs=$(nproc 2>/dev/null || echo 2)

# The 32-bit Wine loader of Debian's wine32 package; starting it proves the kernel runs
# 32-bit programs and that the 32-bit Wine is installed.
wine32_loader=/usr/lib/wine/wine

arch=${VELVOX_WINE_ARCH:-}
if [ -z "$arch" ]; then
    if "$wine32_loader" --version >/dev/null 2>&1; then
        arch=win32
    else
        arch=win64
        if [ -e "$wine32_loader" ]; then
            why="this kernel cannot run 32-bit programs"
        else
            why="the 32-bit Wine ($wine32_loader) is not installed"
        fi
        echo "wine-tests: $why; running the Wine tests against the 64-bit Windows build" \
            "($mingw64) under wine64"
    fi
fi

# Builds a mingw folder with the given toolchain, configuring it first if needed.
build_mingw() {
    local dir=$1 toolchain=$2
    if [ ! -f "$dir/CMakeCache.txt" ]; then
        cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="cmake/toolchains/$toolchain.cmake" \
            -DCMAKE_BUILD_TYPE=Release -DVELVOX_WERROR=ON >/dev/null
    fi
    cmake --build "$dir" -j "$jobs"
}

tools=(wineserver Xvfb import i686-w64-mingw32-g++-posix i686-w64-mingw32-objdump makensis)
case $arch in
win32)
    tools+=(wine)
    loader=wine
    ;;
win64)
    tools+=(x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-objdump)
    # Debian keeps the 64-bit loader out of PATH.
    loader=$(command -v wine64 || echo /usr/lib/wine/wine64)
    tools+=("$loader")
    ;;
*)
    echo "wine-tests: VELVOX_WINE_ARCH must be win32 or win64, not $arch" >&2
    exit 2
    ;;
esac
for tool in "${tools[@]}"; do
    if ! command -v "$tool" >/dev/null; then
        echo "wine-tests: $tool is missing (scripts/install-deps.sh test installs it)" >&2
        exit 1
    fi
done

build_mingw "$mingw" mingw-w64-i686
native_args=(-DVELVOX_MINGW_BUILD_DIR="$(cd "$mingw" && pwd)" -DVELVOX_WINE_ARCH="$arch")
if [ "$arch" = win64 ]; then
    build_mingw "$mingw64" mingw-w64-x86_64
    native_args+=(-DVELVOX_MINGW64_BUILD_DIR="$(cd "$mingw64" && pwd)" -DVELVOX_WINE64="$loader")
fi

if [ -f "$native/CMakeCache.txt" ]; then
    cmake -B "$native" "${native_args[@]}" >/dev/null
else
    cmake -S . -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELVOX_WERROR=ON \
        "${native_args[@]}" >/dev/null
fi
cmake --build "$native" --target velvox_wine_tools -j "$jobs"

session="$native/tests/wine/session"
# An interrupted run still stops its Xvfb and wineserver.
trap 'tests/wine/wine-session.sh stop "$session" >/dev/null 2>&1 || true' INT TERM
ctest --test-dir "$native" -L wine --output-on-failure --no-tests=error
