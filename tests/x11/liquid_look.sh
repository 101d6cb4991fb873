# The liquid look: mode 3 fills the settled pool and draws the bodies filled, the colour bar
# shows with the density and speed colours and not with the gradient, the stirring circle shows
# while a button is held, and a recording has the frames and size asked for.
source "$(dirname "$0")/x11_common.bash" || { echo "FAIL: x11_common.bash missing" >&2; exit 1; }

install_program
shots="${TARNWELL_SHOTS:-$work}"
# colours FILE X Y W H [R G B TOLERANCE]: region_colours.py's counts, as shell assignments.
colours() {
    local file=$1
    shift
    convert "$file" "$work/region.ppm" && python3 "$src_dir/tests/x11/region_colours.py" "$work/region.ppm" "$@"
}

# 1. Mode 3 over a settled pool of 4,000 particles with two bodies, 300 pixels square.
settings() {
    printf '[graph]\nwindow_size=300\nrender_type=%s\npoint_colors=%s\n[phys]\ncount=4000\n' "$1" "$2" \
        >"$work/app/config.ini"
}
settings 3 1
run_program 300 --seed 7 --frames 1500 --screenshot "$work/liquid.png"
[ "$exit_status" = 0 ] || fail "mode 3: exit status $exit_status"
grep -q 'not available' "$work/out.txt" && fail "mode 3 fell back to points: $(grep 'not available' "$work/out.txt")"
cp "$work/liquid.png" "$shots/" 2>/dev/null || true
read -r mean top bottom < <(rows "$work/liquid.png")
echo "mode 3: fluid band from row $top to $bottom (fractions of the height)"
awk -v t="$top" 'BEGIN { exit !(t > 0.5 && t < 0.9) }' || fail "mode 3: no settled pool (band from $top)"
# Below the surface's waves, between the walls: not one background pixel. (The points of mode 0
# leave most of the same rectangle black.)
pool_y=$(awk -v t="$top" 'BEGIN { printf "%d", t * 300 + 12 }')
pool_h=$(( 300 - 5 - pool_y ))
eval "$(colours "$work/liquid.png" 6 "$pool_y" 288 "$pool_h")"
echo "mode 3: $background background pixels of $pixels in the pool below row $pool_y"
[ "$pixels" -gt 5000 ] || fail "mode 3: the pool is too shallow to judge ($pixels pixels)"
[ "$background" = 0 ] || fail "mode 3: $background background pixels inside the pool"
# The bodies, filled in their own colour (0.55, 0.5, 0.44 of full).
eval "$(colours "$work/liquid.png" 0 0 300 300 140 128 112 6)"
echo "mode 3: $near pixels in the bodies' fill colour"
[ "$near" -ge 60 ] || fail "mode 3: the bodies are not drawn filled ($near pixels)"

# Without what mode 3 needs it says so and draws points: the bodies only outlined (a few points
# come near their fill colour, the filled bodies above cover over 700 pixels).
# (Asking Mesa to hide an extension it cannot hide leaves the shader objects out of its list.)
MESA_EXTENSION_OVERRIDE=-GL_ARB_shader_objects run_program 300 --seed 7 --frames 1500 \
    --screenshot "$work/fallback.png"
[ "$exit_status" = 0 ] || fail "mode 3 without shader objects: exit status $exit_status"
grep -q 'Mode 3 (liquid) is not available (the driver offers no GL_ARB_shader_objects); drawing mode 0 (points)' \
    "$work/out.txt" || fail "mode 3 without shader objects: no message saying so"
eval "$(colours "$work/fallback.png" 0 0 300 300 140 128 112 6)"
echo "mode 3 without shader objects: points, $near pixels in the bodies' fill colour"
[ "$near" -lt 150 ] || fail "mode 3 without shader objects: bodies drawn filled ($near pixels)"

