#!/usr/bin/env bash
# Our rewrite beside the peers (memcpy, GMime, Python's email package), measured in one run
# on one corpus, then the peers' tables with each figure as a multiple of GMime's:
#   bash bench/compare.sh [RUNS]
# Installs what it needs (as root), builds the benchmarks, and writes everything under
# build/perf/ (lines.txt holds every line, ours included).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/common.sh"
runs=${1:-7}
peers=$root/../shared/perf
out=$build/perf
mkdir -p "$out"

make_pictographs
configure_and_build "$build/native"
BUILD_DIR=$out/peers bash "$peers/run-peers.sh" "$out/corpus" "$runs" >"$out/peers.txt"
"$build/native/glyphory_bench_rewrite" "$out/corpus" --benchmark_color=false --benchmark_repetitions="$runs" --benchmark_min_time=0.2 |
    grep '^glyphory ' >"$out/ours.txt"
cat "$out/peers/lines.txt" "$out/ours.txt" >"$out/lines.txt"
grep '^#' "$out/peers.txt"
cat "$out/ours.txt"
/usr/bin/python3 "$peers/summarize.py" "$out/lines.txt"
