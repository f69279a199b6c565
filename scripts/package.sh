#!/usr/bin/env bash
# Sets up and builds, makes the Debian package and checks it:
#   - the desktop entry passes desktop-file-validate, the metadata
#     appstreamcli validate --no-net;
#   - the package holds only the program's files under /usr;
#   - unpacked into a temporary root (dpkg-deb -x), the program started as its
#     desktop entry's Exec line starts it finds the simulated supply, keeps its
#     files in the per-user data folder, and a screenshot is taken.
# Prints the package's path. Installing it: apt install ./build/package/velkor_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh >/dev/null
build=$PWD/build
out=$build/package
rm -rf "$out"
mkdir -p "$out"
cpack --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 ||
    { cat "$out/cpack.log" >&2; exit 1; }
deb=$(ls "$out"/velkor_*.deb)
echo "Package: $deb"
dpkg-deb --field "$deb" Package Version Architecture Depends

work=$(mktemp -d)
pids=()
finish() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap finish EXIT

root=$work/root
dpkg-deb -x "$deb" "$root"
stray=$(cd "$root" && find . -type f | grep -Ev '^\./usr/(bin|share)/' || true)
if [ -n "$stray" ]; then
    echo "Files outside /usr/bin and /usr/share:" >&2
    echo "$stray" >&2
    exit 1
fi
desktop=$(ls "$root"/usr/share/applications/*.desktop)
desktop-file-validate "$desktop"
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml
echo "Desktop entry and metadata are valid"

# A fresh account's folders, so the check starts like a first start.
export XDG_DATA_HOME=$work/home/.local/share
export XDG_RUNTIME_DIR=$work/runtime
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
data=$XDG_DATA_HOME/Velkor
mkdir -p "$data"
Xvfb -displayfd 3 -screen 0 1440x900x24 -dpi 96 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$work/display")

# The simulated supply on port 16, linked in the data folder's ports/.
"$build/tools/supply-sim/velkor-supply-sim" --port 16 --dir "$data" \
    --frame-log "$work/frames.log" >/dev/null &
pids+=($!)
for _ in $(seq 50); do [ -e "$data/ports/com16" ] && break; sleep 0.1; done

exec_line=$(sed -n 's/^Exec=//p' "$desktop")
PATH=$root/usr/bin:$PATH $exec_line >"$work/velkor.log" 2>&1 &
pids+=($!)
for _ in $(seq 150); do [ -s "$work/frames.log" ] && break; sleep 0.1; done
if [ ! -s "$work/frames.log" ]; then
    echo "The unpacked program sent no frame to the simulated supply" >&2
    cat "$work/velkor.log" >&2
    exit 1
fi
# Long enough for a few replies to be read and shown.
sleep 4
import -window root "$out/screenshot.png"
# The program's top-level window, by its class (Qt adds helper windows of the
# same name, and a message box has the class too): one of them has the icon.
# A slow first start (a fresh font cache) gets time to map it.
window_has_icon() {
    local window
    for window in $(xwininfo -root -tree | awk '/"Velkor": \("velkor" "Velkor"\)/ {print $1}'); do
        xprop -id "$window" _NET_WM_ICON 2>/dev/null | grep -q 'Icon (32 x 32)' && return 0
    done
    return 1
}
for _ in $(seq 100); do window_has_icon && break; sleep 0.2; done
if ! window_has_icon; then
    echo "The unpacked program's window has no icon. Its windows and what it said:" >&2
    xwininfo -root -tree | grep -i velkor >&2 || true
    cat "$work/velkor.log" >&2
    exit 1
fi
[ -f "$data/db1.sqlite" ] || { echo "No step table in the data folder $data" >&2; exit 1; }
if [ -n "$(ls "$root/usr/bin" | grep -v '^velkor$')" ]; then
    echo "The program wrote beside itself in $root/usr/bin" >&2
    exit 1
fi
echo "Unpacked program ran against the simulated supply:" \
    "$(wc -l <"$work/frames.log") frames received, window icon set, data in the per-user folder"
echo "Screenshot: $out/screenshot.png"
