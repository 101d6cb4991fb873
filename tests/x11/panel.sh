# The settings panel: p shows it and hides it (hidden, nothing of it is drawn); a value typed
# into one of its sliders reaches the running simulation; buttons pressed on it never stir the
# fluid, so a run played with the panel ends in tarnwell-sim's state.
source "$(dirname "$0")/x11_common.bash" || { echo "FAIL: x11_common.bash missing" >&2; exit 1; }

install_program
cat >"$work/app/config.ini" <<'INI'
[graph]
window_size=600
graph_smooth=0
[phys]
count=2000
geom_count=0
INI
shots="${TARNWELL_SHOT_DIR:-$work}"

# This imgui reads buttons and keys once a frame: each is held for a few frames.
click() { # x y [modifier]
    xdotool mousemove "$1" "$2" && sleep 0.2 || fail "xdotool could not move the pointer"
    [ -n "${3:-}" ] && xdotool keydown "$3"
    xdotool mousedown 1 && sleep 0.2 && xdotool mouseup 1 || fail "xdotool could not click"
    [ -n "${3:-}" ] && xdotool keyup "$3"
    sleep 0.3
}
# Red, green and blue of one pixel of a screenshot.
pixel() { convert "$1" -crop "1x1+$2+$3" -format '%[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]' info:; }
# The panel's Save button, blue on the panel's dark grey; black sky without the panel.
save_button_shown() { read -r r g b < <(pixel "$1" 30 44); [ "$b" -gt 60 ] && [ "$b" -gt $(( r + 30 )) ]; }

# 1. p shows the panel and p hides it again, leaving nothing of it on the picture.
open_window --seed 3
focus_window
save_button_shown "$work/start.png" && fail "the panel shows before p"
press p
wait_for shown 'save_button_shown "$work/shown.png"' "p: no panel" 10
cp "$work/shown.png" "$shots/panel_shown.png" 2>/dev/null || true
press p
wait_for hidden '! save_button_shown "$work/hidden.png"' "p again: the panel stayed" 10
echo "p: the panel shows and goes"

# 2. Ctrl+click on gravity's slider, 9.8 typed: the fluid falls upwards. The [graph] section
#    is folded first so that gravity's row is in view (rows are 23 pixels apart).
press p
wait_for shown2 'save_button_shown "$work/shown2.png"' "p: no panel the second time" 10
click 100 67
click 120 297 ctrl
xdotool type --delay 60 "9.8" || fail "xdotool could not type"
xdotool keydown Return && sleep 0.2 && xdotool keyup Return
sleep 0.3
shot typed
cp "$work/typed.png" "$shots/panel_gravity.png" 2>/dev/null || true
press p
wait_for risen 'read -r mean _ _ < <(rows "$work/risen.png"); awk -v m="$mean" "BEGIN { exit !(m < 0.3) }"' \
    "gravity 9.8 typed into the panel: the fluid did not rise" 15
grep -q . "$work/err.txt" && grep -q 'gravity' "$work/err.txt" && fail "gravity refused: $(cat "$work/err.txt")"
echo "gravity typed into the panel: the fluid rose (mean row $(rows "$work/risen.png" | cut -d' ' -f1))"
press q
wait_for_exit 10
[ "$exit_status" = 0 ] || fail "q: exit status $exit_status"

# 3. Buttons pressed on the panel over the fluid move the panel, never the fluid: the state
#    after the frames is tarnwell-sim's after as many steps.
start_program --config "$work/app/config.ini" --seed 11 --frames 1500 --dump "$work/window.txt"
window=$(wait_for_window 15) || exit 1
xdotool windowmove "$window" 0 0
focus_window
press p
for (( i = 0; i < 50; ++i )); do shot panel3; save_button_shown "$work/panel3.png" && break; sleep 0.1; done
for button in 1 3; do
    xdotool mousemove 300 470 mousedown "$button" && sleep 0.2 &&
        xdotool mousemove 320 430 && sleep 0.2 && xdotool mouseup "$button" ||
        fail "xdotool could not drag"
done
kill -0 "$app_pid" 2>/dev/null || fail "the run ended before the panel was used: too few frames"
wait_for_exit 120
[ "$exit_status" = 0 ] || fail "exit status $exit_status with --dump"
"$bin_dir/tarnwell-sim" --config "$work/app/config.ini" --seed 11 --steps 1500 \
    --dump "$work/sim.txt" >/dev/null || fail "tarnwell-sim failed"
cmp -s "$work/window.txt" "$work/sim.txt" ||
    fail "presses on the panel changed the fluid: the state differs from tarnwell-sim's"
echo "presses on the panel: state after 1500 frames = tarnwell-sim's after 1500 steps"
echo "PASS"
