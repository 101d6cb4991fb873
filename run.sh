#!/usr/bin/env bash
# Builds the program (release preset, SSE2) and starts it. Without a display it runs under a
# virtual X server for 300 frames and saves the last one as a screenshot.
# ./run.sh --web builds the page instead (web preset) and serves it on 127.0.0.1, cross-origin
# isolated so that it has threads; without a display it photographs the page in headless
# chromium after about five seconds and stops.
set -euo pipefail
cd "$(dirname "$0")"

if [ "${1:-}" = "--web" ]; then
    bash tools/install_deps.sh emscripten chromium python3-websockets
    cmake --preset web
    cmake --build --preset web -j2
    if [ -n "${DISPLAY:-}" ]; then
        port=${TARNWELL_WEB_PORT:-8000}
        echo "Serving the page at http://127.0.0.1:$port/ (Ctrl-C stops)"
        exec /usr/bin/python3 tests/web/browser.py serve build/web "$port"
    fi
    # Nobody is looking: any free port will do.
    port=${TARNWELL_WEB_PORT:-$(/usr/bin/python3 -c 'import socket; s = socket.socket()
s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')}
    shot="$PWD/build/web-screenshot.png"
    rm -f "$shot"
    /usr/bin/python3 tests/web/browser.py serve build/web "$port" >build/web-server.log 2>&1 &
    server=$!
    trap 'kill "$server" 2>/dev/null || true' EXIT
    for (( i = 0; i < 50; ++i )); do
        /usr/bin/python3 -c "import urllib.request as u; u.urlopen('http://127.0.0.1:$port/')" \
            2>/dev/null && break
        kill -0 "$server" 2>/dev/null || { cat build/web-server.log; exit 1; }
        sleep 0.1
    done
    echo "Serving the page at http://127.0.0.1:$port/"
    /usr/bin/python3 tests/web/browser.py screenshot "http://127.0.0.1:$port/" "$shot" 5 ||
        { echo "the page did not start; no screenshot taken" >&2; exit 1; }
    echo "Screenshot: $shot"
    exit 0
fi

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
