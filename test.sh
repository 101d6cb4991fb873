#!/usr/bin/env bash
# Builds the release preset and runs every test: unit tests, command-line tests and the
# tests of the program in a virtual X server. The exit status is the tests' status.
set -euo pipefail
cd "$(dirname "$0")"

bash tools/install_deps.sh
cmake --preset release
cmake --build --preset release -j2
ctest --preset release -j2
