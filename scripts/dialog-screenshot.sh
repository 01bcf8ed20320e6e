#!/usr/bin/env bash
# Opens the settings dialog under a virtual display and keeps a picture of it as
# docs/settings-dialog.png.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
bash "$root/scripts/setup.sh"
mkdir -p "$build"
make_pictographs
use_wine
ctest --test-dir "$dir" -R wine_prefix >/dev/null
export GLYPHORY_DIALOG_SCREENSHOT='C:\dialog.bmp'
(cd "$dir" && xvfb-run -a -s "-screen 0 1024x768x24" "$loader" glyphory_wine_command_tests.exe \
    --gtest_filter='SettingsDialog.OpensWith*' >/dev/null)
wineserver -k || true
mkdir -p "$root/docs"
/usr/bin/python3 -c 'import sys; from PIL import Image; Image.open(sys.argv[1]).save(sys.argv[2])' \
    "$WINEPREFIX/drive_c/dialog.bmp" "$root/docs/settings-dialog.png"
echo "docs/settings-dialog.png"
