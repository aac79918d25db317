#!/usr/bin/env bash
# Compares Velvox with nginx on the same bytes: the built velvox-host +
# libvelvox.so and an nginx of its own, both on 127.0.0.1, measured from
# outside by bench/http_load. See bench/README.md.
#
#   bench/compare.sh [--rounds N] [--no-build] [--keep] [--wine]
#
# --wine also measures the Windows build under Wine, after the Linux rounds:
# the 32-bit one (build/mingw), or, where this kernel cannot run 32-bit
# programs, the 64-bit one (build/mingw64) under wine64.
#
# The report goes to standard output, progress to standard error:
#   bench/compare.sh > bench/results/after.txt
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
rounds=${VELVOX_BENCH_ROUNDS:-5}
build=1
keep=0
wine=0
build_dir=$root/build/release
. "$root/bench/windows_build.sh"

while [ $# -gt 0 ]; do
  case $1 in
    --rounds) rounds=${2:?--rounds needs a number}; shift 2 ;;
    --no-build) build=0; shift ;;
    --keep) keep=1; shift ;;
    --wine) wine=1; shift ;;
    -h | --help) sed -n '2,12p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "compare: unknown option $1" >&2; exit 2 ;;
  esac
done
[ "$rounds" -ge 3 ] 2>/dev/null || { echo "compare: at least 3 rounds" >&2; exit 2; }

# Progress lines go to standard error, so standard output is the report.
say() { echo "compare: $*" >&2; }
die() { say "$*"; exit 1; }

load=$build_dir/bench/http_load
baseline=$build_dir/bench/search_baseline
host=$build_dir/velvox-host
module=$build_dir/libvelvox.so

admin_password=bench
needle=Qyxzzle

# -- set-up ------------------------------------------------------------------------------

# Builds the release preset (the player, the plug-in and the bench tools).
build_release() {
  say "building the release preset"
  (cd "$root" && cmake --preset release && cmake --build --preset release -j2) >&2
}

# Installs nginx-light from Debian's archive when there is no nginx.
install_nginx() {
  command -v nginx >/dev/null && return 0
  say "installing nginx-light"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" apt-get update -q >&2
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q nginx-light >&2
  # The package may start the system's own nginx; ours runs apart from it.
  command -v nginx >/dev/null || die "nginx is still missing"
}

# Prints a TCP port that was free on 127.0.0.1 a moment ago.
free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

# Waits until the server on port $1 answers a GET for $2; fails after 20 s.
wait_http() {
  local i
  for i in $(seq 200); do
    "$load" --port "$1" --path "$2" --save /dev/null >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  die "nothing answers on port $1"
}

# Writes the web roots: $1 with a 1 KiB file and small templates (the
# searches and the artist page), $2 the default skin as shipped with the same
# file (the playlist page).
write_web_root() {
  local web=$1 skin=$2
  mkdir -p "$web" "$skin"
  head -c 768 /dev/urandom | base64 -w 64 | head -c 1024 >"$web/static.css"
  cp -R "$root/examples/web/." "$skin/"
  cp "$web/static.css" "$skin/static.css"
  cat >"$web/playlist.html" <<'EOF'
<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Playlist</title></head><body>
<table class="playlist">
<tr><td><a href="request.cgi?listpos=%%PLAYLISTPOS%%">%%PLAYLISTENTRY%%</a></td></tr>
</table>
</body></html>
EOF
  cat >"$web/artists.html" <<'EOF'
<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Artists</title></head><body>
<form action="playlist.cgi"><select name="startswith">
<option>%%ARTISTSELECT%%</option>
</select></form>
</body></html>
EOF
}

# -- the players ---------------------------------------------------------------------------

# Starts a player in folder $1 with playlist $2 on port $3 serving web root $4,
# its console reading the fifo $1/console, which descriptor $5 keeps open for
# writing (so the player never sees the end of its input). Appends its process
# id to pids.
start_player() {
  local dir=$1 playlist=$2 port=$3 web=$4
  mkdir -p "$dir"
  cp "$module" "$dir/libvelvox.so"
  printf '[HTTP Request]\r\nbDisabled=FALSE\r\nWebRoot=%s\r\nPort=%s\r\nPlaylistfile=playlist.html\r\nAdminPassword=%s\r\ng_MaxRequestsPerIP=3\r\ng_MaxEntries=300\r\ng_MaxQueueSize=50\r\n' \
    "$web" "$port" "$admin_password" >"$dir/plugin.ini"
  mkfifo "$dir/console"
  eval "exec $5<>\"\$dir/console\""
  "$host" --plugin "$dir/libvelvox.so" --clock manual "$playlist" \
    <"$dir/console" >"$dir/stdout.txt" 2>"$dir/stderr.txt" &
  pids+=($!)
}

