# The mouse's tools through the X server: Shift+left dragged across the box lays a grey shelf
# that holds the fluid when gravity turns it upwards; Shift+right on the shelf opens a gap the
# fluid rises through; `b` drops a body, which the dump at quit counts.
source "$(dirname "$0")/x11_common.bash"

install_program
# White unsmoothed points on black, as in mouse_input.sh: fast frames, easy to measure.
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
open_window --seed 5 --dump "$work/dump.txt"
focus_window
shots="${TARNWELL_SHOT_DIR:-$work}"

# Mean and brightest grey level (0..1) of a rectangle w x h at (x, y).
grey_of() {
    convert "$1" -crop "$4x$5+$2+$3" +repage -colorspace Gray -format '%[fx:mean] %[fx:maxima]' info:
}

# 1. The shelf: from the window's left edge to its right one at y = 150, the box's upper half,
# 10 px (two smoothing radii) a move, once the falling block has left that half: the band is
# drawn over nothing but black and no fluid starts above it.
y=150
wait_lit fallen 'lit < 0.002' 20 10 360 $(( y + 30 )) 30 ||
    fail "the fluid did not fall below the shelf's place (lit $lit)"
xdotool mousemove --window "$window" 0 "$y" keydown shift mousedown 1 || fail "xdotool could not press"
for (( x = 10; x <= 400; x += 10 )); do
    xdotool mousemove --window "$window" "$x" "$y" || fail "xdotool could not move"
    sleep 0.02
done
xdotool mouseup 1 keyup shift || fail "xdotool could not release"
sleep 0.5
shot shelf
read -r mean brightest < <(grey_of "$work/shelf.png" 10 $(( y - 1 )) 380 3)
echo "shelf along y = $y: grey mean $mean, brightest $brightest"
awk -v m="$mean" -v b="$brightest" 'BEGIN { exit !(m > 0.2 && m < 0.5 && b < 0.75) }' ||
    fail "no grey band where Shift+left was dragged (mean $mean, brightest $brightest)"

# 2. Gravity upwards: the fluid rises to the shelf and gathers under it; above it the box stays
# black. Without the shelf it would gather under the ceiling (mouse_input.sh).
press g
wait_lit held 'lit > 0.5' 20 $(( y + 10 )) 360 20 30 ||
    fail "the fluid did not gather under the shelf (lit $lit)"
sleep 1
shot held
above=$(region_lit "$work/held.png" 20 10 360 $(( y - 20 )))
# The fluid presses into the shelf's lower half (its points reach a pixel or two past the edge
# the particles are held at); the upper half stays grey.
read -r mean brightest < <(grey_of "$work/held.png" 10 $(( y - 3 )) 380 3)
cp "$work/held.png" "$shots/" 2>/dev/null || true
echo "gravity up: under the shelf lit $lit, above it $above; shelf grey $mean, brightest $brightest"
awk -v v="$above" 'BEGIN { exit !(v < 0.01) }' || fail "fluid got past the shelf (lit above $above)"
awk -v m="$mean" -v b="$brightest" 'BEGIN { exit !(m > 0.2 && m < 0.5 && b < 0.75) }' ||
    fail "fluid over the shelf (mean $mean, brightest $brightest)"

# 3. Shift+right click in the middle of the shelf erases the pieces there: the fluid rises
# through the gap into the empty half.
xdotool mousemove --window "$window" 200 "$y" keydown shift click 3 keyup shift ||
    fail "xdotool could not click"
wait_lit gap 'lit > 0.05' 20 10 360 $(( y - 20 )) 30 ||
    fail "no fluid above the shelf after erasing its middle (lit $lit)"
cp "$work/gap.png" "$shots/" 2>/dev/null || true
echo "after Shift+right at (200, $y): lit above the shelf $lit"

# 4. b drops a body at the pointer; the dump at quit counts it.
xdotool mousemove --window "$window" 300 300 || fail "xdotool could not move"
press b
sleep 0.5
press q
wait_for_exit 15
[ "$exit_status" = 0 ] || fail "exit status $exit_status"
header=$(head -1 "$work/dump.txt")
echo "dump: $header"
[[ $header == *" bodies=1"* ]] || fail "b did not add a body: $header"
echo "PASS"
