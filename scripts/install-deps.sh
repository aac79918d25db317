#!/usr/bin/env bash
# Installs, from Debian's archive, whatever the build and the tests need and
# this machine lacks. Safe to run again: it installs only what is missing.
# Usage: scripts/install-deps.sh [build|test]   (default: test = everything)
set -euo pipefail
what=${1:-test}

packages=(cmake ninja-build g++ make libgtest-dev libgmock-dev python3 pkg-config
          libmpdclient-dev libutf8proc-dev)
if [ "$what" = test ]; then
  # wine64 and the x86-64 compiler: the Wine tests run the 64-bit build where the
  # kernel cannot run 32-bit programs (see scripts/wine-tests.sh). nsis makes the
  # Windows installer; dpkg-dev, debhelper, lintian and systemd (systemd-analyze)
  # build and check the Debian package.
  packages+=(clang clang-tidy libclang-rt-14-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64-posix
             wine wine32:i386 wine64 xvfb
             imagemagick x11-utils xdotool fonts-ipafont-gothic chromium nodejs npm zbar-tools
             mpd sox libsox-fmt-base libfaketime
             nsis dpkg-dev debhelper lintian systemd)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
# The commands may come from elsewhere than Debian's packages; accept them.
filtered=()
for p in "${missing[@]}"; do
  case "$p" in
    python3) command -v python3 >/dev/null && continue ;;
    nodejs) command -v node >/dev/null && continue ;;
    npm) command -v npm >/dev/null && continue ;;
    clang) command -v clang++ >/dev/null && continue ;;
    clang-tidy) command -v clang-tidy >/dev/null && continue ;;
    cmake) command -v cmake >/dev/null && continue ;;
  esac
  filtered+=("$p")
done
[ ${#filtered[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
echo "installing: ${filtered[*]}"
if printf '%s\n' "${filtered[@]}" | grep -q ':i386$'; then
  $sudo dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q "${filtered[@]}"
