#!/usr/bin/env bash
# Makes the Wine prefix of the tests: Japanese fonts for the names the dialog asks for, and
# windows that Wine frames itself (there is no window manager on the virtual display).
set -eu
"$WINELOADER" wineboot -i
reg() { "$WINELOADER" reg add "$@" /f >/dev/null; }
reg 'HKCU\Software\Wine\Fonts\Replacements' /v 'ＭＳ Ｐゴシック' /d 'IPAPGothic'
reg 'HKCU\Software\Wine\Fonts\Replacements' /v 'ＭＳ ゴシック' /d 'IPAGothic'
reg 'HKCU\Software\Wine\X11 Driver' /v Managed /d N
wineserver -w
