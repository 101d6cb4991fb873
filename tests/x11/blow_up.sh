# Settings that blow up in the window: the message names the step (tarnwell-sim's step for the
# same seed) and the setting to blame; the simulation stands still at that step while the window
# keeps drawing (the title is rewritten, h shows the overlay, the yellow status line says so)
# and q still quits with status 0.
source "$(dirname "$0")/x11_common.bash" || { echo "FAIL: x11_common.bash missing" >&2; exit 1; }

install_program
# White points and no bodies: the status line is the only colour in the picture.
cat >"$work/app/config.ini" <<'INI'
[graph]
window_size=400
point_colors=0
graph_smooth=0
[phys]
count=2000
geom_count=0
timestep=0.01
INI
"$bin_dir/tarnwell-sim" --config "$work/app/config.ini" --seed 3 --steps 1000 >/dev/null \
    2>"$work/sim_err.txt"
[ $? = 3 ] || fail "tarnwell-sim did not blow up with these settings"
sim_step=$(sed -n 's/.*blew up at step \([0-9]*\):.*/\1/p' "$work/sim_err.txt")

open_window --seed 3 --dump "$work/state.txt"
for (( i = 0; i < 200; ++i )); do
    grep -q 'blew up at step' "$work/err.txt" && break
    sleep 0.1
done
step=$(sed -n 's/.*blew up at step \([0-9]*\):.*/\1/p' "$work/err.txt")
[ -n "$step" ] || fail "no blow-up message within 20 s"
title=$(xdotool getwindowname "$window")
[ "$step" = "$sim_step" ] || fail "blew up at step $step, tarnwell-sim at step $sim_step"
grep -q '^warning: \[phys\] timestep = 0.01' "$work/err.txt" || fail "no warning at start"
grep -q 'Most likely cause: \[phys\] timestep = 0.01.*The simulation is paused' "$work/err.txt" ||
    fail "the message does not blame timestep or does not say the simulation is paused"
echo "blew up at step $step, as tarnwell-sim does; timestep blamed"

# Still drawing: the title is rewritten with the frames of a later second.
for (( i = 0; i < 100; ++i )); do
    [ "$(xdotool getwindowname "$window")" != "$title" ] && break
    sleep 0.1
done
[ "$(xdotool getwindowname "$window")" != "$title" ] || fail "the title stopped changing: '$title'"

# The status line in yellow over the top of the picture.
shot blown
cp "$work/blown.png" "${TARNWELL_SHOT_DIR:-$work}/blow_up.png" 2>/dev/null || true
stats=$(picture_stats "$work/blown.png")
yellow=$(stat_of "$stats" coloured)
[ "$yellow" -ge 100 ] || fail "no yellow status line ($yellow coloured pixels)"

# Keys still answer: h adds the overlay, q quits.
focus_window
press h
wait_for overlay 'differ "$work/blown.png" "$work/overlay.png"' \
    "h did not show the overlay after the blow-up" 10
press q
wait_for_exit 10
[ "$exit_status" = 0 ] || fail "q after the blow-up: exit status $exit_status"

# Paused: many frames were drawn since, yet the state is still that of the blow-up step.
head -1 "$work/state.txt" | grep -q "^# tarnwell-sim state: step=$step count=2000 " ||
    fail "the simulation went on after the blow-up: $(head -1 "$work/state.txt")"
echo "paused at step $step: the title kept changing, yellow status line ($yellow pixels), h and q answered"
echo "PASS"
