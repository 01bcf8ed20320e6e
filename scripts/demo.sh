#!/usr/bin/env bash
# The main job on a sample: builds Glyphory.dll and loads it in the test host as the mail
# client would, which prints the plug-in's information record.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
bash "$root/scripts/setup.sh"
mkdir -p "$build"
make_pictographs
use_wine
cd "$dir"
rc=0
"$loader" host_probe_full.exe 2.75.00 Glyphory.dll || rc=$?
wineserver -k || true
exit $rc