# Sends console line $2 to the player in folder $1 and waits (up to 120 s) for
# its answer; prints the answer.
player_cmd() {
  local dir=$1 before i
  before=$(grep -c -E '^(ok|error)' "$dir/stdout.txt" || true)
  printf '%s\n' "$2" >"$dir/console"
  for i in $(seq 1200); do
    if [ "$(grep -c -E '^(ok|error)' "$dir/stdout.txt" || true)" -gt "$before" ]; then
      grep -E '^(ok|error)' "$dir/stdout.txt" | tail -1
      return 0
    fi
    sleep 0.1
  done
  die "the player in $dir did not answer '$2'"
}

# Prints the resident set size of process $1 in KiB.
rss_kib() {
  awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"
}

# Writes nginx's configuration for prefix $1, port $2, root $3.
write_nginx_conf() {
  mkdir -p "$1/logs" "$1/tmp"
  cat >"$1/nginx.conf" <<EOF
worker_processes ${VELVOX_BENCH_NGINX_WORKERS:-1};
daemon off;
pid $1/nginx.pid;
error_log $1/logs/error.log warn;
events { worker_connections 1024; }
http {
  include /etc/nginx/mime.types;
  default_type application/octet-stream;
  access_log off;
  client_body_temp_path $1/tmp/body;
  proxy_temp_path $1/tmp/proxy;
  fastcgi_temp_path $1/tmp/fastcgi;
  uwsgi_temp_path $1/tmp/uwsgi;
  scgi_temp_path $1/tmp/scgi;
  server {
    listen 127.0.0.1:$2;
    root $3;
  }
}
EOF
}

# -- measuring -----------------------------------------------------------------------------

# Runs http_load with the arguments after $2 and appends the field $2 of its
# line (e.g. rps, p50_us) to the figure file $1. Replies that were errors are
# reported and leave the figure flagged.
measure() {
  local key=$1 field=$2 line
  shift 2
  if ! line=$("$load" "$@"); then
    say "errors while measuring $key: $line"
    echo "$key" >>"$work/flagged"
  fi
  sed -n "s/.* $field=\([0-9.]*\).*/\1/p" <<<" $line" >>"$work/res/$key"
}

# Runs the in-process search over playlist $2 and appends its median to $1.
measure_scan() {
  local line
  line=$("$baseline" "$2" "$needle" --runs "$3")
  case $line in *" matches=7 "*) ;; *) say "the bare scan found other than 7 titles: $line" ;; esac
  sed -n 's/.* p50_us=\([0-9.]*\).*/\1/p' <<<"$line" >>"$work/res/$1"
}

# Measures one figure on one side ($1: velvox, or nginx, which stands for the
# bare scan in the search figures). The Velvox side is the player on port
# $vport ($vport_1m for 1,000,000 titles); results go under the name $tag$2.
measure_figure() {
  local side=$1 figure=$2 port=$vport key=$tag$2.$1
  [ "$side" = nginx ] && port=$pn
  local page=/playlist.cgi?current=0 search=/playlist.cgi?psearch=$needle
  [ "$side" = nginx ] && page=/page300.html
  case $figure:$side in
    static64:*) measure "$key" rps --port "$port" --path /static.css --clients 64 \
      --requests 100000000 --duration 2 --warmup 1000 --body-bytes 1024 ;;
    static1:*) measure "$key" p50_us --port "$port" --path /static.css \
      --requests 3000 --duration 2 --warmup 200 --body-bytes 1024 ;;
    page300:*) measure "$key" p50_us --port "$port" --path "$page" \
      --requests 1000 --duration 2 --warmup 20 --body-bytes "$page_bytes" ;;
    search100k:velvox) measure "$key" p50_us --port "$vport_search" --path "$search" \
      --requests 300 --duration 3 --warmup 5 --body-bytes "$search_bytes" ;;
    search1m:velvox) measure "$key" p50_us --port "$vport_1m" --path "$search" \
      --requests 40 --duration 4 --warmup 2 --body-bytes "$search_bytes_1m" ;;
    search100k:nginx) measure_scan "$key" "$work/titles-100k.m3u" 300 ;;
    search1m:nginx) measure_scan "$key" "$work/titles-1m.m3u" 60 ;;
    artists:*) [ "$side" = velvox ] && port=$vport_search
      measure "$key" p50_us --port "$port" --path /artists.html \
      --requests 300 --duration 3 --warmup 5 --body-bytes "$artists_bytes" ;;
  esac
}

