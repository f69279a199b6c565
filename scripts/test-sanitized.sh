#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer in
# build-sanitize and runs every test there. Qt and the font libraries keep
# caches for the process's life, so leak reports are off; every other finding
# stops the test that made it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELKOR_SANITIZE=ON >/dev/null
cmake --build build-sanitize
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# The sanitizers slow the session's randomized interleavings several times
# over; the normal build runs the full count.
export VELKOR_INTERLEAVING_SEQUENCES=1500
ctest --test-dir build-sanitize --output-on-failure "$@"
