# Real pointer input through the X server: the left button pulls the fluid towards the pointer,
# the right button pushes it away, a middle click reverses gravity, and after the window is
# stretched to 1000 x 500 a press still acts where the pointer is in the stretched picture.
# The simulation advances one step per drawn frame, so every check waits on the picture with a
# timeout instead of a fixed time.
source "$(dirname "$0")/x11_common.bash"

install_program
# White unsmoothed points on black: cheap to draw on a software rasteriser (fast frames) and
# easy to measure. 6,000 particles settle into a layer about a quarter of the box deep.
cat >"$work/app/config.ini" <<'INI'
[graph]
window_size=400
render_type=0
point_colors=0
graph_smooth=0
graph_blend=0
[phys]
count=6000
geom_count=0
INI
open_window
shots="${TARNWELL_SHOT_DIR:-$work}"

frame_rate() { xdotool getwindowname "$window" | sed -n 's/.*FPS: \([0-9]*\).*/\1/p'; }

# 1. Settling: the block falls, runs out and comes to rest: the fluid's band lies in the lower
# half and its mean row stops moving (two pictures a second apart within 1% of the height).
prev=""
for (( i = 0; i < 60; ++i )); do
    sleep 1
    shot settled
    read -r mean top bottom < <(rows "$work/settled.png")
    if [ -n "$prev" ] && awk -v a="$prev" -v b="$mean" -v t="$top" -v bot="$bottom" \
        'BEGIN { d = a - b; exit !(d < 0.01 && d > -0.01 && t > 0.5 && bot > 0.95) }'; then
        break
    fi
    prev=$mean
done
cp "$work/settled.png" "$shots/" 2>/dev/null || true
echo "settled after ${i} s at $(frame_rate) frames a second: mean row $mean, band $top..$bottom"
awk -v t="$top" -v b="$bottom" 'BEGIN { exit !(b > 0.95 && t > 0.5 && t < 0.9) }' ||
    fail "the fluid did not settle into a layer on the floor (band $top..$bottom)"
surface=$(awk -v t="$top" 'BEGIN { printf "%d", t * 400 }')

# 2. Left button held 40 px above the surface, then dragged 120 px to the right and held: the
# fluid rises into the empty air under the pointer. (The stirring radius, 13 h = 0.13, is 64 px.)
y=$(( surface - 40 ))
before=$(region_lit "$work/settled.png" 120 $(( y - 15 )) 30 30)
awk -v v="$before" 'BEGIN { exit !(v < 0.1) }' || fail "left button: fluid above the surface already ($before)"
xdotool mousemove --window "$window" 135 "$y" mousedown 1 || fail "xdotool could not press"
wait_lit pull 'lit > 0.3' 120 $(( y - 15 )) 30 30 15 ||
    fail "left button: no fluid near the pointer (lit $before before, $lit after)"
echo "left button at (135, $y): lit near the pointer $before -> $lit"
for x in 165 195 225 255; do xdotool mousemove --window "$window" "$x" "$y"; sleep 0.1; done
wait_lit drag 'lit > 0.3' 240 $(( y - 15 )) 30 30 15 ||
    fail "left button dragged: the fluid did not follow to (255, $y) (lit $lit)"
cp "$work/drag.png" "$shots/" 2>/dev/null || true
echo "dragged to (255, $y): lit near the pointer $lit"
xdotool mouseup 1 || fail "xdotool could not release"

# Let the raised fluid fall back.
for (( i = 0; i < 30; ++i )); do
    sleep 0.5
    shot calm
    above=$(region_lit "$work/calm.png" 20 0 360 $(( surface - 20 )))
    awk -v v="$above" 'BEGIN { exit !(v < 0.005) }' && break
done

# 3. Right button held in the middle of the layer: a hole opens around the pointer.
y=$(( (surface + 395) / 2 ))
before=$(region_lit "$work/calm.png" 185 $(( y - 10 )) 30 20)
awk -v v="$before" 'BEGIN { exit !(v > 0.5) }' ||
    fail "right button: no fluid at (200, $y) to push away (lit $before)"
xdotool mousemove --window "$window" 200 "$y" mousedown 3 || fail "xdotool could not press"
wait_lit hole 'lit < 0.05' 185 $(( y - 10 )) 30 20 15 ||
    fail "right button: no hole at the pointer (lit $before before, $lit after)"
cp "$work/hole.png" "$shots/" 2>/dev/null || true
echo "right button at (200, $y): lit near the pointer $before -> $lit"
xdotool mouseup 3 || fail "xdotool could not release"

# 4. Middle click: gravity reversed; the fluid gathers under the ceiling, the floor empties and
# the mean row of lit pixels moves from the lower quarter to the upper one.
sleep 1
shot before_click
read -r mean_before _ _ < <(rows "$work/before_click.png")
xdotool mousemove --window "$window" 200 200 mousedown 2 sleep 0.3 mouseup 2 ||
    fail "xdotool could not click"