# Measures the figures named as arguments, Velvox and nginx alternating, for
# the given number of rounds.
run_rounds() {
  local round figure side sides
  for round in $(seq "$rounds"); do
    say "${tag}round $round of $rounds"
    # Every other round nginx goes first, so a drift of the machine weighs on both.
    sides=(velvox nginx)
    [ $((round % 2)) = 0 ] && sides=(nginx velvox)
    for figure in "$@"; do
      for side in "${sides[@]}"; do
        measure_figure "$side" "$figure"
      done
    done
  done
}

# Prints "median [min-max]" of the numbers in file $1, with $2 decimals.
summary() {
  sort -g "$1" | awk -v d="$2" '{ v[NR] = $1 }
    END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2;
          printf "%." d "f [%." d "f-%." d "f]", m, v[1], v[NR] }'
}

# Prints the median of the numbers in file $1.
median() {
  sort -g "$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# Prints one figure's line: label, unit, the other side's name, decimals.
report_line() {
  local figure=$tag$1 label=$2 unit=$3 other=$4 decimals=$5 flag=""
  local v="$work/res/$figure.velvox" o="$work/res/$figure.nginx"
  grep -qx "$figure.velvox\|$figure.nginx" "$work/flagged" 2>/dev/null && flag="  (some replies were errors)"
  printf '%-58s %-5s velvox %-22s %-5s %-22s velvox/%s %s%s\n' "$label" "$unit" \
    "$(summary "$v" "$decimals")" "$other" "$(summary "$o" "$decimals")" "$other" \
    "$(awk -v a="$(median "$v")" -v b="$(median "$o")" 'BEGIN { printf "%.2f", (b > 0) ? a / b : 0 }')" \
    "$flag"
}

# -- the Windows build under Wine ----------------------------------------------------------

# Starts velvox-host.exe with gen_velvox.dll on port $1 and the 100,000 titles
# in a private Wine session; its console is the fifo $work/w/console (kept
# open on descriptor 9).
start_wine_player() {
  local dir=$work/w
  say "starting a Wine session and the Windows player"
  "$root/tests/wine/wine-session.sh" start "$work/wine-session" "$wine_arch" "$wine_loader" >&2
  mkdir -p "$dir"
  cp "$mingw_dir/gen_velvox.dll" "$dir/"
  printf '[HTTP Request]\r\nbDisabled=FALSE\r\nWebRoot=%s\r\nPort=%s\r\nPlaylistfile=playlist.html\r\nAdminPassword=%s\r\ng_MaxRequestsPerIP=3\r\ng_MaxEntries=300\r\ng_MaxQueueSize=50\r\n' \
    "$(win_path "$work/skin")" "$1" "$admin_password" >"$dir/plugin.ini"
  mkfifo "$dir/console"
  exec 9<>"$dir/console"
  in_wine "$mingw_dir/velvox-host.exe" --plugin "$(win_path "$dir/gen_velvox.dll")" \
    --clock manual "$(win_path "$work/titles-100k.m3u")" \
    <"$dir/console" >"$dir/stdout.txt" 2>"$dir/stderr.txt" &
  pids+=($!)
  wait_http "$1" /static.css
}

# Checks that the Windows player sends the same pages as the Linux one; a
# difference is reported, and its own sizes are what its replies must have.
check_wine_pages() {
  local path name
  for name in page300 artists search; do
    case $name in
      page300) path=/playlist.cgi?current=0 ;;
      artists) path=/artists.html ;;
      search) path=/playlist.cgi?psearch=$needle ;;
    esac
    "$load" --port "$vport" --path "$path" --save "$work/w/$name.html" >/dev/null
  done
  cmp -s "$work/w/page300.html" "$ng/root/page300.html" ||
    say "the Windows player's 300-row page differs from the Linux one"
  cmp -s "$work/w/artists.html" "$ng/root/artists.html" ||
    say "the Windows player's artist page differs from the Linux one"
  page_bytes=$(stat -c %s "$work/w/page300.html")
  artists_bytes=$(stat -c %s "$work/w/artists.html")
  search_bytes=$(stat -c %s "$work/w/search.html")
}

