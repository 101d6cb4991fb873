# A click of the middle button reverses gravity: the fluid leaves the floor for the ceiling.
source "$(dirname "$0")/x11_common.bash"

install_program
cat >"$work/app/config.ini" <<'INI'
[graph]
window_size=400
render_type=0
[phys]
count=3000
geom_count=0
INI
start_program
window=$(wait_for_window 15) || exit 1
first_frame "$window" "$work/start.png" 10
ceiling=$(region_lit "$work/start.png" 0 0 400 60)
awk -v v="$ceiling" 'BEGIN { exit !(v < 0.01) }' || fail "fluid at the ceiling before the click ($ceiling)"

xdotool mousemove --window "$window" 200 200 mousedown 2 sleep 0.3 mouseup 2 ||
    fail "xdotool could not click"

# Within the run-out time the fluid gathers under the ceiling and the floor empties.
for (( i = 0; i < 40; ++i )); do
    sleep 1
    kill -0 "$app_pid" 2>/dev/null || fail "program ended while running"
    import -window "$window" "$work/later.png" || fail "no screenshot"
    ceiling=$(region_lit "$work/later.png" 20 10 360 30)
    floor=$(region_lit "$work/later.png" 20 360 360 30)
    awk -v c="$ceiling" -v f="$floor" 'BEGIN { exit !(c > 0.3 && f < 0.01) }' && break
done
cp "$work/later.png" "${TARNWELL_SHOT_DIR:-$work}/reversed.png" 2>/dev/null || true
echo "after ${i} s: lit under the ceiling $ceiling, on the floor $floor"
awk -v c="$ceiling" -v f="$floor" 'BEGIN { exit !(c > 0.3 && f < 0.01) }' ||
    fail "gravity did not reverse (ceiling $ceiling, floor $floor)"

close_window "$window"
wait_for_exit 10
[ "$exit_status" = 0 ] || fail "exit status $exit_status after closing"
echo "PASS"
