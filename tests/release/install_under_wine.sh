#!/bin/bash
# install_under_wine.sh SETUP.exe release_probe.exe OUTDIR ZIP: runs the probe
# in a wine prefix made for this run alone, with the ZIP's saver and sample to
# compare against, then checks from the Linux side that the uninstalls left no
# file of the saver's anywhere on drive C.
set -u
setup="$1" probe="$2" outdir="$3" zip="$4"
if [ ! -f "$setup" ]; then
    echo "$setup is missing: the release_packages test makes it"
    exit 1
fi
here="$(cd "$(dirname "$0")" && pwd)"
export WINEPREFIX="$(dirname "$probe")/fresh-prefix"
# No menu entries in the desktop's home for the installer's shortcuts: the
# helper that would write them starts in the install folder and may still
# be there when the uninstaller removes it.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
WINEPREFIX="$WINEPREFIX" wineserver -k 2>/dev/null
rm -rf "$WINEPREFIX" "$WINEPREFIX.lock"
mkdir -p "$outdir"
rm -rf "$outdir/zip"
mkdir -p "$outdir/zip"
(cd "$outdir/zip" && cmake -E tar xf "$zip" gyrofold.scr sample.bmp)

"$here/../../tools/wine-run.sh" "$probe" "Z:${setup//\//\\}" "Z:${outdir//\//\\}\\zip"
rc=$?
left="$(find "$WINEPREFIX/drive_c" -iname '*gyrofold*')"
if [ -n "$left" ]; then
    echo "FAILED: the uninstalls left behind:"
    echo "$left"
    rc=1
fi
[ $rc -eq 0 ] && rm -rf "$WINEPREFIX"
exit $rc
