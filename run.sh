#!/usr/bin/env bash
# Builds the program (release preset, SSE2) and starts it. Without a display it runs under a
# virtual X server for 300 frames and saves the last one as a screenshot.
set -euo pipefail
cd "$(dirname "$0")"

bash tools/install_deps.sh
cmake --preset release
cmake --build --preset release -j2

program=build/release/tarnwell
if [ -n "${DISPLAY:-}" ]; then
    exec "$program" "$@"
fi

shot="$PWD/build/screenshot.png"
log="$PWD/build/run.log"
rm -f "$shot"
status=0
xvfb-run -a -s "-screen 0 1280x1024x24" "$program" --frames 300 --screenshot "$shot" "$@" \
    >"$log" 2>&1 || status=$?
head -n 4 "$log"
if [ "$status" != 0 ] || [ ! -f "$shot" ]; then
    cat "$log"
    echo "no screenshot taken (status $status)" >&2
    exit 1
fi
echo "Program output: $log"
echo "Screenshot: $shot"
