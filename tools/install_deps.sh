#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and run.sh need, only those missing.
# Further packages named as arguments are installed the same way (CI adds the fuzzing compiler).
# python3 drives the window tests; locales brings the locale sources the decimal-comma test
# compiles a German locale from. file lets cpack find the programs whose libraries
# dpkg-shlibdeps names; desktop-file-utils and lintian check the package.
set -euo pipefail

packages=(build-essential cmake pkg-config freeglut3-dev libglu1-mesa-dev mesa-common-dev libgl1-mesa-dri libpng-dev
          libgif-dev libimgui-dev
          libgtest-dev libgmock-dev googletest libbenchmark-dev
          xvfb xauth xdotool x11-utils imagemagick gdb python3 locales
          file desktop-file-utils lintian "$@")

missing=()
for p in "${packages[@]}"; do
    dpkg -s "$p" 2>/dev/null | grep -q '^Status: install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "need root or sudo to install: ${missing[*]}" >&2; exit 1; }
    sudo=(sudo)
fi
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
    -o DPkg::Lock::Timeout=600 \
    "${missing[@]}"
