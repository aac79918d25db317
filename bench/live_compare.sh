#!/usr/bin/env bash
# Many held connections, Velvox beside nginx (see bench/README.md): 1,000 slow
# readers of a 2 MiB file (nginx serving the same file), and 1,000 live-events
# subscribers (nginx with Debian's nchan module, its messages posted to it).
#
#   bench/live_compare.sh [--rounds N] [--no-build] [--clients N] > bench/results/live.txt
#   bench/live_compare.sh --wine [--rounds N] [--no-build] [--clients N] > bench/results/live-wine.txt
#
# Both servers on 127.0.0.1, the clients from 20 addresses of 127.0.0.0/8;
# Velvox and nginx alternate for N rounds (default 3). Threads and resident
# memory are the Velvox player's and the nginx worker's.
#
# --wine measures the Windows build (velvox-host.exe + gen_velvox.dll) alone,
# under Wine in a private session (tests/wine/wine-session.sh), with 200
# clients unless --clients says otherwise: the 32-bit build (build/mingw), or,
# where this kernel cannot run 32-bit programs, the 64-bit one (build/mingw64)
# under wine64. Threads and resident memory are those of the Wine process that
# runs the player (Wine's own threads and libraries included; the wineserver,
# a process of its own, is not counted).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
rounds=3
build=1
clients=""
wine=0
while [ $# -gt 0 ]; do
  case $1 in
    --rounds) rounds=${2:?}; shift 2 ;;
    --clients) clients=${2:?}; shift 2 ;;
    --no-build) build=0; shift ;;
    --wine) wine=1; shift ;;
    *) echo "live_compare: unknown option $1" >&2; exit 2 ;;
  esac
done
[ -n "$clients" ] || clients=$([ "$wine" = 1 ] && echo 200 || echo 1000)
. "$root/bench/windows_build.sh"

say() { echo "live_compare: $*" >&2; }
build_dir=$root/build/release
tool=$build_dir/bench/slow_clients
if [ "$build" = 1 ]; then
  say "building the release preset"
  (cd "$root" && cmake --preset release && cmake --build --preset release -j2 \
    --target velvox_module velvox-host slow_clients) >&2
  if [ "$wine" = 1 ]; then
    build_windows
  fi
fi
if [ "$wine" = 0 ] && [ ! -f /usr/lib/nginx/modules/ngx_nchan_module.so ]; then
  say "installing nginx with the nchan module"
  sudo=(); [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q libnginx-mod-nchan >&2
fi
ulimit -n 16384

work=$(mktemp -d /tmp/velvox-live.XXXXXX)
chmod 755 "$work"
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  if [ -d "$work/wine-session" ]; then
    "$root/tests/wine/wine-session.sh" stop "$work/wine-session" >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}
wait_port() {
  local i
  for i in $(seq 100); do
    python3 -c "import socket,sys; socket.create_connection(('127.0.0.1',$1),1)" 2>/dev/null && return 0
    sleep 0.1
  done
  say "nothing answers on port $1"; exit 1
}

mkdir -p "$work/web" "$work/v" "$work/n/logs" "$work/n/tmp" "$work/res"
head -c 2097152 /dev/urandom >"$work/web/big.bin"
head -c 1024 /dev/urandom | base64 -w 64 | head -c 1024 >"$work/web/static.css"
printf '<p>%%%%CURRENTSONG%%%%</p>\n' >"$work/web/playlist.html"
chmod -R a+rX "$work/web"

# Writes the player's plugin.ini: web root $1, port $2.
write_ini() {
  printf '[HTTP Request]\r\nbDisabled=FALSE\r\nWebRoot=%s\r\nPort=%s\r\nPlaylistfile=playlist.html\r\n' \
    "$1" "$2" >"$work/v/plugin.ini"
}

# Starts the Linux player on port $1; vpid is its process.
start_velvox() {
  cp "$build_dir/libvelvox.so" "$work/v/"
  write_ini "$work/web" "$1"
  mkfifo "$work/v/console"
  exec 7<>"$work/v/console"
  "$build_dir/velvox-host" --plugin "$work/v/libvelvox.so" --clock manual "$root/examples/demo.m3u" \
    <"$work/v/console" >"$work/v/stdout.txt" 2>"$work/v/stderr.txt" &
  pids+=($!)
  vpid=$!
}

# Prints the process among $1 and its first descendants that runs
# velvox-host.exe (Wine names its processes after the program).
wine_player_process() {
  local pid=$1
  while [ -n "$pid" ]; do
    [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = velvox-host.exe ] && { echo "$pid"; return; }
    pid=$(pgrep -P "$pid" | head -1)
  done
}

# Starts the Windows player under Wine on port $1, in a session of its own;
# vpid is the Wine process that runs it, once it answers.
start_wine_velvox() {
  say "starting a Wine session and the Windows player"
  "$root/tests/wine/wine-session.sh" start "$work/wine-session" "$wine_arch" "$wine_loader" >&2
  cp "$mingw_dir/gen_velvox.dll" "$work/v/"
  write_ini "$(win_path "$work/web")" "$1"
  mkfifo "$work/v/console"
  exec 7<>"$work/v/console"
  in_wine "$mingw_dir/velvox-host.exe" --plugin "$(win_path "$work/v/gen_velvox.dll")" \
    --clock manual "$(win_path "$root/examples/demo.m3u")" \
    <"$work/v/console" >"$work/v/stdout.txt" 2>"$work/v/stderr.txt" &
  pids+=($!)
  wait_port "$1"
  vpid=$(wine_player_process "${pids[-1]}")
  [ -n "$vpid" ] || { say "no velvox-host.exe process under Wine"; exit 1; }
}

