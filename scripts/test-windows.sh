#!/usr/bin/env bash
# The Windows program, proven under Wine: builds it with windows.sh (Qt for
# MinGW from its cache), runs the suite as Windows programs through CTest's
# emulator, then installs the installer silently into a fresh Wine prefix
# and drives the installed program against the simulated supply on COM16
# (tests/e2e/test_windows_installed.py). Arguments go to ctest.
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
wineboot -i >/dev/null 2>&1
winecfg -v win10 >/dev/null 2>&1
# One server for the whole run, so each test starts in a second, not eight.
wineserver -p

printf '\n==> The suite as Windows programs under Wine\n'
ctest --test-dir "$win_build" --output-on-failure "$@"

printf '\n==> The installed program against the simulated supply\n'
setup=$(find "$win_build/dist" -name 'velkor-*-setup-x64.exe')
WINEPREFIX=$scratch/installed /usr/bin/python3 tests/e2e/test_windows_installed.py \
    "$setup" build/tools/supply-sim/velkor-supply-sim
