#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for the given number of
# seconds. Exits non-zero when a target crashes; its input is kept in the build
# directory under artifacts/.
#   bash fuzz/run.sh SECONDS      (build dir: FUZZ_BUILD_DIR, default build-fuzz)
set -euo pipefail

seconds=${1:?usage: run.sh SECONDS}
fuzz_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build_dir=$(realpath -m "${FUZZ_BUILD_DIR:-$fuzz_dir/../build-fuzz}")

CC=clang CXX=clang++ cmake -S "$fuzz_dir" -B "$build_dir" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C "$build_dir"

# A few reads as the supply's line delivers them.
seed_corpus() {
    local corpus=$1
    mkdir -p "$corpus"
    printf 'VKPPSU1199A0498W' >"$corpus/one-block"
    printf '\xff\xffVKPPSU1199A0498WVKPPSU11' >"$corpus/fill-and-partial"
    printf 'xyVKPPSU1199A0498WVKPPSU1198A0497B' >"$corpus/two-blocks"
    printf 'VKPPSU1199A0498WVKPPSU1198X0497B' >"$corpus/damaged-last"
    printf 'VKPPSU12?4A0498W' >"$corpus/odd-digits"
    printf 'VKPPSU1199A04' >"$corpus/too-short"
    printf '1199A0498W' >"$corpus/no-tag"
    printf '\x00\x00VKPPSU\x00\x00\x00\x00A\x00\x00\x00\x00B\xff' >"$corpus/nuls"
}

artifacts=$build_dir/artifacts
mkdir -p "$artifacts"
for target in fuzz_reply_extraction; do
    corpus=$build_dir/corpus-$target
    seed_corpus "$corpus"
    echo "== $target for $seconds s"
    "$build_dir/$target" "$corpus" \
        -dict="$fuzz_dir/reply.dict" \
        -max_total_time="$seconds" \
        -max_len=4096 \
        -timeout=10 \
        -print_final_stats=1 \
        -artifact_prefix="$artifacts/$target-"
done