for (( i = 0; i < 40; ++i )); do
    sleep 1
    shot reversed
    ceiling=$(region_lit "$work/reversed.png" 20 10 360 30)
    floor=$(region_lit "$work/reversed.png" 20 360 360 30)
    read -r mean_after top bottom < <(rows "$work/reversed.png")
    awk -v c="$ceiling" -v f="$floor" -v m="$mean_after" \
        'BEGIN { exit !(c > 0.3 && f < 0.01 && m < 0.25) }' && break
done
echo "middle click: after ${i} s mean row $mean_before -> $mean_after," \
     "lit under the ceiling $ceiling, on the floor $floor"
awk -v c="$ceiling" -v f="$floor" -v m="$mean_after" \
    'BEGIN { exit !(c > 0.3 && f < 0.01 && m < 0.25) }' ||
    fail "gravity did not reverse (mean row $mean_before -> $mean_after, ceiling $ceiling, floor $floor)"
# Let it come to rest under the ceiling (the mean row still within 1% a second later).
prev=$mean_after
for (( i = 0; i < 30; ++i )); do
    sleep 1
    shot reversed
    read -r mean_after top bottom < <(rows "$work/reversed.png")
    awk -v a="$prev" -v b="$mean_after" 'BEGIN { d = a - b; exit !(d < 0.01 && d > -0.01) }' &&
        break
    prev=$mean_after
done
cp "$work/reversed.png" "$shots/" 2>/dev/null || true
echo "at rest under the ceiling after ${i} s more: mean row $mean_after, band $top..$bottom"

# 5. Stretched to 1000 x 500 the picture still shows the whole box, so the pointer maps x by
# the width and y by the height. Press the right button at three fifths of the width in the
# middle of the band under the ceiling: the hole opens there (0.13 wide = 160 px across, 80 px
# up and down), and the fluid 200 px to its left stays. Mapping x by the start size (400 px) or
# by the height would put the pointer beyond the right wall: no hole at all. The fluid to the
# left is squeezed by the pushed fluid, and the more frames a fast machine draws while the hole
# opens the more it thins (0.64 -> 0.50 at 850 frames a second), so "stays" means no hole
# there: at least half of what was lit before, and well above the hole's 0.05.
xdotool windowsize "$window" 1000 500 || fail "xdotool could not resize"
for (( i = 0; i < 50; ++i )); do
    shot wide
    [ "$(identify -format '%wx%h' "$work/wide.png")" = 1000x500 ] && break
    sleep 0.2
done
[ "$(identify -format '%wx%h' "$work/wide.png")" = 1000x500 ] || fail "window not resized"
# On a busy machine the fluid may still slosh when the window changes shape: wait (up to 10 s)
# for the band to lie under the ceiling again.
for (( i = 0; i < 50; ++i )); do
    sleep 0.2
    shot wide
    read -r _ top bottom < <(rows "$work/wide.png")
    awk -v t="$top" -v b="$bottom" 'BEGIN { exit !(t < 0.05 && (b - t) * 500 > 40) }' && break
done
y=$(awk -v t="$top" -v b="$bottom" 'BEGIN { printf "%d", (t + b) / 2 * 500 }')
awk -v t="$top" -v b="$bottom" 'BEGIN { exit !(t < 0.05 && (b - t) * 500 > 40) }' ||
    fail "stretched: no band of fluid under the ceiling (band $top..$bottom)"
left_before=$(region_lit "$work/wide.png" 385 $(( y - 8 )) 30 16)
before=$(region_lit "$work/wide.png" 585 $(( y - 8 )) 30 16)
awk -v v="$left_before" 'BEGIN { exit !(v > 0.4) }' ||
    fail "stretched: no fluid at (400, $y) to watch (lit $left_before)"
xdotool mousemove --window "$window" 600 "$y" mousedown 3 || fail "xdotool could not press"
wait_lit wide_hole 'lit < 0.05' 585 $(( y - 8 )) 30 16 15 ||
    fail "stretched: no hole at the pointer (600, $y) (lit $before before, $lit after)"
left=$(region_lit "$work/wide_hole.png" 385 $(( y - 8 )) 30 16)
cp "$work/wide_hole.png" "$shots/" 2>/dev/null || true
echo "stretched, right button at (600, $y): lit there $before -> $lit, at (400, $y)" \
     "$left_before -> $left"
awk -v v="$left" -v b="$left_before" 'BEGIN { exit !(v > 0.25 && v >= b / 2) }' ||
    fail "stretched: the fluid 200 px left of the pointer was pushed away too (lit $left)"
xdotool mouseup 3 || fail "xdotool could not release"

close_window "$window"
wait_for_exit 10
[ "$exit_status" = 0 ] || fail "exit status $exit_status after closing"
echo "PASS"
