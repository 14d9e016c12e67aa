#!/bin/bash
# Runs a Windows program under wine for the tests: a private prefix under the
# build folder, no wine debug chatter, and a virtual X display when none is set.
# Usage: wine-run.sh PROGRAM.exe [ARGS...]   (exit code is the program's)
set -u
here="$(cd "$(dirname "$0")" && pwd)"
program="$1"; shift
build_dir="${GYROFOLD_BUILD_DIR:-$(cd "$(dirname "$program")" && pwd)}"
# Tests live in subfolders of the build folder; the prefix sits at its top.
while [ ! -f "$build_dir/CMakeCache.txt" ] && [ "$build_dir" != "/" ]; do build_dir="$(dirname "$build_dir")"; done
[ "$build_dir" = "/" ] && build_dir="$(cd "$(dirname "$program")" && pwd)"

export WINEPREFIX="${WINEPREFIX:-$build_dir/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
wine=wine

xvfb_pid=""
cleanup() {
    if [ -n "$xvfb_pid" ]; then
        # Wine's helper processes hold on to the display we are about to close.
        wineserver -k 2>/dev/null
        kill "$xvfb_pid" 2>/dev/null
    fi
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ]; then
    # Xvfb takes the first display number no other server holds and says
    # which, so runs started at the same moment never share a screen.
    display_file="$(mktemp)"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 1 100); do [ -s "$display_file" ] && break; sleep 0.1; done
    n="$(tr -dc 0-9 <"$display_file")"
    rm -f "$display_file"
    if [ -z "$n" ]; then
        echo "wine-run.sh: Xvfb did not start" >&2
        exit 125
    fi
    export DISPLAY=":$n"
    for _ in $(seq 1 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
fi

# The first run creates the prefix; serialise that between parallel tests.
mkdir -p "$WINEPREFIX"
(
    flock 9
    # A prefix made before the 32-bit half of wine was installed has no
    # syswow64, and the 32-bit loader then cannot even start: make it anew.
    if [ -f "$WINEPREFIX/.gyrofold-ready" ] && [ -x /usr/lib/wine/wine ] &&
        [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; then
        WINEPREFIX="$WINEPREFIX" wineserver -k 2>/dev/null
        rm -rf "$WINEPREFIX"
        mkdir -p "$WINEPREFIX"
    fi
    if [ ! -f "$WINEPREFIX/.gyrofold-ready" ]; then
        "$wine" wineboot --init >/dev/null 2>&1
        wineserver -w 2>/dev/null
        touch "$WINEPREFIX/.gyrofold-ready"
    fi
) 9>"$WINEPREFIX.lock"

"$wine" "$program" "$@"
rc=$?
exit $rc
