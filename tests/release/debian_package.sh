#!/bin/bash
# The Debian package from outside: made by the package target, its files and
# fields, and lintian without errors. With GYROFOLD_DEB_INSTALL=1 as root (CI
# sets it) it is then installed with apt as a user would, the real daemon runs
# the installed hack, and the package is purged, leaving nothing behind.
# Usage: debian_package.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
fail() { echo "FAIL: $*"; exit 1; }

cmake --build "$build" --target package >/dev/null
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb=$build/gyrofold_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no $deb"

files=(/usr/libexec/xscreensaver/gyrofold /usr/share/xscreensaver/config/gyrofold.xml
       /usr/share/gyrofold/sample.bmp /usr/share/man/man6/gyrofold.6.gz
       /usr/share/doc/gyrofold/copyright /usr/share/doc/gyrofold/changelog.gz)
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print substr($6, 2)}' | sort > "$build/deb-files.txt"
printf '%s\n' "${files[@]}" | sort | diff - "$build/deb-files.txt" || fail "the package's files differ (- wanted, + found)"
field() { dpkg-deb -f "$deb" "$1"; }
# Worked out from the binary: the C library with its version, and the X libraries.
depends='libc6 \(>= [0-9.]+\).*libx11-6.*libxext6'
[[ "$(field Depends)" =~ $depends ]] || fail "Depends: $(field Depends)"
[ "$(field Recommends)" = xscreensaver ] || fail "Recommends: $(field Recommends)"
dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/gyrofold/copyright |
    grep -qzP 'Copyright: 2026 Quillbox\nLicense: MIT\n' || fail "copyright: not MIT, 2026 Quillbox"

echo "lintian $(basename "$deb"):"
lintian --display-info "$deb" 2>/dev/null | tee "$build/lintian.txt"
! grep -q '^E:' "$build/lintian.txt" || fail "lintian reports errors"

if [ "$(id -u)" != 0 ] || [ "${GYROFOLD_DEB_INSTALL:-0}" != 1 ]; then
    echo "installing skipped: it runs as root with GYROFOLD_DEB_INSTALL=1 (CI)"
    exit 0
fi
# One package test on the machine at a time: the installed hack is shared.
exec 9>/tmp/gyrofold-deb.lock
flock 9
folders=(/usr/libexec/xscreensaver /usr/share/xscreensaver/config /usr/share/gyrofold /usr/share/man/man6
         /usr/share/doc/gyrofold)
listing() { { find "${folders[@]}" 2>/dev/null || true; } | sort; }
listing > "$build/before.txt"
export DEBIAN_FRONTEND=noninteractive
apt-get install -y -q -o DPkg::Lock::Timeout=300 "$deb" > "$build/apt.log" 2>&1 || { cat "$build/apt.log"; fail "apt install"; }
for f in "${files[@]}"; do [ -e "$f" ] || fail "apt did not install $f"; done
status=0
bash "$here/../x11/xscreensaver_client.sh" --installed || status=$?
apt-get purge -y -q -o DPkg::Lock::Timeout=300 gyrofold > "$build/apt.log" 2>&1 || { cat "$build/apt.log"; fail "apt purge"; }
[ "$status" = 0 ] || fail "the daemon test of the installed hack"
! dpkg-query -W -f='${Status}' gyrofold 2>/dev/null | grep -q installed || fail "still known to dpkg"
listing | diff "$build/before.txt" - || fail "left behind after purging (+)"
echo "installed, run by xscreensaver and purged, nothing left"
