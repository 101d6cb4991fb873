# The scene key through the X server: e moves from the default box to the next scene beside the
# program; a scene file that is refused is named with its line on the console while the running
# scene goes on, and the next press moves past it.
source "$(dirname "$0")/x11_common.bash"

install_program
mkdir -p "$work/app/scenes"
cp "$bin_dir/scenes/dam_break.ini" "$work/app/scenes/"
# Sorted after box and before dam_break: the first press meets it.
printf '[scene]\nabout=broken\nfluid=rect 0 0 2 0.5\n' >"$work/app/scenes/broken.ini"
printf '[graph]\nwindow_size=300\n' >"$work/app/config.ini"
open_window --seed 3 --dump "$work/dump.txt"
focus_window

press e
wait_for refused "grep -q 'broken.ini:3' '$work/err.txt'" \
    "the refused scene was not named with its line" 10
sleep 0.5
shot still_running
differ "$work/refused.png" "$work/still_running.png" || fail "the fluid stopped after the refused scene"
press e
wait_for dam_break "grep -q 'Scene dam_break: 10082 particles' '$work/out.txt'" \
    "e did not move on to dam_break" 15
press q
wait_for_exit 15
[ "$exit_status" = 0 ] || fail "exit status $exit_status"
header=$(head -n 1 "$work/dump.txt")
case "$header" in
*"scene=dam_break count=10082 bodies=0") ;;
*) fail "the dump is not of dam_break: $header" ;;
esac
echo "ok: $header"
