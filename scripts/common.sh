# Shared by the build scripts: where things go, and which Windows build can run here.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${GLYPHORY_BUILD:-$root/build}
jobs=$(nproc)

# The plug-in is 32-bit. Some machines cannot execute 32-bit x86 code at all (no 32-bit
# Linux programs, hence no 32-bit Wine); the Wine tests then run the x86_64 build of the
# same sources, and the 32-bit module is built and checked without being run.
wine_arch() {
    if /usr/lib/wine/wine --version >/dev/null 2>&1; then echo i686; else echo x86_64; fi
}

# The pictograph images, drawn once into the build folder (again when the generator changes).
pictographs=$build/pictographs
make_pictographs() {
    if [[ ! -f $pictographs/counts.txt || $root/tools/make_pictographs.py -nt $pictographs/counts.txt ]]; then
        rm -rf "$pictographs"
        /usr/bin/python3 "$root/tools/make_pictographs.py" "$pictographs" | cut -c1-200
    fi
}

# configure_and_build DIR [cmake options...]
configure_and_build() {
    local dir=$1
    shift
    cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
        -DGLYPHORY_PICTOGRAPHS="$pictographs" "$@" >"$dir.configure.log" 2>&1 ||
        { cat "$dir.configure.log"; return 1; }
    cmake --build "$dir" -j "$jobs" >"$dir.build.log" 2>&1 || { tail -n 60 "$dir.build.log"; return 1; }
}

cross_build() {  # cross_build ARCH [cmake options...]
    local arch=$1
    shift
    configure_and_build "$build/win-$arch" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw.cmake" \
        -DGLYPHORY_MINGW_ARCH="$arch" "$@"
}

# use_wine: builds the Windows module this machine can run and sets up Wine for it, with a
# Japanese locale; sets dir (the build folder) and loader.
use_wine() {
    local arch
    arch=$(wine_arch)
    cross_build "$arch"
    dir=$build/win-$arch
    loader=/usr/lib/wine/wine
    [[ $arch == x86_64 ]] && loader=/usr/lib/wine/wine64
    export WINEPREFIX=$dir/wineprefix WINELOADER=$loader WINEDLLOVERRIDES=mscoree,mshtml= WINEDEBUG=-all
    export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
}
