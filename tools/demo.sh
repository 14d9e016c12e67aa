#!/bin/bash
# Builds the saver and its native renderer, renders the bundled sample image to
# an animated GIF, points the saver's settings at the sample and runs
# gyrofold.scr /s under wine: on your display when there is one (move the mouse
# or press a key to end it), otherwise on a virtual display for a few seconds,
# saving screenshots beside the GIF; then the Linux saver, build/native/gyrofold,
# in a window (q ends it) or on the virtual display with a screenshot.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
bash tools/install-deps.sh
# Only what the demo runs: the tests build with the test command.
cmake --preset native >/dev/null
cmake --build --preset native -j "$(nproc)" --target gyrofold-render make-sample sample_image gyrofold
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$(nproc)" --target gyrofold

out="$root/build/demo"
mkdir -p "$out"
sample="$root/build/native/sample.bmp"
[ -f "$sample" ] || build/native/make-sample "$sample"
build/native/gyrofold-render --image "$sample" --frames 100 --out "$out/demo.gif"
echo "rendered $out/demo.gif"

export WINEPREFIX="$root/build/win64/wineprefix"
export WINEDEBUG=-all
key='HKCU\Software\Quillbox ScreenSavers\Whirlpan'
winpath="Z:${sample//\//\\}"

xvfb_pid=""
cleanup() {
    if [ -n "$xvfb_pid" ]; then
        wineserver -k 2>/dev/null || true
        kill "$xvfb_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
    export DISPLAY=:77
    Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    sleep 1
fi

[ -f "$WINEPREFIX/.gyrofold-ready" ] || { wine wineboot --init >/dev/null 2>&1; wineserver -w; touch "$WINEPREFIX/.gyrofold-ready"; }
# A 32-bit integer as the hex bytes of a REG_BINARY value, lowest byte first.
le32() { printf '%02x%02x%02x%02x' $(($1 & 255)) $((($1 >> 8) & 255)) $((($1 >> 16) & 255)) $((($1 >> 24) & 255)); }
wine reg add "$key" /v IMGFilename /t REG_SZ /d "$winpath" /f >/dev/null
# Leave the display mode alone, so the demo never changes your screen, and
# draw frames the size of the screen, so the saver fills it.
wine reg add "$key" /v Stretch /t REG_BINARY /d "$(le32 -1)" /f >/dev/null
read -r screen_width screen_height < <(xdotool getdisplaygeometry 2>/dev/null || echo "1024 768")
wine reg add "$key" /v ScreenWidth /t REG_BINARY /d "$(le32 "$screen_width")" /f >/dev/null
wine reg add "$key" /v ScreenHeight /t REG_BINARY /d "$(le32 "$screen_height")" /f >/dev/null

if [ -z "$xvfb_pid" ]; then
    echo "running the saver on $DISPLAY: move the mouse or press a key to end it"
    wine build/win64/gyrofold.scr /s
else
    wine build/win64/gyrofold.scr /s &
    saver=$!
    sleep 4
    import -display "$DISPLAY" -window root "$out/saver-1.png"
    sleep 1
    import -display "$DISPLAY" -window root "$out/saver-2.png"
    xdotool mousemove 10 10 mousemove 200 200 || true
    sleep 1
    xdotool key space || true
    wait "$saver" || true
    echo "no display: ran the saver on a virtual one; screenshots in $out/saver-1.png and $out/saver-2.png"
fi

if [ -z "$xvfb_pid" ]; then
    echo "running the Linux saver in a window on $DISPLAY: press q or close the window to end it"
    build/native/gyrofold -window -fps
else
    build/native/gyrofold -root &
    hack=$!
    sleep 2
    import -display "$DISPLAY" -window root "$out/linux-saver.png"
    kill "$hack"
    wait "$hack" || true
    echo "ran the Linux saver on the virtual display; screenshot in $out/linux-saver.png"
fi
