#!/usr/bin/env bash
# Makes the README's pictures from a release build: the animated GIF of the liquid at the top,
# the four drawing modes, the four colour schemes and every built-in scene, each a seeded run of
# the window program in a virtual X server (--seed, --frames, --screenshot or --record), so the
# same build always makes the same pictures.
#   tools/make_pictures.sh [BUILD_DIR]           writes docs/*.png and docs/liquid.gif
#   tools/make_pictures.sh --check [BUILD_DIR]   every run for a few frames into a temporary
#                                                folder: checks that each still makes its picture
#                                                at its size (CI), leaving docs/ alone
# BUILD_DIR defaults to build/release.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
check=0
if [ "${1:-}" = "--check" ]; then
    check=1
    shift
fi
build="${1:-$root/build/release}"
program="$build/tarnwell"
[ -x "$program" ] || { echo "no $program: build the release preset first" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
out="$root/docs"
[ $check = 0 ] || out="$work/out"
mkdir -p "$out"
# The README's GIF must stay small enough to load with the page.
gif_limit=$((2 * 1024 * 1024))

# run NAME FRAMES SETTINGS OUTPUT-OPTION [ARGS...]: one seeded run with its own settings file.
run() {
    local name="$1" frames="$2" settings="$3" output="$4"
    shift 4
    [ $check = 0 ] || frames=3
    printf '%b' "$settings" >"$work/$name.ini"
    xvfb-run -a -s '-screen 0 1024x1024x24' "$program" --config "$work/$name.ini" --seed 42 \
        --frames "$frames" "$output" "$@" >"$work/$name.out" 2>&1 ||
        { cat "$work/$name.out" >&2; echo "$name: the run failed" >&2; exit 1; }
    # A mode that fell back to points would make a wrong picture without failing.
    if grep -q 'not available' "$work/$name.out"; then
        grep 'not available' "$work/$name.out" >&2
        exit 1
    fi
}

# expect FILE WIDTH HEIGHT [FRAMES]: the picture is there, at its size (and frame count).
expect() {
    local got want="$2 $3"
    got=$(identify -format '%W %H\n' "$1" 2>/dev/null | sort -u) ||
        { echo "$1: not a picture" >&2; exit 1; }
    [ "$got" = "$want" ] || { echo "$1: $got pixels, want $want" >&2; exit 1; }
    if [ -n "${4:-}" ]; then
        local frames
        frames=$(identify "$1" | wc -l)
        [ "$frames" = "$4" ] || { echo "$1: $frames frames, want $4" >&2; exit 1; }
    fi
    echo "${1#"$root"/}"
}

# picture NAME FRAMES SETTINGS [ARGS...]: NAME.png after FRAMES frames of seed 42.
picture() {
    local name="$1" frames="$2" settings="$3"
    shift 3
    run "$name" "$frames" "$settings" --screenshot "$out/$name.png" "$@"
    local side
    side=$(printf '%b' "$settings" | sed -n 's/^window_size=//p')
    expect "$out/$name.png" "$side" "$side"
}

# The liquid at the top of the README: the dam break in speed colours, one frame in four of the
# first 640, 300 pixels square.
liquid='[graph]\nwindow_size=300\nrender_type=3\npoint_colors=3\nrecord_every=4\nrecord_size=300\n'
run liquid 640 "$liquid" --record "$out/liquid.gif" --scene dam_break
if [ $check = 0 ]; then
    expect "$out/liquid.gif" 300 300 160
    size=$(stat -c %s "$out/liquid.gif")
    [ "$size" -le $gif_limit ] || { echo "docs/liquid.gif is $size bytes, over $gif_limit" >&2; exit 1; }
else
    expect "$out/liquid.gif" 300 300 1
fi

mode='[graph]\nwindow_size=512\nrender_type='
picture mode0 300 "${mode}0\n"
picture mode1 300 "${mode}1\n"
picture mode2 300 "${mode}2\n"
picture mode3 300 "${mode}3\n"
# The colour schemes in the liquid mode, the fluid still moving (speeds of every size).
scheme='[graph]\nwindow_size=320\nrender_type=3\npoint_colors='
picture colours-white 300 "${scheme}0\n"
picture colours-gradient 300 "${scheme}1\n"
picture colours-density 300 "${scheme}2\n"
picture colours-speed 300 "${scheme}3\n"
# Compression is what tells the two fluid models apart: the water's dam break, squeezed by a
# percent or two at the bottom.
picture colours-compression 300 "${scheme}4\n" --scene dam_break --solver 1
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
