#!/usr/bin/env bash
# Builds Velvox and starts the stand-in player with the plug-in enabled, the
# default skin as web root and the demo playlist. See docs/run-demo.md.
#
#   scripts/run-demo.sh [--playlist FILE] [--web-root DIR] [--port N]
#                       [--speed N] [--password TEXT] [--no-install] [--no-build]
#                       [--mpd [PASSWORD@]HOST[:PORT]]
#
# The same settings can come from the environment: VELVOX_PLAYLIST,
# VELVOX_WEBROOT, VELVOX_PORT, VELVOX_SPEED, VELVOX_ADMIN_PASSWORD, VELVOX_MPD.
# --mpd plays on an existing Music Player Daemon instead: its queue is the
# playlist (see docs/mpd.md).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
playlist=${VELVOX_PLAYLIST:-$root/examples/demo.m3u}
web_root=${VELVOX_WEBROOT:-$root/examples/web}
port=${VELVOX_PORT:-8080}
speed=${VELVOX_SPEED:-1}
password=${VELVOX_ADMIN_PASSWORD:-demo}
mpd=${VELVOX_MPD:-}
install=1
build=1

# Prints the usage text.
usage() {
  sed -n '2,12p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'
}

# Stops with a message on standard error.
die() {
  echo "run-demo: $*" >&2
  exit 1
}

while [ $# -gt 0 ]; do
  case $1 in
    --playlist) playlist=${2:?--playlist needs a file}; shift 2 ;;
    --web-root) web_root=${2:?--web-root needs a folder}; shift 2 ;;
    --port) port=${2:?--port needs a number}; shift 2 ;;
    --speed) speed=${2:?--speed needs a number}; shift 2 ;;
    --password) password=${2?--password needs a text}; shift 2 ;;
    --mpd) mpd=${2:?--mpd needs an address: [PASSWORD@]HOST[:PORT]}; shift 2 ;;
    --no-install) install=0; shift ;;
    --no-build) build=0; shift ;;
    -h | --help) usage; exit 0 ;;
    *) usage >&2; die "unknown option: $1" ;;
  esac
done

case $port in
  '' | *[!0-9]*) die "the port must be a number, not '$port'" ;;
esac
[ "$port" -ge 1 ] && [ "$port" -le 65535 ] || die "the port must lie between 1 and 65535"
case $speed in
  '' | *[!0-9.]*) die "the speed must be a positive number, not '$speed'" ;;
esac
case $password in
  *[!A-Za-z0-9._~-]*)
    # The password travels in links as it is; characters that a browser
    # escapes would never match.
    die "use only letters, digits and . _ ~ - in the admin password" ;;
esac
[ -n "$mpd" ] || [ -r "$playlist" ] || die "cannot read the playlist $playlist"
[ -d "$web_root" ] || die "the web root $web_root is not a folder"
[ -f "$web_root/playlist.html" ] || die "the web root $web_root has no playlist.html"
[ -n "$mpd" ] || playlist=$(cd "$(dirname "$playlist")" && pwd)/$(basename "$playlist")
web_root=$(cd "$web_root" && pwd)

# Installs the build tools that are missing (Debian and its derivatives).
install_missing() {
  local missing=() pkg
  for pkg in cmake ninja-build g++ libgtest-dev libgmock-dev pkg-config libmpdclient-dev libutf8proc-dev; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'ok installed'; then
      missing+=("$pkg")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "run-demo: installing ${missing[*]}"
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || die "please install as root: apt-get install -y ${missing[*]}"
    sudo=(sudo)
  fi
  "${sudo[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q "${missing[@]}"
}

if [ "$install" = 1 ]; then
  if [ -x "$root/scripts/install-deps.sh" ]; then
    "$root/scripts/install-deps.sh" build
  elif command -v dpkg-query >/dev/null && command -v apt-get >/dev/null; then
    install_missing
  else
    echo "run-demo: not a Debian system; make sure cmake, ninja, g++, pkg-config, GoogleTest, libmpdclient and utf8proc are installed"
  fi
fi

cd "$root"
if [ "$build" = 1 ]; then
  cmake --preset release
  cmake --build --preset release --target velvox_module velvox-host
fi

module=build/release/libvelvox.so
host=build/release/velvox-host
[ -x "$host" ] || host=build/release/player/velvox-host
[ -f "$module" ] || die "$module is missing: build first (leave out --no-build)"
[ -x "$host" ] || die "velvox-host is missing under build/release: build first"

# The settings file lives beside the module that the player loads, never in
# the source tree: the plug-in writes it back when it quits. The demo plays
# fair: two waiting songs per artist, an hour before a song comes again, the
# queue in turns by listener, two votes skip a song and six requests an hour
# per listener (docs/rules.md).
demo=$root/build/demo
mkdir -p "$demo"
cp -f "$module" "$demo/libvelvox.so"
cat >"$demo/plugin.ini" <<EOF
[HTTP Request]
bDisabled=FALSE
WebRoot=$web_root
Port=$port
Playlistfile=playlist.html
AdminPassword=$password
g_MaxRequestsPerIP=3
g_MaxEntries=25
g_MaxQueueSize=50
MaxRequestsPerArtist=2
SongCooldownMinutes=60
FairOrder=TRUE
MatchAllWords=TRUE
SkipVotes=2
RequestsPerHour=6
EOF

if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
  die "port $port is already in use; pick another with --port N"
fi

if [ -n "$mpd" ]; then
  source_line="  Velvox is starting in front of the Music Player Daemon at ${mpd#*@}"
  player_args=(--player mpd --mpd "$mpd")
else
  source_line="  Velvox is starting with $(grep -c '^#EXTINF' "$playlist" || true) songs from $playlist"
  player_args=(--clock real --speed "$speed" "$playlist")
fi

cat <<EOF

$source_line
  Web root:  $web_root

  Browse:    http://localhost:$port/playlist.cgi?current=0
  Admin:     http://localhost:$port/admin.cgi?pass=$password

  Listeners on your network use this machine's address instead of localhost.
  Player commands on this console: status, end, seek MS, goto P, quit (or Ctrl-C).

EOF

exec "$host" --plugin "$demo/libvelvox.so" --announce "${player_args[@]}"