# -- the run -------------------------------------------------------------------------------

pids=()
work=""
# Stops what this script started and removes its folder.
cleanup() {
  local pid
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  if [ -n "$work" ] && [ -d "$work/wine-session" ]; then
    "$root/tests/wine/wine-session.sh" stop "$work/wine-session" >/dev/null 2>&1 || true
  fi
  if [ -n "$work" ] && [ "$keep" = 0 ]; then
    rm -rf "$work"
  elif [ -n "$work" ]; then
    say "kept $work"
  fi
}
trap cleanup EXIT

if [ "$build" = 1 ]; then
  build_release
  if [ "$wine" = 1 ]; then
    build_windows
  fi
fi
install_nginx
for f in "$load" "$baseline" "$host" "$module"; do
  [ -f "$f" ] || die "$f is missing: build the release preset"
done
if [ "$wine" = 1 ]; then
  for f in "$mingw_dir/velvox-host.exe" "$mingw_dir/gen_velvox.dll"; do
    [ -f "$f" ] || die "$f is missing: build the mingw preset"
  done
  command -v "$wine_loader" >/dev/null && command -v Xvfb >/dev/null ||
    die "--wine needs wine and Xvfb (scripts/install-deps.sh test installs them)"
fi

work=$(mktemp -d /tmp/velvox-compare.XXXXXX)
chmod 755 "$work"  # nginx's workers read its root as another user
mkdir -p "$work/res"
load_before=$(cut -d' ' -f1-3 /proc/loadavg)

say "writing playlists"
python3 "$root/bench/make_playlist.py" "$work/titles-100k.m3u" --titles 100000 --artists 10000 \
  --needle "$needle" >"$work/titles-100k.txt"
python3 "$root/bench/make_playlist.py" "$work/titles-1m.m3u" --titles 1000000 --artists 20000 \
  --needle "$needle" >"$work/titles-1m.txt"
python3 "$root/bench/make_playlist.py" "$work/titles-1.m3u" --titles 1 --artists 1 \
  --needle-count 0 >/dev/null
title_bytes_1m=$(sed -n 's/.*title_bytes=\([0-9]*\).*/\1/p' "$work/titles-1m.txt")
write_web_root "$work/web" "$work/skin"

say "starting the players"
vport=$(free_port)
start_player "$work/a" "$work/titles-100k.m3u" "$vport" "$work/skin" 7
vport_1m=$(free_port)
start_player "$work/b" "$work/titles-1.m3u" "$vport_1m" "$work/web" 8
pid_b=${pids[1]}
vport_search=$(free_port)
start_player "$work/c" "$work/titles-100k.m3u" "$vport_search" "$work/web" 6
wait_http "$vport" /static.css
wait_http "$vport_1m" /static.css
wait_http "$vport_search" /static.css

# Figure 6 first, on a player that has not served a page yet.
sleep 1
rss_idle=$(rss_kib "$pid_b")
say "loading 1,000,000 titles into the player"
answer=$(player_cmd "$work/b" "load $work/titles-1m.m3u")
[ "$answer" = ok ] || die "load answered $answer"
sleep 1
rss_loaded=$(rss_kib "$pid_b")
say "rebuilding the plug-in's playlist copy (1,000,000 titles)"
refresh=$("$load" --port "$vport_1m" --path "/admin.cgi?pass=$admin_password&action=refreshcache" \
  --status 302 --requests 1 --timeout 300) || die "refreshcache failed: $refresh"
refresh_s=$(sed -n 's/.* p50_us=\([0-9.]*\).*/\1/p' <<<" $refresh" | awk '{ printf "%.1f", $1 / 1e6 }')
sleep 1
rss_cached=$(rss_kib "$pid_b")

