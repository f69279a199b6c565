#!/usr/bin/env bash
# Sets up and builds, then starts the simulated supply on port 16 and the
# program beside it in ./build. Without a display the program runs under Xvfb
# at 1440 x 900, 96 DPI, and a screenshot is written after a few seconds.
# Stop with Ctrl-C or by closing the window; RUN_SECONDS=N stops after N s.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
build=$PWD/build

pids=()
# The program first: it ends itself cleanly while its display and supply
# are still there.
stop_all() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null || true
        wait "${pids[i]}" 2>/dev/null || true
    done
}
trap stop_all EXIT
trap 'exit 130' INT TERM

if [ -z "${DISPLAY:-}" ]; then
    export DISPLAY=:97
    Xvfb "$DISPLAY" -screen 0 1440x900x24 -dpi 96 -nolisten tcp >/dev/null 2>&1 &
    pids+=($!)
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    headless=1
fi

if [ -x "$build/tools/supply-sim/velkor-supply-sim" ]; then
    "$build/tools/supply-sim/velkor-supply-sim" --port 16 --dir "$build" &
    pids+=($!)
    sleep 0.5
fi

"$build/velkor" &
app=$!
pids+=($app)

if [ -n "${headless:-}" ]; then
    sleep 6
    shot=$build/screenshot.png
    import -window root "$shot"
    echo "Screenshot of the window: $shot"
fi

if [ -n "${RUN_SECONDS:-}" ]; then
    sleep "$RUN_SECONDS"
else
    wait "$app" || true
fi
