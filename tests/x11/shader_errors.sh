# Mode 2 with a vertex shader that does not compile, then with none at all: the driver's log is
# printed (the compile log, then the link log) and the program keeps drawing the particles,
# now as plain points. Switched to mode 2 while running, the switch says so and points stay.
source "$(dirname "$0")/x11_common.bash" || { echo "FAIL: x11_common.bash missing" >&2; exit 1; }

check() {
    local name=$1
    run_program 60 --seed 5 --frames 30 --screenshot "$work/$name.png"
    [ "$exit_status" = 0 ] || fail "$name: exit status $exit_status"
    local errors lit
    # Log lines, not extension names such as GL_KHR_no_error.
    errors=$(grep -v '^GL_' "$work/out.txt" | grep -ci 'error')
    [[ $errors -ge 2 ]] || fail "$name: expected the compile and the link log"
    lit=$(stat_of "$(picture_stats "$work/$name.png")" lit)
    [[ $lit -ge 1000 ]] || fail "$name: particles not drawn ($lit lit pixels)"
    echo "$name: $errors log lines naming errors, $lit lit pixels"
}

install_program
printf '[graph]\nrender_type=2\n[phys]\ncount=3000\n' >"$work/app/config.ini"
# Drop the semicolon after the position: a syntax error on that line.
sed -i 's/ftransform();/ftransform()/' "$work/app/vs.glsl"
grep -q 'ftransform()$' "$work/app/vs.glsl" || fail "could not spoil vs.glsl"
check broken

rm "$work/app/vs.glsl"
check missing

# Switched to while running: the switch says so and the points stay.
printf '[graph]\nrender_type=0\n[phys]\ncount=3000\n' >"$work/app/config.ini"
open_window --seed 5
focus_window
press 2
for (( i = 0; i < 50; ++i )); do grep -q 'not available' "$work/out.txt" && break; sleep 0.1; done
grep -q 'Mode 2 (sprites) is not available (the shaders could not be built); drawing mode 0' \
    "$work/out.txt" || fail "live switch: no word of the failed switch on stdout"
import -window "$window" "$work/live.png" || fail "live switch: no screenshot"
blob=$(stat_of "$(picture_stats "$work/live.png")" median_blob)
[[ $blob -le 20 ]] || fail "live switch: not plain points (median group $blob pixels)"
press q
wait_for_exit 10
[ "$exit_status" = 0 ] || fail "live switch: exit status $exit_status after q"
echo "live switch to 2 without shaders: said so, points stay (median group $blob pixels)"

echo "PASS"
