# Settings the program cannot run with are refused on stderr, with status 1, before any window
# opens; without any config.ini the defaults apply.
source "$(dirname "$0")/x11_common.bash"

install_program
cat >"$work/app/config.ini" <<'INI'
[phys]
count=99999999999
INI
start_program
wait_for_exit 10
[ "$exit_status" = 1 ] || fail "exit status $exit_status for count=99999999999"
grep -q 'count' "$work/err.txt" || fail "the refusal does not name the key"
grep -q 'count = 2147483647 (the file says "99999999999")' "$work/err.txt" ||
    fail "the refusal does not show the value beside the text as written"
grep -qF "$work/app/config.ini" "$work/err.txt" || fail "no line saying which file to correct"
grep -q 'OpenGL Info' "$work/out.txt" && fail "a window was set up for refused settings"
grep -q '99999999999' "$work/out.txt" && fail "the refusal went to standard output"

# No file at all: 10000 particles in a 740 x 740 window.
rm -f "$work/app/config.ini"
start_program
window=$(wait_for_window 15) || exit 1
xwininfo -id "$window" | grep -q 'Width: 740$' || fail "default window is not 740 wide"
wait_for_title "$window" 'FPS: [1-9][0-9]*   .*   Count: 10000   >>>$' 30 >/dev/null || exit 1
close_window "$window"
wait_for_exit 10
[ "$exit_status" = 0 ] || fail "exit status $exit_status after closing the default window"
echo "PASS"
