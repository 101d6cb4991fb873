#!/usr/bin/env bash
# Builds the release preset and runs every test: unit tests, command-line tests and the
# tests of the program in a virtual X server. When the web build exists (./run.sh --web or
# cmake --preset web made it), it is rebuilt and the page is tested in headless chromium too.
# The exit status is the tests' status.
set -euo pipefail
cd "$(dirname "$0")"

bash tools/install_deps.sh
cmake --preset release
cmake --build --preset release -j2
status=0
ctest --preset release -j2 || status=$?

if [ -f build/web/CMakeCache.txt ]; then
    bash tools/install_deps.sh emscripten chromium python3-websockets
    cmake --preset web
    cmake --build --preset web -j2
    ctest --preset web || status=$?
fi
exit $status
