# Start, console output, window size, live title and a clean close, from a config.ini in the
# program's own folder.
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

geometry=$(xwininfo -id "$window")
grep -q 'Width: 400$' <<<"$geometry" || fail "window width is not 400: $geometry"
grep -q 'Height: 400$' <<<"$geometry" || fail "window height is not 400: $geometry"

title=$(wait_for_title "$window" \
    '^Tarnwell SPH v 1\.09a   <<<   FPS: [1-9][0-9]*   Render: [0-9]+\.[0-9]{3}   Phys: [0-9]+\.[0-9]{3}   Count: 3000   >>>$' 20) || exit 1

close_window "$window"
wait_for_exit 10
[ "$exit_status" = 0 ] || fail "exit status $exit_status after the window was closed"

out="$work/out.txt"
[ "$(sed -n 1p "$out")" = "Tarnwell SPH v 1.09a" ] || fail "banner title line"
[ -n "$(sed -n 2p "$out")" ] || fail "second banner line is empty"
[ -z "$(sed -n 3p "$out")" ] || fail "no empty line after the banner"
[ "$(sed -n 4p "$out")" = "Load config from file: $work/app/config.ini" ] ||
    fail "config path line: '$(sed -n 4p "$out")'"
for line in 'OpenGL Info:' '- Vendor:     .+' '- Renderer:   .+' '- Version:    .+' '- Extensions:'; do
    grep -Eqx -- "$line" "$out" || fail "no line /$line/ in the OpenGL block"
done
# One extension per line: the line after the header holds a name and no blank.
ext=$(grep -A1 -x -- '- Extensions:' "$out" | tail -1)
[[ $ext =~ ^GL_[A-Za-z0-9_]+$ ]] || fail "first extension line is '$ext'"
[ ! -s "$work/err.txt" ] || fail "unexpected error output"
echo "PASS: $title"
