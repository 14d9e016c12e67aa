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
    # Pick a display number no other run holds.
    for n in $(seq 90 140); do
        if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
            Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
            xvfb_pid=$!
            export DISPLAY=":$n"
            for _ in $(seq 1 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
            break
        fi
    done
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
