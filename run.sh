#!/usr/bin/env bash
# Builds the program (release preset, SSE2) and starts it. Only what it runs is built: the window
# program and the files beside it, not the tests, the benchmark or tarnwell-sim (./test.sh builds
# everything). Each phase is one line on the terminal; what apt, CMake and the compiler say goes
# to build/run-build.log, whose last lines are shown when a phase fails.
# Without a display it runs under a virtual X server for 300 frames and saves the last one as a
# screenshot.
# ./run.sh --web builds the page instead (web preset) and serves it on 127.0.0.1, cross-origin
# isolated so that it has threads; without a display it photographs the page in headless
# chromium after about five seconds and stops.
# Any other arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")"

mkdir -p build
build_log="$PWD/build/run-build.log"
: >"$build_log"
echo "Details: $build_log"

# phase WHAT COMMAND...: one line for the phase, the command's output into the log.
phase() {
    local what=$1 start=$SECONDS status=0
    shift
    printf '%-22s' "$what..."
    echo "=== $what: $*" >>"$build_log"
    "$@" >>"$build_log" 2>&1 </dev/null || status=$?
    if [ "$status" != 0 ]; then
        echo " failed (status $status)"
        echo "--- the last lines of $build_log:" >&2
        tail -n 30 "$build_log" >&2
        exit 1
    fi
    echo " done ($((SECONDS - start)) s)"
}

if [ "${1:-}" = "--web" ]; then
    shift
    phase "installing packages" bash tools/install_deps.sh emscripten chromium python3-websockets
    phase "configuring" cmake --preset web
    # The page's two programs bring the page's files and the scenes along.
    phase "building" cmake --build --preset web -j2 --target tarnwell tarnwell-one-thread
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

phase "installing packages" bash tools/install_deps.sh
phase "configuring" cmake --preset release
# The program's target copies its settings, shaders and scenes beside it.
phase "building" cmake --build --preset release -j2 --target tarnwell

program=build/release/tarnwell
if [ -n "${DISPLAY:-}" ]; then
    echo "starting: build/release/tarnwell (h: keys, t: real time, p: settings)"
    exec "$program" "$@"
fi

shot="$PWD/build/screenshot.png"
log="$PWD/build/run.log"
rm -f "$shot"
status=0
printf '%-22s' "starting (no display)..."
xvfb-run -a -s "-screen 0 1280x1024x24" "$program" --frames 300 --screenshot "$shot" "$@" \
    >"$log" 2>&1 || status=$?
if [ "$status" != 0 ] || [ ! -f "$shot" ]; then
    echo " failed"
    cat "$log"
    echo "no screenshot taken (status $status)" >&2
    exit 1
fi
echo " done: 300 frames in a virtual X server"
echo "Program output: $log"
echo "Screenshot: $shot"
