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

artifacts=$build_dir/artifacts
mkdir -p "$artifacts"
# Each target starts from the interesting inputs kept in fuzz/corpus/<target>;
# what it finds on the way stays in the build directory.
for target in fuzz_reply_extraction fuzz_setpoint_text fuzz_step_table fuzz_scpi_session; do
    corpus=$build_dir/corpus-$target
    mkdir -p "$corpus"
    cp "$fuzz_dir/corpus/$target"/* "$corpus"/
    dict=()
    [ -f "$fuzz_dir/$target.dict" ] && dict=(-dict="$fuzz_dir/$target.dict")
    echo "== $target for $seconds s"
    "$build_dir/$target" "$corpus" "${dict[@]}" \
        -max_total_time="$seconds" \
        -max_len=4096 \
        -timeout=10 \
        -print_final_stats=1 \
        -artifact_prefix="$artifacts/$target-"
done
