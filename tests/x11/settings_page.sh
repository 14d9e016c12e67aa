#!/bin/bash
# The settings page as xscreensaver-settings reads it: loaded without a
# warning, and a programs line that sets every option of the page away from
# its default written back whole: an option the page cannot hold is dropped
# when the user saves. XScreenSaver 6 reads pages only from its own folder, so
# the page goes there for the run, under a name of its own.
# Usage: settings_page.sh PAGE.xml
set -euo pipefail
config=/usr/share/xscreensaver/config
[ -w "$config" ] || { echo "cannot write $config: skipped"; exit 77; }
name=gyrofold-page-check-$$
work=$(mktemp -d /tmp/gyrofold-page.XXXXXX)
cleanup() {
    rm -f "$config/$name.xml"
    [ -n "${settings:-}" ] && kill "$settings" 2>/dev/null
    [ -n "${xvfb:-}" ] && kill "$xvfb" && { wait "$xvfb" || true; }
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; grep -i "$name\|warning" "$work/log" | tail -20; exit 1; }
until_ok() { for _ in $(seq 300); do "$@" && return 0; sleep 0.1; done; return 1; }

cp "$1" "$config/$name.xml"
# Motion values of the Windows dialog's table, and none of them the default.
line="-root -delay 1000 -image /tmp/picture.bmp -rot1 0.05 -rot2 10 -zoom1 0.7 -zoom2 1.3 -xscale 0.5"
line+=" -yscale 2.5 -numbuf 5 -no-hicolor -warpy -frame-width 320 -frame-height 200 -low-resolution -threads 3 -duration 30 -fps"
printf '%s\n' 'mode: one' 'selected: 0' "programs: $name $line" > "$work/.xscreensaver"

Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$work/display" 2>/dev/null &
xvfb=$!
until_ok test -s "$work/display" || fail "Xvfb did not start"
HOME=$work DISPLAY=:$(cat "$work/display") xscreensaver-settings --debug >"$work/log" 2>&1 &
settings=$!
# The line as the page writes it back comes after the page is read.
written() { sed -n "\|reading $config/$name.xml|,\$p" "$work/log" | grep -o "scheduling preview \"$name [^\"]*\"" | tail -1; }
read_back() { [ -n "$(written)" ]; }
until_ok read_back || fail "the page was not read"
! grep -i "warning.*$name" "$work/log" || fail "warnings"
tokens() { tr ' ' '\n' | sort; }
back=$(written | sed "s/^scheduling preview \"$name //; s/\"$//")
[ "$(tokens <<<"$back")" = "$(tokens <<<"$line")" ] || fail "written back as: $back"
echo "the page holds: $back"