# 2. The colour bar in the upper right corner: with density and speed colours, not with the
# gradient (cell 1 in a 300-pixel window: the bar runs from x 194 to 294, rows 17 to 25).
for scheme in 1 2 3; do
    settings 0 "$scheme"
    run_program 120 --seed 7 --frames 5 --screenshot "$work/bar$scheme.png"
    [ "$exit_status" = 0 ] || fail "colours $scheme: exit status $exit_status"
    eval "$(colours "$work/bar$scheme.png" 196 18 96 6)"
    echo "colours $scheme: $background background pixels of $pixels where the bar goes"
    if [ "$scheme" = 1 ]; then
        [ "$background" = "$pixels" ] || fail "the gradient has a colour bar"
    else
        [ "$background" = 0 ] || fail "colours $scheme: no colour bar ($background of $pixels background)"
        # Its values in white below it.
        eval "$(colours "$work/bar$scheme.png" 186 27 112 10 255 255 255 10)"
        [ "$near" -ge 20 ] || fail "colours $scheme: no values under the bar"
    fi
done
cp "$work"/bar*.png "$shots/" 2>/dev/null || true

# 3. The stirring circle follows a held button and goes with its release: white fluid, the
# pointer in the empty upper half, the circle (13 h: 48 pixels) drawn in its own colours.
cat >"$work/app/config.ini" <<'INI'
[graph]
window_size=300
point_colors=0
[phys]
count=2000
geom_count=0
INI
open_window
xdotool mousemove --window "$window" 150 90 || fail "xdotool could not move the pointer"
sleep 0.3
shot free
eval "$(colours "$work/free.png" 90 30 120 120)"
[ "$warm" = 0 ] && [ "$cool" = 0 ] || fail "stirring circle drawn with no button held ($warm, $cool pixels)"
# count NAME KIND: warm or cool pixels around the pointer in the screenshot NAME.
count() { colours "$work/$1.png" 90 30 120 120 | sed -n "s/^$2=//p"; }
xdotool mousedown 1 || fail "xdotool could not press"
wait_for held '[ "$(count held warm)" -ge 150 ]' "no warm stirring circle while the left button is held" 10
xdotool mouseup 1
xdotool mousedown 3 || fail "xdotool could not press"
wait_for pushed '[ "$(count pushed cool)" -ge 150 ]' "no cool stirring circle while the right button is held" 10
xdotool mouseup 3
wait_for released '[ "$(count released cool)" = 0 ]' "the stirring circle stayed after the release" 10
cp "$work/held.png" "$work/pushed.png" "$shots/" 2>/dev/null || true
echo "stirring circle: drawn while held (left and right), gone after the release"
# The v key starts a recording to a new name in the current folder and stops it.
focus_window
press v
wait_for recording 'grep -q "^Recording to tarnwell-" "$work/out.txt"' "v started no recording" 10
sleep 1
press v
wait_for stopped 'grep -q "^Recording saved: tarnwell-" "$work/out.txt"' "v did not stop the recording" 10
made=("$work"/elsewhere/tarnwell-*.gif)
[ ${#made[@]} = 1 ] && [ -f "${made[0]}" ] || fail "the v key's recording: ${made[*]}"
kept=$(identify "${made[0]}" | wc -l)
[ "$kept" -ge 2 ] || fail "the v key's recording holds $kept frames"
echo "v key: $(basename "${made[0]}"), $kept frames"
press q
wait_for_exit 20

# 4. A recording of a whole run: 40 frames, one in three kept (14), at most 100 pixels a side.
cat >"$work/app/config.ini" <<'INI'
[graph]
window_size=300
render_type=3
record_every=3
record_size=100
[phys]
count=2000
INI
echo "old recording" >"$work/old.gif"
run_program 120 --seed 7 --frames 40 --record "$work/old.gif"
[ "$exit_status" = 0 ] || fail "recording: exit status $exit_status"
frames=$(identify -format '%W %H %T\n' "$work/old.gif" | sort | uniq -c)
echo "recording: $frames (count, canvas, delay)"
[ "$frames" = "$(printf '%7d 100 100 4' 14)" ] || fail "recording: want 14 frames of 100 x 100 at 4/100 s, got $frames"
grep -q "Recording saved: .*old.gif (14 frames of 100 x 100)" "$work/out.txt" || fail "recording: not reported"
# Written whole or not at all: no temporary file stays beside it.
[ "$(ls "$work" | grep -c 'old.gif')" = 1 ] || fail "recording: files left beside it: $(ls "$work")"
echo "PASS"
