#!/usr/bin/env bash
# The main job on a sample: builds Glyphory.dll and loads it in the test host as the mail
# client would, which prints the plug-in's information record.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
bash "$root/scripts/setup.sh"
mkdir -p "$build"
arch=$(wine_arch)
cross_build "$arch"
dir=$build/win-$arch
loader=/usr/lib/wine/wine; [[ $arch == x86_64 ]] && loader=/usr/lib/wine/wine64
export WINEPREFIX=$dir/wineprefix WINELOADER=$loader WINEDLLOVERRIDES=mscoree,mshtml= WINEDEBUG=-all
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
cd "$dir"
rc=0
"$loader" host_probe_full.exe 2.75.00 Glyphory.dll || rc=$?
wineserver -k || true
exit $rc
