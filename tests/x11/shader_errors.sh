# Mode 2 with a vertex shader that does not compile, then with none at all: the driver's log is
# printed (the compile log, then the link log) and the program keeps drawing the particles,
# now as plain points.
source "$(dirname "$0")/x11_common.bash" || { echo "FAIL: x11_common.bash missing" >&2; exit 1; }

check() {
    local name=$1
    start_program
    local window
    window=$(wait_for_window 15)
    wait_for_title "$window" 'FPS: [1-9]' 30 >/dev/null
    sleep 1
    kill -0 "$app_pid" 2>/dev/null || fail "$name: program ended"
    import -window "$window" "$work/$name.ppm" || fail "$name: screenshot"
    close_window "$window"
    wait_for_exit 15
    local errors lit
    # Log lines, not extension names such as GL_KHR_no_error.
    errors=$(grep -v '^GL_' "$work/out.txt" | grep -ci 'error')
    [[ $errors -ge 2 ]] || fail "$name: expected the compile and the link log"
    lit=$(python3 "$src_dir/tests/x11/ppm_stats.py" "$work/$name.ppm" | sed -n 's/^lit=//p')
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

echo "PASS"
