#!/usr/bin/env bash
# Sets up and builds, then runs every benchmark once and prints their tables:
# ratios measured within one run, against the targets beside them.
#   scripts/bench.sh            (CPU share measured over 60 s)
#   CPU_SECONDS=20 scripts/bench.sh
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh >/dev/null
bench=build/bench
export QT_QPA_PLATFORM=offscreen
for program in bench_link bench_program bench_day_run bench_measurement_log bench_run_picture bench_stop \
               bench_window_thread; do
    echo "== $program"
    if [ "$program" = bench_program ]; then
        "$bench/$program" "${CPU_SECONDS:-60}" 2>/dev/null
    else
        "$bench/$program" 2>/dev/null
    fi
    echo
done
