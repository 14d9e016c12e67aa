#!/bin/bash
# Installs the Debian packages the builds and tests need, when any is missing.
set -euo pipefail
packages=(
    cmake g++ make git
    googletest libgtest-dev libbenchmark-dev
    libpng-dev libjpeg62-turbo-dev libjpeg-turbo-progs libgif-dev libpixman-1-dev
    g++-mingw-w64-x86-64 g++-mingw-w64-i686
    wine wine64 wine32:i386 xvfb xdotool imagemagick
    nsis
    clang libclang-rt-14-dev
    libx11-dev libxext-dev libxrandr-dev x11-utils x11-apps xscreensaver
    dpkg-dev file lintian
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    sudo_cmd=""
    [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
    # The x86 build's tests run under the 32-bit half of wine.
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $sudo_cmd dpkg --add-architecture i386
    fi
    $sudo_cmd apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y "${missing[@]}"
fi