say "starting nginx"
pn=$(free_port)
ng=$work/nginx
mkdir -p "$ng/root"
write_nginx_conf "$ng" "$pn" "$ng/root"
cp "$work/web/static.css" "$ng/root/static.css"
"$load" --port "$vport" --path '/playlist.cgi?current=0' --save "$ng/root/page300.html" >/dev/null
"$load" --port "$vport_search" --path /artists.html --save "$ng/root/artists.html" >/dev/null
"$load" --port "$vport_search" --path "/playlist.cgi?psearch=$needle" --save "$work/search.html" >/dev/null
"$load" --port "$vport_1m" --path "/playlist.cgi?psearch=$needle" --save "$work/search-1m.html" >/dev/null
chmod -R a+rX "$ng/root"
nginx -p "$ng" -c "$ng/nginx.conf" -e "$ng/logs/error.log" &
pids+=($!)
wait_http "$pn" /static.css
page_bytes=$(stat -c %s "$ng/root/page300.html")
artists_bytes=$(stat -c %s "$ng/root/artists.html")
search_bytes=$(stat -c %s "$work/search.html")
search_bytes_1m=$(stat -c %s "$work/search-1m.html")
for page in search.html search-1m.html; do
  rows=$(grep -c "$needle" "$work/$page" || true)
  [ "$rows" = 7 ] || die "the search page $page shows $rows rows, not 7"
done

tag=""
run_rounds static64 static1 page300 search100k search1m artists
native_page_bytes=$page_bytes
native_artists_bytes=$artists_bytes

if [ "$wine" = 1 ]; then
  # The Linux players make way: the Windows one is measured alone.
  for pid in "${pids[@]:0:3}"; do
    kill "$pid" 2>/dev/null || true
  done
  vport=$(free_port)
  start_wine_player "$vport"
  vport_search=$vport
  check_wine_pages
  tag=wine.
  run_rounds static64 static1 page300 search100k artists
fi
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

# -- the report ----------------------------------------------------------------------------

commit=$(git -C "$root" rev-parse --short HEAD)
git -C "$root" diff --quiet HEAD -- src player 2>/dev/null || commit="$commit with changes"
cat <<END
Velvox vs nginx on the same bytes ($(date -u +%Y-%m-%d), commit $commit)
machine: $(nproc) cores, $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -1), Linux $(uname -r); load average before $load_before, after $load_after
nginx: $(nginx -v 2>&1 | sed 's/.*version: //'), ${VELVOX_BENCH_NGINX_WORKERS:-1} worker, access log off; one new connection per request (HTTP/1.0)
$rounds rounds, Velvox and nginx alternating; each value: median [min-max] over the rounds
latencies: per request, connect to the server's close (time to last byte), median of the round, in microseconds

END
tag=""
report_line static64 "1 1 KiB file, 64 clients" "req/s" nginx 0
report_line static1 "2 1 KiB file, 1 client, p50" "us" nginx 0
report_line page300 "3 default skin's page, 300 rows ($native_page_bytes B), 1 client, p50" "us" nginx 0
report_line search100k "4 search, 7 of 100,000 titles, p50" "us" scan 0
report_line search1m "4 search, 7 of 1,000,000 titles, p50" "us" scan 0
report_line artists "5 artist page, 10,000 artists ($native_artists_bytes B), p50" "us" nginx 0
awk -v i="$rss_idle" -v l="$rss_loaded" -v c="$rss_cached" -v t="$title_bytes_1m" -v s="$refresh_s" 'BEGIN {
  printf "6 memory, 1,000,000 titles (%.1f MiB of titles): RSS idle %.1f MiB, titles loaded in the player %.1f MiB, plug-in copy built %.1f MiB (took %s s); extra %.1f MiB = %.2f x the titles\n",
    t / 1048576, i / 1024, l / 1024, c / 1024, s, (c - l) / 1024, (c - l) * 1024 / t }'
if [ "$wine" = 1 ]; then
  echo
  echo "7 the Windows build (velvox-host.exe + gen_velvox.dll) ($wine_arch) under $("$wine_loader" --version 2>/dev/null), the same rounds:"
  tag=wine.
  report_line static64 "7.1 1 KiB file, 64 clients" "req/s" nginx 0
  report_line static1 "7.2 1 KiB file, 1 client, p50" "us" nginx 0
  report_line page300 "7.3 playlist page, 300 rows, 1 client, p50" "us" nginx 0
  report_line search100k "7.4 search, 7 of 100,000 titles, p50" "us" scan 0
  report_line artists "7.5 artist page, 10,000 artists, p50" "us" nginx 0
fi
cat <<END

scan: the same titles lower-cased into one buffer and searched with memmem in-process
(bench/search_baseline); Velvox's figure is the whole request (connect, page, close).
END
