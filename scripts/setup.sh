#!/usr/bin/env bash
# Installs what the build and the tests need on Debian (as root). Quiet, and does nothing
# when everything is there already.
set -euo pipefail

packages=(
    cmake make g++ clang libclang-rt-14-dev libgtest-dev googletest libbenchmark-dev libgumbo-dev pkg-config python3 zip time
    g++-mingw-w64-i686 g++-mingw-w64-x86-64
    wine wine64 wine32:i386 xvfb xauth locales fonts-ipafont python3-pil unicode-data fonts-noto-color-emoji chromium
    procmail dovecot-imapd thunderbird xdotool x11-apps imagemagick
    dpkg-dev file lintian debootstrap
)

missing=()
for pkg in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done
if ((${#missing[@]})); then
    echo "setup: installing ${missing[*]}" >&2
    export DEBIAN_FRONTEND=noninteractive
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
    apt-get update -qq
    # The tests start the mail programs themselves: no package may start a server of its own.
    policy=/usr/sbin/policy-rc.d
    [[ -e $policy ]] || { printf '#!/bin/sh\nexit 101\n' >"$policy" && chmod +x "$policy" && trap 'rm -f "$policy"' EXIT; }
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Wine reads the ANSI code page (932) from a Japanese locale.
if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
    grep -qx 'ja_JP.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null || echo 'ja_JP.UTF-8 UTF-8' >>/etc/locale.gen
    locale-gen >/dev/null
fi
