#!/bin/sh
# One Wine session for a test run: a private prefix and a private X display.
#
#   wine-session.sh start DIR [ARCH [LOADER]]
#                                  make DIR/prefix afresh (wineboot -i), start Xvfb and a
#                                  wineserver that lasts the session; write DIR/env.
#                                  ARCH: win32 (default) or win64, the prefix's WINEARCH;
#                                  LOADER: the wine command that runs its programs (default
#                                  wine; for win64, wine64), exported as VELVOX_WINE
#   wine-session.sh run DIR CMD... run CMD inside the session started in DIR
#   wine-session.sh stop DIR       stop the wineserver and Xvfb, remove the prefix
#
# Every background process gets its standard streams from DIR/session.log, never
# from the caller: ctest waits until nobody holds a test's output pipe, and a
# wineserver or Xvfb that inherited one would make it wait for ever.
set -eu

# Debian's Wine comes without its preloader, the program that reserves the fixed addresses
# Wine needs (the shared user data at 0x7ffe0000 and the ranges around it) before anything
# else is mapped. Without it, the kernel may put the loader's heap there: it starts the heap
# at a random place up to 1 GiB (Linux 6.9 on) above the loader's address (0x7d000000), and one
# Wine start in a few hundred then ends at once with status 1 ("failed to map the shared user
# data"). With address randomization off (setarch -R; every process Wine starts inherits it)
# the heap starts right after the loader, far below those addresses, so every command of the
# session runs that way. A system that refuses it (some container profiles) runs as before.
no_randomization=0x0040000
personality=$(cat /proc/self/personality 2>/dev/null || echo 0)
if [ $((0x$personality & no_randomization)) -eq 0 ] &&
    setarch "$(uname -m)" -R true 2>/dev/null; then
    exec setarch "$(uname -m)" -R "$0" "$@"
fi

usage() {
    echo "usage: $0 start DIR [win32|win64 [LOADER]] | stop DIR | run DIR CMD..." >&2
    exit 2
}