# Starts nginx with nchan on nport; nworker is its worker.
start_nginx() {
  nport=$(free_port)
  cat >"$work/n/nginx.conf" <<EOF
load_module /usr/lib/nginx/modules/ngx_nchan_module.so;
worker_processes 1;
worker_rlimit_nofile 16384;
daemon off;
pid $work/n/nginx.pid;
error_log $work/n/logs/error.log warn;
events { worker_connections 8192; }
http {
  default_type application/octet-stream;
  access_log off;
  sendfile on;
  client_body_temp_path $work/n/tmp/body;
  proxy_temp_path $work/n/tmp/proxy;
  fastcgi_temp_path $work/n/tmp/fastcgi;
  uwsgi_temp_path $work/n/tmp/uwsgi;
  scgi_temp_path $work/n/tmp/scgi;
  server {
    listen 127.0.0.1:$nport;
    root $work/web;
    location = /api/events { nchan_subscriber eventsource; nchan_channel_id live; }
    location = /pub { nchan_publisher; nchan_channel_id live; }
  }
}
EOF
  nginx -p "$work/n" -c "$work/n/nginx.conf" -e "$work/n/logs/error.log" &
  pids+=($!)
  wait_port "$nport"
  sleep 0.5
  nworker=$(pgrep -P "${pids[-1]}" | head -1)
}

vport=$(free_port)
if [ "$wine" = 1 ]; then
  start_wine_velvox "$vport"
else
  start_velvox "$vport"
  start_nginx
  wait_port "$vport"
fi

# Runs one measurement ($1: readers or events) against side $2; appends its line.
measure() {
  local mode=$1 side=$2 port=$vport pid=$vpid trigger=(--fifo "$work/v/console")
  [ "$side" = nginx ] && port=$nport pid=$nworker trigger=(--publish /pub)
  if [ "$mode" = readers ]; then
    "$tool" readers --port "$port" --path /big.bin --body-bytes 2097152 --clients "$clients" \
      --sources 20 --page /static.css --pid "$pid" --hold 2 >>"$work/res/$mode.$side" ||
      say "$side: not every slow reader got the whole file"
  else
    "$tool" events --port "$port" --path /api/events --clients "$clients" --sources 20 \
      --page /static.css --pid "$pid" --rounds 20 "${trigger[@]}" >>"$work/res/$mode.$side" ||
      say "$side: some subscribers missed an event"
  fi
  sleep 2  # the closed connections of this run are gone
}

for round in $(seq "$rounds"); do
  say "round $round of $rounds"
  sides=(velvox nginx)
  [ $((round % 2)) = 0 ] && sides=(nginx velvox)
  [ "$wine" = 1 ] && sides=(velvox)
  for mode in readers events; do
    for side in "${sides[@]}"; do measure "$mode" "$side"; done
  done
done

# Prints "median [min-max]" of field $2 over the lines of file $1.
field() {
  sed -n "s/.* $2=\([0-9.-]*\).*/\1/p" "$1" | sort -g | awk '{ v[NR] = $1 }
    END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2;
          printf "%s [%s-%s]", m, v[1], v[NR] }'
}
# Prints one figure: its name $1, mode $2, field $3; nginx's beside it but under Wine.
line() {
  if [ "$wine" = 1 ]; then
    printf '%-44s velvox %s\n' "$1" "$(field "$work/res/$2.velvox" "$3")"
    return
  fi
  printf '%-44s velvox %-24s nginx %s\n' "$1" "$(field "$work/res/$2.velvox" "$3")" \
    "$(field "$work/res/$2.nginx" "$3")"
}

if [ "$wine" = 1 ]; then
  cat <<END
Velvox's Windows build under Wine with many held connections ($(date -u +%Y-%m-%d), commit $(git -C "$root" rev-parse --short HEAD))
machine: $(nproc) cores, Linux $(uname -r); velvox-host.exe + gen_velvox.dll ($wine_arch) under $("$wine_loader" --version 2>/dev/null)
$rounds rounds; each value: median [min-max] over the rounds; threads and memory: the Wine process of the player
END
  events_how="the track ends"
else
  cat <<END
Velvox vs nginx with many held connections ($(date -u +%Y-%m-%d), commit $(git -C "$root" rev-parse --short HEAD))
machine: $(nproc) cores, Linux $(uname -r); nginx $(nginx -v 2>&1 | sed 's/.*version: //'), 1 worker, nchan for the events
$rounds rounds alternating; each value: median [min-max] over the rounds
END
  events_how="Velvox: the track ends; nginx: a message posted"
fi
cat <<END

1 $clients slow readers of a 2 MiB file (20 addresses, 4 KiB receive buffers, nothing read for 2 s)
END
line "1.1 page from another address, p50 (us)" readers page_p50_us
line "1.2 page from another address, max of 20 (us)" readers page_max_us
line "1.3 threads of the server" readers threads
line "1.4 resident memory (KiB)" readers rss_kib
line "1.5 readers served in full once they read" readers full
line "1.6 time for all of them to read it all (s)" readers drain_s
echo
echo "2 $clients live-events subscribers (20 addresses), 20 events each ($events_how)"
line "2.1 event reaches a subscriber, p50 (ms)" events p50_ms
line "2.2 event reaches a subscriber, p99 (ms)" events p99_ms
line "2.3 event reaches a subscriber, max (ms)" events max_ms
line "2.4 events missed" events missed
line "2.5 threads of the server" events threads
line "2.6 resident memory (KiB)" events rss_kib
line "2.7 1 KiB file, p50, no subscribers (us)" events page_alone_p50_us
line "2.8 1 KiB file, p50, with the subscribers (us)" events page_with_p50_us
