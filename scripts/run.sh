#!/usr/bin/env bash
# Sets up and builds, then starts the simulated supply on port 16 and the
# program beside it in ./build. Without a display the program runs under Xvfb
# (on a free display) at 1440 x 900, 96 DPI, and a screenshot is written 6 s
# after the program started.
#   Ctrl-C, or closing the window, stops everything.
#   RUN_SECONDS=N   stops everything N seconds after the program started.
#   SIM_OPTIONS=... more options for the simulator, e.g. "--silent" or
#                   "--frame-log build/frames.log" (velkor-supply-sim --help).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
build=$PWD/build

pids=()
# Stops in the reverse order of starting: the program first, so that it
# switches the output off and saves its record while its display and supply
# are still there, then the simulator, then Xvfb.
stop_all() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null || true
        wait "${pids[i]}" 2>/dev/null || true
    done
}
trap stop_all EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# Each helper gets a session of its own: a Ctrl-C in the terminal reaches
# this script alone, never Xvfb or the program before their turn.
if [ -z "${DISPLAY:-}" ]; then
    displayfile=$(mktemp)
    setsid Xvfb -displayfd 3 -screen 0 1440x900x24 -dpi 96 -nolisten tcp \
        3>"$displayfile" >/dev/null 2>&1 &
    pids+=($!)
    # Xvfb writes the number of the display it took once it accepts clients.
    for _ in $(seq 100); do [ -s "$displayfile" ] && break; sleep 0.1; done
    [ -s "$displayfile" ] || { echo "Xvfb did not start" >&2; exit 1; }
    export DISPLAY=:$(cat "$displayfile")
    rm -f "$displayfile"
    headless=1
fi

sim=$build/tools/supply-sim/velkor-supply-sim
# SIM_OPTIONS is split into words on purpose.
# shellcheck disable=SC2086
setsid "$sim" --port 16 --dir "$build" ${SIM_OPTIONS:-} &
pids+=($!)
for _ in $(seq 50); do [ -e "$build/ports/com16" ] && break; sleep 0.1; done

setsid "$build/velkor" &
app=$!
pids+=($app)
started=${EPOCHREALTIME/./}

# Waits until the program has run for $1 seconds; false when it ended first.
# A signal interrupts the wait at once.
run_until() {
    local left=$(($1 * 1000000 - (${EPOCHREALTIME/./} - started))) sleeper ended
    [ "$left" -gt 0 ] || return 0
    sleep "$((left / 1000000)).$(printf %06d $((left % 1000000)))" &
    sleeper=$!
    wait -n -p ended "$app" "$sleeper" || true
    kill "$sleeper" 2>/dev/null || true
    [ "$ended" = "$sleeper" ]
}

if [ -n "${headless:-}" ] && [ "${RUN_SECONDS:-6}" -ge 6 ]; then
    run_until 6 || exit 0
    shot=$build/screenshot.png
    import -window root "$shot"
    echo "Screenshot of the window: $shot"
fi

if [ -n "${RUN_SECONDS:-}" ]; then
    run_until "$RUN_SECONDS" || true
else
    wait "$app" || true
fi
