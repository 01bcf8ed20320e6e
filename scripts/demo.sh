#!/usr/bin/env bash
# The main job on the bundled samples: each message is converted by the glyphory command
# natively and by the real Glyphory.dll in the Wine test host, the two results are checked to
# be the same message, and the rewritten .eml and a preview .html of each land in out/.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
bash "$root/scripts/setup.sh"
mkdir -p "$build"
make_pictographs
configure_and_build "$build/native"
use_wine
out=$root/out
mkdir -p "$out"
bundle=$dir/bundle
cli=$build/native/bin/glyphory
[[ -d $WINEPREFIX ]] || "$loader" wineboot -i >/dev/null 2>&1  # Wine's first start talks a lot
status=0
echo "Glyphory.dll from $bundle, images from $bundle/Glyphory, settings $bundle/Glyphory.ini"
for sample in "$root"/samples/*.eml; do
    name=$(basename "$sample" .eml)
    # The plug-in's settings refer to the image files: the command is asked to write the same.
    "$cli" convert --link-images --images "$bundle/Glyphory" --settings "$bundle/Glyphory.ini" "$sample" -o "$out/$name.eml" 2>"$out/$name.log"
    "$cli" convert --images "$bundle/Glyphory" --settings "$bundle/Glyphory.ini" "$sample" -o "$out/$name.carried.eml" 2>/dev/null
    "$cli" preview --images "$bundle/Glyphory" --settings "$bundle/Glyphory.ini" "$sample" -o "$out/$name.html" 2>/dev/null
    (cd "$dir" && "$loader" host_convert.exe "Z:${bundle//\//\\}\\Glyphory.dll" "$sample" "$out/$name.dll.eml" >/dev/null)
    # The same message but for the boundaries and the drive of the image URLs (Z: under Wine).
    same() {
        sed -E -e 's/--------_[0-9a-f]{32}_MULTIPART_ALTERNATIVE_/BOUNDARY/g' -e 's|file://localhost/Z:/|file://localhost/|g' "$1"
    }
    if cmp -s <(same "$out/$name.eml") <(same "$out/$name.dll.eml"); then verdict="same as Glyphory.dll's"; else verdict="DIFFERS from Glyphory.dll's"; status=1; fi
    printf '%-12s %s; %s\n' "$name" "$(sed 's/^[^:]*: //' "$out/$name.log")" "$verdict"
done
wineserver -k || true
echo "rewritten messages and previews: $out/*.eml (*.carried.eml: with their images), $out/*.html"
exit $status
