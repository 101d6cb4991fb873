# Settings that blow up in the window: the message names the step (tarnwell-sim's step for the
# same seed) and the setting to blame; the simulation stands still at that step while the window
# keeps drawing (the title is rewritten, h shows the overlay, the yellow status line says so)
# and q still quits, with tarnwell-sim's status 3 and, like it, no dump over the older one.
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

echo old >"$work/state.txt"
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

# Paused: a second later the picture is the same, pixel for pixel.
sleep 1
shot later
differ "$work/blown.png" "$work/later.png" && fail "the picture still changes after the blow-up"

# Keys still answer: h adds the overlay, q quits with status 3 and leaves the older dump.
focus_window
press h
wait_for overlay 'differ "$work/blown.png" "$work/overlay.png"' \
    "h did not show the overlay after the blow-up" 10
press q
wait_for_exit 10
[ "$exit_status" = 3 ] || fail "q after the blow-up: exit status $exit_status, want 3"
[ "$(cat "$work/state.txt")" = old ] || fail "the blow-up replaced the older dump"
grep -q 'the simulation blew up; no dump written' "$work/err.txt" || fail "no word on the dump"
echo "paused at step $step: the title kept changing, the picture stood still, yellow status line ($yellow pixels), h and q answered, status 3"

# A --frames run that blows up ends with status 3 too.
run_program 60 --seed 3 --frames $(( sim_step + 5 ))
[ "$exit_status" = 3 ] || fail "--frames run that blew up: exit status $exit_status, want 3"
echo "PASS"
