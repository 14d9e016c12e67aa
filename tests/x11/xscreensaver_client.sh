#!/bin/bash
# The real client: Debian's xscreensaver daemon runs the installed hack on a
# private Xvfb display; activated, the screen must show the hack's moving
# picture, and deactivated, the hack must end.
# Usage: xscreensaver_client.sh BUILD_DIR    (installed into a scratch prefix first)
#        xscreensaver_client.sh --installed  (the hack the .deb put under /usr, added
#                                             to programs: by the README's command)
set -euo pipefail
work=$(mktemp -d /tmp/gyrofold-xss.XXXXXX)
chmod 755 "$work"
as=(env)
cleanup() {
    "${as[@]}" HOME="$work/home" DISPLAY="${DISPLAY:-}" xscreensaver-command -exit >/dev/null 2>&1 || true
    [ -n "${xvfb:-}" ] && kill "$xvfb" && { wait "$xvfb" || true; }  # its sockets gone before a next run
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; cat "$work/daemon.log" 2>/dev/null | tail -20; exit 1; }
# Waits for a condition; the 30 s only end a wait that would never end.
until_ok() { for _ in $(seq 300); do "$@" && return 0; sleep 0.1; done; return 1; }

if [ "$1" = --installed ]; then
    prefix=/usr
else
    prefix=$work/prefix
    cmake --install "$1" --prefix "$prefix" >/dev/null
    program=$prefix/libexec/xscreensaver/gyrofold
fi
hack=$prefix/libexec/xscreensaver/gyrofold
for f in "$hack" share/xscreensaver/config/gyrofold.xml share/gyrofold/sample.bmp share/man/man6/gyrofold.6.gz; do
    [ -e "${f/#share/$prefix/share}" ] || fail "not installed: $f"
done
# The daemon refuses to run hacks as root.
if [ "$(id -u)" = 0 ]; then
    id gyrofold-test >/dev/null 2>&1 || useradd --system --no-create-home gyrofold-test
    as=(runuser -u gyrofold-test -- env)
fi
mkdir "$work/home"
if [ "$1" = --installed ]; then
    # The README's command makes the list from the system's, with gyrofold
    # first: the one run below.
    add=$(sed -n 's/^    \(\[ -e ~\/.xscreensaver \].*\)/\1/p' "$(dirname "$0")/../../README.md")
    [ -n "$add" ] || fail "no command in the README adds the hack to programs:"
    HOME=$work/home bash -c "$add"
    # By name: the daemon finds its hacks in its own libexec folder.
    program=gyrofold
    exact=0
else
    echo "programs: $program -root -no-hicolor -numbuf 1 -delay 10000" > "$work/home/.xscreensaver"
    exact=1
fi
printf '%s\n' 'mode: one' 'selected: 0' 'timeout: 1:00:00' 'lock: False' 'fade: False' 'unfade: False' \
    'splash: False' >> "$work/home/.xscreensaver"
[ "$(id -u)" = 0 ] && chown -R gyrofold-test "$work/home"

Xvfb -displayfd 3 -nolisten tcp -screen 0 480x360x24 3>"$work/display" 2>/dev/null &
xvfb=$!
until_ok test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=:$(cat "$work/display")
user=("${as[@]}" HOME="$work/home" DISPLAY="$DISPLAY")
# About one start in fifty the daemon exits at once, before it answers, with
# nothing in its log (seen on a loaded machine); a second start has always
# come up, so it gets three.
started() {
    "${user[@]}" xscreensaver -no-splash -verbose >"$work/daemon.log" 2>&1 &
    local daemon=$!
    for _ in $(seq 300); do
        "${user[@]}" xscreensaver-command -time >/dev/null 2>&1 && return 0
        kill -0 "$daemon" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}
started || started || started || fail "the daemon did not start"
"${user[@]}" xscreensaver-command -activate >/dev/null
until_ok pgrep -f "^$program " >/dev/null || fail "the hack did not start"
pid=$(pgrep -f "^$program ")

# Many colours on the screen, and with 8-bit frames every one of them is one
# of the image's (its palette shown exactly).
colours() { convert "$@" -unique-colors txt:- | grep -o '#[0-9A-F]\{6\}' | sort; }
colours "$prefix/share/gyrofold/sample.bmp" > "$work/image.txt"
shows_picture() {
    xwd -root -silent > "$work/$1.xwd"
    colours "xwd:$work/$1.xwd" > "$work/$1.txt"
    [ "$(wc -l < "$work/$1.txt")" -gt 100 ] && { [ $exact = 0 ] || [ -z "$(comm -23 "$work/$1.txt" "$work/image.txt")" ]; }
}
until_ok shows_picture first || fail "the screen does not show the picture"
moved() { shows_picture second && ! cmp -s "$work/first.xwd" "$work/second.xwd"; }
until_ok moved || fail "the picture does not move, or shows colours not in the image"

"${user[@]}" xscreensaver-command -deactivate >/dev/null
ended() { ! ps -o stat= -p "$pid" | grep -qv Z; }
until_ok ended || fail "the hack is still running after deactivation"
echo "xscreensaver ran and ended gyrofold (pid $pid)"
