# A button released while the window is unmapped never reaches the program. Hiding the window
# and the first pointer motion without a button must release it as a real release would: the
# hole the right button pushed into the fluid closes once the window is back. While unmapped,
# the program must not spin: no frames, next to no processor time.
source "$(dirname "$0")/x11_common.bash"

install_program
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
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$app_pid/stat"; }

# 6,000 particles settle into the bottom fifth of the window: pixel row 370 is deep in the layer.
wait_lit settled 'lit > 0.5' 185 360 30 20 60 || fail "no settled layer at the floor (lit $lit)"

xdotool mousemove --window "$window" 200 370 mousedown 3 || fail "xdotool could not press"
wait_lit hole 'lit < 0.05' 185 360 30 20 15 || fail "right button: no hole at the pointer (lit $lit)"
echo "right button held at (200, 370): hole open (lit $lit)"

xdotool windowunmap --sync "$window" || fail "xdotool could not unmap"
xdotool mouseup 3 || fail "xdotool could not release"
sleep 1
before=$(cpu_ticks)
sleep 3
after=$(cpu_ticks)
echo "unmapped for 3 s: $(( after - before )) ticks of processor time"
# A spinning main loop takes about 300 ticks (100 a second); a sleeping one next to nothing.
[ $(( after - before )) -lt 30 ] || fail "the unmapped window spins: $(( after - before )) ticks in 3 s"

xdotool windowmap --sync "$window" || fail "xdotool could not map"
xdotool windowmove "$window" 0 0
# The pointer moves without a button: the stale right button must not stir any more.
xdotool mousemove --window "$window" 200 300 || fail "xdotool could not move the pointer"
wait_lit closed 'lit > 0.5' 185 360 30 20 20 ||
    fail "the hole stayed open after the release was lost (lit $lit)"
echo "mapped again: the hole closed (lit $lit)"

close_window "$window"
wait_for_exit 10
[ "$exit_status" = 0 ] || fail "exit status $exit_status after closing"
echo "PASS"
