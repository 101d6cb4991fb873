#!/usr/bin/env bash
# Makes the README's pictures from a release build: the three drawing modes and every built-in
# scene, each a seeded run of the window program in a virtual X server, its last frame saved.
#   tools/make_pictures.sh [BUILD_DIR]   (default build/release; writes docs/*.png)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/release}"
program="$build/tarnwell"
[ -x "$program" ] || { echo "no $program: build the release preset first" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# picture NAME FRAMES SETTINGS [ARGS...]: docs/NAME.png after FRAMES frames of seed 42.
picture() {
    local name="$1" frames="$2" settings="$3"
    shift 3
    printf '%b' "$settings" >"$work/$name.ini"
    xvfb-run -a -s '-screen 0 1024x1024x24' "$program" --config "$work/$name.ini" --seed 42 \
        --frames "$frames" --screenshot "$root/docs/$name.png" "$@" >/dev/null
    echo "docs/$name.png"
}

picture mode0 300 '[graph]\nwindow_size=512\n'
picture mode1 300 '[graph]\nwindow_size=512\nrender_type=1\n'
picture mode2 300 '[graph]\nwindow_size=512\nrender_type=2\n'
# Scenes: the moment that shows what each is about.
small='[graph]\nwindow_size=320\n'
picture scene-box 300 "$small" --scene box
picture scene-dam_break 250 "$small" --scene dam_break
picture scene-double_dam_break 300 "$small" --scene double_dam_break
picture scene-drop 260 "$small" --scene drop
picture scene-wave_machine 900 "$small" --scene wave_machine
picture scene-fountain 600 "$small" --scene fountain
picture scene-floating 600 "$small" --scene floating
picture scene-obstacles 500 "$small" --scene obstacles
# Water (solver 1): the dam break at the same moment as solver 0's above, and the floating blocks.
picture solver1-dam_break 250 "$small" --scene dam_break --solver 1
picture solver1-floating 600 "$small" --scene floating --solver 1
