#!/usr/bin/env bash
# Every test: native unit tests (also under AddressSanitizer and UndefinedBehaviorSanitizer),
# the Debian package on a brand-new Debian root, the cross-built module's checks and the tests
# under Wine. Exits non-zero on any failure.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
bash "$root/scripts/setup.sh"
mkdir -p "$build"
make_pictographs

passed=0
failed=0
# run_ctest NAME DIR [ctest options...]: runs one tree's tests and adds up the counts.
run_ctest() {
    local name=$1 dir=$2
    shift 2
    echo "== $name"
    local log="$dir.ctest.log" rc=0
    ctest --test-dir "$dir" --output-on-failure "$@" >"$log" 2>&1 || rc=$?
    grep -E 'tests passed|\*\*\*|Failed|Error' "$log" || true
    local line total bad
    line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
    bad=$(sed -E 's/.* ([0-9]+) tests? failed.*/\1/' <<<"$line")
    if [[ -z $line ]]; then total=1 bad=1; fi
    if ((rc != 0 && bad == 0)); then bad=1; fi
    passed=$((passed + total - bad))
    failed=$((failed + bad))
}

configure_and_build "$build/native"
run_ctest "native unit tests" "$build/native" -j "$jobs"

# step NAME COMMAND...: a check that passes or fails as a whole.
step() {
    local name=$1
    shift
    echo "== $name"
    if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
}
step "the Debian package, checked by lintian" bash "$root/scripts/package.sh"
step "the Debian package installed, used and removed on a brand-new Debian root" \
    /usr/bin/python3 "$root/tests/package/package_test.py" "$build"/package/glyphory_*.deb "$build/debian-root"

configure_and_build "$build/sanitize" -DCMAKE_BUILD_TYPE=Debug \
    "-DCMAKE_CXX_FLAGS=-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
# The mail client's photographs are taken once, of the plain build's results.
run_ctest "native unit tests under ASan and UBSan" "$build/sanitize" -j "$jobs" -E mail_client_thunderbird

# Bounded fuzz runs (libFuzzer, ASan, UBSan) where strangers' bytes enter, from the seeds:
# the message rewrite for a minute, with carried images for 30 s, the walks, the header decoder
# and the INI reader for 20 s.
configure_and_build "$build/fuzz" -DCMAKE_CXX_COMPILER=clang++ -S "$root/fuzz"
fuzz() {  # fuzz TARGET SEEDS SECONDS [options...]
    local target=$1 seeds=$2 seconds=$3
    shift 3
    echo "== fuzzing $target for $seconds seconds"
    rm -rf "$build/fuzz/corpus-$target" && cp -r "$root/fuzz/$seeds" "$build/fuzz/corpus-$target"
    if (cd "$build/fuzz" && "./$target" -max_total_time="$seconds" -seed=1 "$@" "corpus-$target" >"$target.log" 2>&1); then
        grep -E '^Done' "$build/fuzz/$target.log" || true
        passed=$((passed + 1))
    else
        tail -n 30 "$build/fuzz/$target.log"
        failed=$((failed + 1))
    fi
}
fuzz rewrite_fuzzer corpus 60 -dict="$root/fuzz/mime.dict" -max_len=4096
fuzz carried_images_fuzzer corpus 30 -dict="$root/fuzz/mime.dict" -max_len=4096
fuzz walk_fuzzer corpus_walk 20 -dict="$root/fuzz/mime.dict" -max_len=4096
fuzz encoded_words_fuzzer corpus_words 20 -max_len=1024
fuzz ini_fuzzer corpus_ini 20 -max_len=4096

arch=$(wine_arch)
if [[ $arch == i686 ]]; then
    cross_build i686
    run_ctest "Glyphory.dll (32-bit) under Wine" "$build/win-i686" -j1
else
    echo "== this machine cannot execute 32-bit x86 code: the Wine tests run the x86_64 build"
    cross_build i686 -DGLYPHORY_WINE_TESTS=OFF
    run_ctest "Glyphory.dll (32-bit), built and checked" "$build/win-i686"
    cross_build x86_64
    run_ctest "Glyphory.dll (x86_64) under Wine" "$build/win-x86_64" -j1
fi

echo
echo "all: $passed passed, $failed failed"
((failed == 0))
