# The Windows build under Wine, for the bench scripts (sourced; they set root,
# and work before they call in_wine). Where this machine runs no 32-bit
# programs, the 64-bit build runs under wine64 instead.
mingw_dir=$root/build/mingw
wine_arch=win32
wine_loader=wine
if [ ! -x /usr/lib/wine/wine ] || ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  wine_arch=win64
  wine_loader=$(command -v wine64 || echo /usr/lib/wine/wine64)
  mingw_dir=$root/build/mingw64
fi

# Builds the Windows player and plug-in (release) in mingw_dir.
build_windows() {
  echo "building the Windows player and plug-in ($mingw_dir)" >&2
  local toolchain=mingw-w64-i686
  [ "$wine_arch" = win64 ] && toolchain=mingw-w64-x86_64
  [ -f "$mingw_dir/CMakeCache.txt" ] ||
    cmake -S "$root" -B "$mingw_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/$toolchain.cmake" >&2
  cmake --build "$mingw_dir" -j2 --target velvox_module velvox-host >&2
}

# Runs a Windows program ($1...) inside this run's Wine session
# ($work/wine-session), through the session's loader (VELVOX_WINE): Debian's
# wine and winepath commands pick the 32-bit loader when installed.
in_wine() {
  "$root/tests/wine/wine-session.sh" run "$work/wine-session" \
    sh -c 'exec "$VELVOX_WINE" "$@"' wine "$@"
}

# Prints path $1 as the Windows player sees it.
win_path() {
  in_wine winepath.exe -w "$1" 2>/dev/null
}
