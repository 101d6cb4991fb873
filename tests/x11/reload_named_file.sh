# l reads the file start-up read, by start-up's rules: a file named with --config that has been
# removed, or has become a folder, is refused with start-up's message and the fluid goes on
# with its settings, instead of restarting on every default.
source "$(dirname "$0")/x11_common.bash" || { echo "FAIL: x11_common.bash missing" >&2; exit 1; }

install_program
my="$work/my.ini"
printf '[graph]\nwindow_size=300\n[phys]\ncount=3000\n' >"$my"
open_window --config "$my" --seed 5
wait_for_title "$window" 'Count: 3000   >>>$' 30 >/dev/null || exit 1
focus_window

# reloads N: waits for the Nth "goes on" line on stderr.
reloads() {
    local i
    for (( i = 0; i < 100; ++i )); do
        [ "$(grep -c 'the running simulation goes on' "$work/err.txt")" -ge "$1" ] && return 0
        sleep 0.1
    done
    fail "l was not refused (reload $1)"
}
rm "$my"
press l
reloads 1
grep -q "error: cannot read the settings file '$my': No such file or directory" "$work/err.txt" ||
    fail "removed file: not start-up's message"
mkdir "$my"
press l
reloads 2
grep -q "error: cannot read the settings file '$my': not a regular file" "$work/err.txt" ||
    fail "folder: not start-up's message"
grep -q '^Restart with seed' "$work/out.txt" && fail "a refused reload restarted the simulation"
# Still the 3000 particles of the file as it was, still running.
sleep 1.5
wait_for_title "$window" 'FPS: [1-9][0-9]*   .*   Count: 3000   >>>$' 10 >/dev/null || exit 1
press q
wait_for_exit 10
[ "$exit_status" = 0 ] || fail "exit status $exit_status"
echo "PASS: a removed file and a folder were refused by l; 3000 particles ran on"
