# The user's settings file: read in place of the one beside the program once it exists, written
# by w through the safe writer with what was changed (keys, scene), keeping the file's own lines,
# read again by l and by the next start; a file that cannot be written is named with the reason.
source "$(dirname "$0")/x11_common.bash" || { echo "FAIL: x11_common.bash missing" >&2; exit 1; }

install_program
cp -r "$bin_dir/scenes" "$work/app/"
export XDG_CONFIG_HOME="$work/xdg"
user="$XDG_CONFIG_HOME/tarnwell/config.ini"
cat >"$work/app/config.ini" <<'INI'
[graph]
window_size=400
graph_smooth=0
[phys]
count=1000
INI

wait_line() { # $1: file, $2: pattern, $3: what failed
    for (( i = 0; i < 50; ++i )); do grep -q -- "$2" "$1" && return 0; sleep 0.1; done
    fail "$3"
}

# 1. No user file: the one beside the program is read; w creates the user's with what differs from
#    the defaults, and l reads that from then on.
open_window --seed 5
focus_window
grep -qxF "Load config from file: $work/app/config.ini" "$work/out.txt" ||
    fail "without a user file: not the file beside the program"
press bracketright t w
wait_line "$work/out.txt" "^Settings saved to $user\$" "w: no 'Settings saved' line"
for want in 'window_size=400' 'graph_smooth=0' 'realtime=1' 'count=1000' 'mouse_force=93.75'; do
    grep -qx "$want" "$user" || fail "w: '$want' missing from the user's file: $(cat "$user")"
done
[ "$(grep -c '=' "$user")" = 5 ] || fail "w: keys at their defaults were written: $(cat "$user")"
press l
wait_line "$work/out.txt" "^Load config from file: $user\$" "l after w: not the user's file"
echo "w: $(tr '\n' ' ' <"$user")"
press q
wait_for_exit 10
[ "$exit_status" = 0 ] || fail "q: exit status $exit_status"

# 2. An existing user file keeps its comment, its unknown line and its order; the next start
#    reads it, with the scene e moved to.
cat >"$user" <<'INI'
; tuned for the laptop
[phys]
my_own_note=keep me
count=1200
[graph]
window_size=400
graph_smooth=0
INI
open_window --seed 6
focus_window
grep -qxF "Load config from file: $user" "$work/out.txt" || fail "the user's file was not read"
wait_for_title "$window" 'Count: 1200   >>>$' 10 >/dev/null
press e
wait_line "$work/out.txt" '^Scene dam_break: ' "e: no move to the next scene"
press w
wait_line "$work/out.txt" "^Settings saved to $user\$" "w: no 'Settings saved' line"
press q
wait_for_exit 10
expected='; tuned for the laptop
[phys]
my_own_note=keep me
count=1200
[graph]
window_size=400
graph_smooth=0
scene=dam_break'
[ "$(cat "$user")" = "$expected" ] || fail "w changed the file's own lines: $(cat "$user")"
open_window --seed 7
focus_window
grep -q '^Scene dam_break: ' "$work/out.txt" || fail "the next start did not read the saved scene"
press q
wait_for_exit 10
echo "w kept the comment, the unknown line and the order; the next start runs dam_break"

# 3. A user file that cannot be written: the reason is named, the program goes on.
export XDG_CONFIG_HOME="$work/blocked"
printf 'not a folder\n' >"$XDG_CONFIG_HOME"
open_window --seed 8
focus_window
press w
wait_line "$work/err.txt" "blocked/tarnwell/config.ini" "w into a blocked folder: no message"
grep -q 'Not a directory' "$work/err.txt" || fail "w: the reason is missing: $(cat "$work/err.txt")"
[ "$(cat "$XDG_CONFIG_HOME")" = 'not a folder' ] || fail "w changed the file in the way"
shot after_refusal
wait_for going_on 'differ "$work/after_refusal.png" "$work/going_on.png"' "the fluid stopped" 10
press q
wait_for_exit 10
[ "$exit_status" = 0 ] || fail "q after a refused save: exit status $exit_status"
echo "refused: $(grep -m1 'blocked' "$work/err.txt")"
echo "PASS"
