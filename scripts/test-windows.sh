#!/usr/bin/env bash
# The Windows program, proven under Wine: builds it with windows.sh (Qt for
# MinGW from its cache), runs the suite as Windows programs through CTest's
# emulator, then installs the installer silently into a fresh Wine prefix
# and drives the installed program against the simulated supply on COM16
# (tests/e2e/test_windows_installed.py), and last shows the portable copy's
# window under Xvfb, with a screenshot in build-windows/screenshot-wine.png.
# Arguments go to ctest.
set -Eeuo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
win_build=${VELKOR_WINDOWS_BUILD:-$repo/build-windows}

bash scripts/windows.sh

# The simulated supply is the Linux one, built with the Linux tree.
if [ ! -x build/tools/supply-sim/velkor-supply-sim ]; then
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build build --target velkor-supply-sim
fi

# A Chinese bench PC, as the window design was drawn for: code page 936 and a
# 24-hour clock. A prefix keeps the locale it is made with, whatever a later
# program runs under, so each prefix is made under it too. The locale is
# Wine's own, which Linux need not have.
chinese=(env LC_ALL=zh_CN.UTF-8)

scratch=$(mktemp -d /tmp/velkor-wine.XXXXXX)
export WINEPREFIX=$scratch/suite WINEDEBUG=-all
cleanup() {
    for prefix in "$scratch"/*/; do
        WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
    done
    rm -rf "$scratch"
}
trap cleanup EXIT

printf '\n==> A Wine prefix for the suite\n'
# One server for the whole run, so each test starts in a second, not eight;
# it is started before anything else starts one that would end on its own.
mkdir -p "$WINEPREFIX"
wineserver -p
"${chinese[@]}" wineboot -i >/dev/null 2>&1
"${chinese[@]}" winecfg -v win10 >/dev/null 2>&1

printf '\n==> The suite as Windows programs under Wine\n'
ctest --test-dir "$win_build" --output-on-failure "$@"

printf '\n==> The installed program against the simulated supply\n'
setup=$(find "$win_build/dist" -name 'velkor-*-setup-x64.exe')
WINEPREFIX=$scratch/installed /usr/bin/python3 tests/e2e/test_windows_installed.py \
    "$setup" build/tools/supply-sim/velkor-supply-sim

printf '\n==> The window of the portable copy under Wine and Xvfb\n'
portable_window() {
    local zip work=$scratch/portable pids=()
    zip=$(find "$win_build/dist" -name 'velkor-*-portable-x64.zip')
    mkdir -p "$work"
    (cd "$work" && /usr/bin/python3 -m zipfile -e "$zip" .)
    Xvfb -displayfd 3 -screen 0 1440x900x24 -dpi 96 -nolisten tcp 3>"$work/display" \
        >/dev/null 2>&1 &
    pids+=($!)
    for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
    # The prefix's desktop takes the display it is made on.
    export DISPLAY=:$(cat "$work/display") WINEPREFIX=$scratch/window
    "${chinese[@]}" wineboot -i >/dev/null 2>&1
    "${chinese[@]}" winecfg -v win10 >/dev/null 2>&1
    build/tools/supply-sim/velkor-supply-sim --port 16 --dir "$work" \
        --frame-log "$work/frames.log" >/dev/null &
    pids+=($!)
    for _ in $(seq 50); do [ -e "$work/ports/com16" ] && break; sleep 0.1; done
    ln -sfn "$(readlink -f "$work/ports/com16")" "$WINEPREFIX/dosdevices/com16"
    "${chinese[@]}" wine "$work/Velkor/velkor.exe" >"$work/velkor.log" 2>&1 &
    pids+=($!)
    local shown=1 mapped=0
    for _ in $(seq 600); do
        xwininfo -root -tree | grep -q '("velkor.exe" "velkor.exe") *[0-9]\{3,\}x' &&
            mapped=1 && break
        sleep 0.1
    done
    [ "$mapped" -eq 1 ] || { echo "The window program showed no window" >&2; shown=0; }
    for _ in $(seq 300); do [ -s "$work/frames.log" ] && break; sleep 0.1; done
    # Long enough for a few replies to be read and shown.
    sleep 6
    import -window root "$win_build/screenshot-wine.png"
    grep -q . "$work/frames.log" || { echo "The window program sent no frame" >&2; shown=0; }
    # The portable copy keeps its step table beside itself.
    [ -f "$work/Velkor/db1.sqlite" ] ||
        { echo "No step table beside the portable program" >&2; shown=0; }
    "${chinese[@]}" wineboot --end-session >/dev/null 2>&1 || true
    kill "${pids[@]}" 2>/dev/null || true
    wait "${pids[@]}" 2>/dev/null || true
    if [ "$shown" -eq 0 ]; then
        cat "$work/velkor.log" >&2
        return 1
    fi
    echo "The portable window ran against the simulated supply; screenshot:" \
        "$win_build/screenshot-wine.png"
}
portable_window
