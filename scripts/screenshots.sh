#!/usr/bin/env bash
# Screenshots of the window at 1440 x 900, 1024 x 768 and 1920 x 1080 under
# Xvfb, against the simulated supply on port 3 with the output on, so both
# charts show grid, axis numbers and traces.
#
# For each size: a copy of the program and a three-row step table in a fresh
# directory beside the simulator's port link (the other 15 ports are links to nowhere, so only the
# simulator can answer), 12 V / 3 A typed into the entry boxes, the output
# switched on with a click once the link is up, 24 V typed after 8 s, and the
# picture taken about 20 s after switching on. xdotool does the typing and
# clicking; the simulator's frame log shows when the output is really on.
#
# BUILD_DIR  build directory holding velkor and the simulator (default ./build)
# OUT_DIR    where the PNGs go (default $BUILD_DIR/screenshots)
# DISPLAY_BASE  first X display number to use (default 80; three are used)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${BUILD_DIR:-build}")
out=${OUT_DIR:-$build/screenshots}
display_base=${DISPLAY_BASE:-80}
sim=$build/tools/supply-sim/velkor-supply-sim

for tool in "$build/velkor" "$sim"; do
    [ -x "$tool" ] || { echo "Missing $tool: build first (scripts/setup.sh)" >&2; exit 1; }
done
if ! command -v xdotool >/dev/null; then
    sudo_cmd=()
    [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq xdotool >/dev/null ||
        { "${sudo_cmd[@]}" apt-get update -qq &&
          DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq xdotool >/dev/null; }
fi
mkdir -p "$out"

pids=()
stop_all() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    pids=()
}
trap stop_all EXIT
trap 'exit 130' INT TERM

# Screen pixel of a reference position in twips: twips x (pixels / reference
# pixels) / 15 twips per pixel at 96 DPI.
px() { echo $(($1 * $2 / 21600)); }
py() { echo $(($1 * $2 / 13500)); }

# Clicks the centre of a control given in reference twips on the window.
click_at() {
    local window=$1 x=$2 y=$3
    xdotool mousemove --window "$window" "$(px "$x" "$width")" "$(py "$y" "$height")" click 1
}

# Replaces the text of an entry box.
type_into() {
    local window=$1 x=$2 y=$3 text=$4
    click_at "$window" "$x" "$y"
    xdotool key --window "$window" ctrl+a
    xdotool type --window "$window" --delay 50 "$text"
}

output_is_on() { grep -qE ' VKPPSU[0-9]{4}[HC][0-9]{4}O$' "$1"; }

# Entry centres: the settings group (240, 3600) plus the control's place inside it.
voltageEntry=(1387 4717)
currentEntry=(4267 4717)
outputButton=(1447 9547)

shoot() {
    width=$1 height=$2
    local display=:$3
    local dir
    dir=$(mktemp -d)
    cp "$build/velkor" "$dir/"
    [ -f "$build/vk-7100-2.ico" ] && cp "$build/vk-7100-2.ico" "$dir/"
    mkdir "$dir/ports"
    for n in $(seq 16); do
        [ "$n" -ne 3 ] && ln -s /nonexistent "$dir/ports/com$n"
    done
    # A few rows in the step table, so the grid shows cells as well.
    python3 - "$dir/db1.sqlite" <<'PY'
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
db.execute('CREATE TABLE VK7100PPS1 (ID INTEGER PRIMARY KEY, "电压（V）" REAL, '
           '"电流（A）" REAL, "时间（S）" REAL)')
db.executemany('INSERT INTO VK7100PPS1 VALUES (?, ?, ?, ?)',
               [(1, 5, 1, 10), (2, 12.5, 2, 20), (3, 24, 3.5, 5)])
db.commit()
PY

    Xvfb "$display" -screen 0 "${width}x${height}x24" -dpi 96 -nolisten tcp >/dev/null 2>&1 &
    pids+=($!)
    export DISPLAY=$display
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

    "$sim" --port 3 --dir "$dir" --frame-log "$dir/frames.log" >/dev/null &
    pids+=($!)
    for _ in $(seq 50); do [ -e "$dir/ports/com3" ] && break; sleep 0.1; done

    "$dir/velkor" >"$dir/velkor.log" 2>&1 &
    pids+=($!)
    local window
    window=$(timeout 20 xdotool search --sync --name '^Velkor$' | head -1)
    sleep 1

    type_into "$window" "${voltageEntry[@]}" 12V
    type_into "$window" "${currentEntry[@]}" 3A
    # The button does nothing until the link is up; a click that switched the
    # output on shows in the frames within half a second.
    local on=""
    for _ in $(seq 15); do
        click_at "$window" "${outputButton[@]}"
        sleep 1.5
        if output_is_on "$dir/frames.log"; then on=1; break; fi
    done
    if [ -z "$on" ]; then
        echo "${width}x${height}: the output did not come on" >&2
        return 1
    fi
    sleep 8
    type_into "$window" "${voltageEntry[@]}" 24V
    sleep 12
    local shot=$out/velkor-${width}x${height}.png
    import -window root "$shot"
    echo "$shot"
    stop_all
    rm -rf "$dir"
}

shoot 1440 900 "$display_base"
shoot 1024 768 "$((display_base + 1))"
shoot 1920 1080 "$((display_base + 2))"