[ $# -ge 2 ] || usage
action=$1
dir=$2
shift 2
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
log=$dir/session.log

# Prints the settings every Wine call of the session runs with.
session_env() {
    echo "export WINEPREFIX='$dir/prefix'"
    echo "export WINEARCH=$arch"
    # Every Windows program of the session, wineboot and winepath included, runs through
    # this loader: Debian's wine, wineboot and winepath commands pick the 32-bit loader
    # whenever it is installed, even where the kernel cannot run it.
    echo "export VELVOX_WINE='$loader'"
    if [ "$arch" = win64 ]; then
        # The loader Wine starts for the session's other processes.
        echo "export WINELOADER='$loader'"
    fi
    # Wine's own errors only: a Wine that fails to start a program says why.
    echo "export WINEDEBUG=-all,err+all"
    # No Mono, no Gecko (their installers would prompt), no menu builder: nothing here needs them.
    echo "export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'"
    echo "export DISPLAY=':$1'"
}

# Prints the registry settings of the session, as regedit reads them (UTF-16, CRLF).
settings_reg() {
    {
        printf 'Windows Registry Editor Version 5.00\r\n\r\n'
        printf '[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]\r\n"Desktop"="Default"\r\n\r\n'
        printf '[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]\r\n'
        printf '"Default"="1024x768"\r\n\r\n'
        if [ -n "$cjk_font" ]; then
            printf '[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
            printf '"ＭＳ Ｐゴシック"="%s"\r\n' "$cjk_font"
        fi
    } | iconv -f UTF-8 -t UTF-16
}

# Stops what a previous start in the same folder left running, if anything.
stop_session() {
    for env in "$dir/env" "$dir/env.new"; do
        if [ -f "$env" ]; then
            (. "$env" && wineserver -k >>"$log" 2>&1 </dev/null) || true
            rm -f "$env"
        fi
    done
    if [ -f "$dir/xvfb.pid" ]; then
        pid=$(cat "$dir/xvfb.pid")
        kill "$pid" 2>/dev/null || true
        i=0
        while kill -0 "$pid" 2>/dev/null && [ $i -lt 50 ]; do
            sleep 0.1
            i=$((i + 1))
        done
        rm -f "$dir/xvfb.pid"
    fi
    rm -rf "$dir/prefix"
}

case $action in
start)
    arch=${1:-win32}
    case $arch in
    win32) loader=${2:-wine} ;;
    win64) loader=${2:-wine64} ;;
    *) usage ;;
    esac
    for tool in "$loader" wineserver Xvfb; do
        command -v $tool >/dev/null || {
            echo "$tool is not installed" >&2
            exit 1
        }
    done
    stop_session
    : >"$log"
    rm -f "$dir/display"
    # Xvfb picks a free display number itself and writes it to the given descriptor.
    setsid Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp 5>"$dir/display" \
        >>"$log" 2>&1 </dev/null &
    echo $! >"$dir/xvfb.pid"
    i=0
    while [ ! -s "$dir/display" ]; do
        if [ $i -ge 100 ] || ! kill -0 "$(cat "$dir/xvfb.pid")" 2>/dev/null; then
            echo "Xvfb did not start; see $log" >&2
            stop_session
            exit 1
        fi
        sleep 0.1
        i=$((i + 1))
    done
    # An installed font with Japanese glyphs, if any: the dialog's texts in the screenshots.
    # IPA P Gothic is the proportional gothic the dialog's font stands for, with Latin
    # letters of its own; any other Japanese font is the fallback.
    cjk_font=$(fc-list ':lang=ja' family 2>/dev/null | cut -d, -f1 | grep -x 'IPAPGothic' | head -n 1)
    [ -n "$cjk_font" ] || cjk_font=$(fc-list ':lang=ja' family 2>/dev/null | head -n 1 | cut -d, -f1)
    session_env "$(tr -d '\n' <"$dir/display")" >"$dir/env.new"
    (
        . "$dir/env.new"
        # A persistent server started here keeps every later wine call off its own start-up.
        mkdir -p "$WINEPREFIX"
        wineserver -p >>"$log" 2>&1 </dev/null
        "$VELVOX_WINE" wineboot.exe -i >>"$log" 2>&1 </dev/null
        # A virtual desktop, so that Wine draws the windows' frames and captions itself (there
        # is no window manager), and the dialog's Japanese font mapped to an installed one.
        settings_reg >"$dir/session.reg"
        "$VELVOX_WINE" regedit.exe /S "$("$VELVOX_WINE" winepath.exe -w "$dir/session.reg")" \
            >>"$log" 2>&1 </dev/null
        # wineboot started the desktop already: start again so that it reads the settings.
        wineserver -k >>"$log" 2>&1 </dev/null || true
        wineserver -w >>"$log" 2>&1 </dev/null || true
        wineserver -p >>"$log" 2>&1 </dev/null
        # The desktop process starts with the first window; start it here, on the log.
        "$VELVOX_WINE" rundll32.exe user32.dll,GetDesktopWindow >>"$log" 2>&1 </dev/null
    ) || {
        echo "wineboot failed; see $log" >&2
        stop_session
        exit 1
    }
    mv "$dir/env.new" "$dir/env"
    echo "wine session ($arch, $loader) ready in $dir" \
        "($("$loader" --version 2>/dev/null), display :$(cat "$dir/display"))"
    if [ $((0x$personality & no_randomization)) -eq 0 ]; then
        echo "wine-session: address randomization could not be turned off (setarch -R);" \
            "Wine may fail to start a program now and then" >&2
    fi
    ;;
run)
    [ $# -ge 1 ] || usage
    if [ ! -f "$dir/env" ]; then
        echo "no wine session in $dir: run through ctest (fixture wine_session)" \
            "or scripts/wine-tests.sh" >&2
        exit 1
    fi
    . "$dir/env"
    exec "$@"
    ;;
stop)
    stop_session
    echo "wine session in $dir stopped"
    ;;
*)
    usage
    ;;
esac
