#!/usr/bin/env bash
# Installs what building, running, testing and packaging need on a Debian
# machine, and configures and builds the project in ./build. Safe to run again.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake ninja-build g++ python3 clang libclang-rt-14-dev
          qt6-base-dev qt6-serialport-dev libqt6sql6-sqlite
          fonts-noto-cjk fonts-arphic-ukai fonts-arphic-uming
          xvfb xauth x11-apps x11-utils imagemagick
          file dpkg-dev desktop-file-utils appstream
          python3-pyvisa python3-pyvisa-py)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
