#!/usr/bin/env bash
# Makes the Debian package of the glyphory command, build/package/glyphory_<version>_<arch>.deb,
# in a build tree of its own compiled with Debian's build flags, and checks it with lintian.
# Exits non-zero when the build fails or lintian finds an error.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
bash "$root/scripts/setup.sh"
mkdir -p "$build"
make_pictographs

dir=$build/package
# The hardening every Debian package gets: stack protector, fortified functions, full RELRO, ...
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
# Only what the package holds is built: cpack installs without building the tests first.
cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_COMPILE_WARNING_AS_ERROR=ON -DGLYPHORY_PICTOGRAPHS="$pictographs" \
    "-DCMAKE_CXX_FLAGS=$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
    "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)" -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON \
    >"$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; exit 1; }
cmake --build "$dir" -j "$jobs" --target glyphory package_docs >"$dir.build.log" 2>&1 || { tail -n 60 "$dir.build.log"; exit 1; }
rm -f "$dir"/glyphory_*.deb
(cd "$dir" && cpack -G DEB >"$dir.cpack.log" 2>&1) || { tail -n 40 "$dir.cpack.log"; exit 1; }
deb=$(echo "$dir"/glyphory_*.deb)
echo "$deb"
echo "Depends: $(dpkg-deb --field "$deb" Depends)"
status=0
lintian --fail-on error --tag-display-limit 0 "$deb" >"$dir.lintian.log" 2>&1 || status=$?
# What lintian found, less its word on running as root (as CI does).
tags=$(sed '/running with root privileges/d' "$dir.lintian.log")
echo "lintian: ${tags:-no error, no warning}"
exit $status
