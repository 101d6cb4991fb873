# Pictures and states from the command line alone: --seed and --frames make a run repeatable,
# --screenshot keeps its last frame, --dump its state, which must be the state tarnwell-sim
# reaches with the same seed and number of steps; outputs that cannot be written are named before
# the window opens, and a dump cut short leaves the older file whole.
source "$(dirname "$0")/x11_common.bash" || { echo "FAIL: x11_common.bash missing" >&2; exit 1; }

install_program
cat >"$work/app/config.ini" <<'INI'
[graph]
window_size=400
point_colors=1
[phys]
count=3000
INI
shots="$work/elsewhere"
mkdir -p "$shots"

# 1. Same seed, same picture; another seed, another picture.
for run in a b c; do
    seed=7; [ "$run" = c ] && seed=8
    run_program 60 --seed "$seed" --frames 200 --screenshot "$run.png"
    [ "$exit_status" = 0 ] || fail "run $run: exit status $exit_status"
    [ -s "$shots/$run.png" ] || fail "run $run: no screenshot written"
    grep -qx "Screenshot saved: $run.png" "$work/out.txt" || fail "run $run: the path is not printed"
    [ ! -s "$work/err.txt" ] || fail "run $run: error output"
done
cmp -s "$shots/a.png" "$shots/b.png" || fail "two runs with seed 7 drew different pictures"
cmp -s "$shots/a.png" "$shots/c.png" && fail "seeds 7 and 8 drew the same picture"
[ "$(identify -format '%wx%h' "$shots/a.png")" = 400x400 ] ||
    fail "the screenshot is not the window's size: $(identify -format '%wx%h' "$shots/a.png")"
cp "$shots/a.png" "${TARNWELL_SHOT_DIR:-$work}/" 2>/dev/null || true
# The fluid, right way up: the lower half is full, the top quarter empty.
low=$(region_lit "$shots/a.png" 0 250 400 150)
top=$(region_lit "$shots/a.png" 0 0 400 100)
echo "seed 7 after 200 frames: lit $low in the lower part, $top in the top quarter"
awk -v l="$low" -v t="$top" 'BEGIN { exit !(l > 0.1 && t < 0.01) }' ||
    fail "the screenshot does not show the fluid at the bottom (lit $low low, $top top)"

# 2. The window's state after N frames is tarnwell-sim's after N steps, bit for bit, in every
# mode (the outline mode has no bodies and no colours in both).
for mode in 0 1 2; do
    sed -i "s/^render_type=.*//; s/^\[graph\]$/[graph]\nrender_type=$mode/" "$work/app/config.ini"
    run_program 60 --seed 12345 --frames 40 --dump "$work/window.txt"
    [ "$exit_status" = 0 ] || fail "mode $mode: exit status $exit_status with --dump"
    "$bin_dir/tarnwell-sim" --config "$work/app/config.ini" --seed 12345 --steps 40 \
        --dump "$work/sim.txt" >/dev/null || fail "tarnwell-sim failed"
    cmp -s "$work/window.txt" "$work/sim.txt" ||
        fail "mode $mode: the window's state after 40 frames is not tarnwell-sim's after 40 steps"
    echo "mode $mode: state after 40 frames = tarnwell-sim after 40 steps ($(wc -l <"$work/sim.txt") lines)"
done

# 3. Without --frames the screenshot is taken when the window is closed: the picture it showed.
open_window --seed 7 --screenshot closed.png
close_window "$window"
wait_for_exit 10
[ "$exit_status" = 0 ] || fail "closed window: exit status $exit_status"
[ "$(identify -format '%wx%h' "$shots/closed.png" 2>/dev/null)" = 400x400 ] ||
    fail "closed window: no 400x400 screenshot written at quit"
lit=$(region_lit "$shots/closed.png" 0 250 400 150)
awk -v v="$lit" 'BEGIN { exit !(v > 0.1) }' || fail "closed window: the screenshot shows no fluid ($lit)"
echo "closed window: screenshot written at quit, lower part lit $lit"

# 4. A screenshot that cannot be written: refused with the reason before any window opens.
run_program 60 --seed 1 --frames 600 --screenshot "$work/no/such/folder/x.png"
[ "$exit_status" = 1 ] || fail "unwritable screenshot: exit status $exit_status, want 1"
grep -q "cannot write the screenshot '$work/no/such/folder/x.png': the folder .* does not exist" \
    "$work/err.txt" || fail "unwritable screenshot: no path and reason: $(cat "$work/err.txt")"
grep -q 'Vendor:' "$work/out.txt" && fail "unwritable screenshot: refused only after the window opened"

# -geometry over window_size; a window above the screenshot limit is refused a picture, with
# the limit named, and still ends.
run_program 60 --seed 1 --frames 3 --screenshot geometry.png -geometry 320x240
[ "$exit_status" = 0 ] || fail "-geometry: exit status $exit_status"
[ "$(identify -format '%wx%h' "$shots/geometry.png")" = 320x240 ] ||
    fail "-geometry 320x240 gave a $(identify -format '%wx%h' "$shots/geometry.png") picture"
run_program 120 --seed 1 --frames 2 --screenshot big.png -geometry 8200x100
[ "$exit_status" = 1 ] || fail "8200 pixels wide: exit status $exit_status, want 1"
grep -q "cannot write the screenshot 'big.png': the window is 8200 x 100 pixels; screenshots are taken up to 8192 x 8192" \
    "$work/err.txt" || fail "8200 pixels wide: $(cat "$work/err.txt")"
[ -e "$shots/big.png" ] && fail "8200 pixels wide: a picture was written"
echo "-geometry 320x240 honoured; a window 8200 wide is refused its picture with the limit named"

# 5. A dump that cannot be written: refused with the reason before any window opens (without
# --frames a window would keep the program running past the limit).
run_program 10 --seed 1 --dump "$work/no/such/folder/state.txt"
[ "$exit_status" = 1 ] || fail "unwritable dump: exit status $exit_status, want 1"
grep -q "cannot write the dump '$work/no/such/folder/state.txt': the folder .* does not exist (No such file or directory)" \
    "$work/err.txt" || fail "unwritable dump: no path and reason: $(cat "$work/err.txt")"
grep -q 'Vendor:' "$work/out.txt" && fail "unwritable dump: refused only after the window opened"
# Killed mid-write by the file size limit: the older dump is whole, no temporary file is left.
echo old >"$work/state.txt"
# (The outer braces keep bash's own "File size limit exceeded" report out of the test's output.)
{ (ulimit -f 100; cd "$work/elsewhere" &&
    exec timeout 60 "$work/app/tarnwell" --seed 1 --frames 5 --dump "$work/state.txt") \
    >"$work/out.txt" 2>"$work/err.txt"; } 2>/dev/null
[ $? != 0 ] || fail "a dump cut short by the file size limit gave status 0"
[ "$(cat "$work/state.txt")" = old ] || fail "the interrupted dump replaced the older one"
ls "$work" | grep -q 'state.txt.tmp' && fail "a temporary dump file was left: $(ls "$work")"
echo "dumps and screenshots: unwritable paths refused before the window, interrupted write kept the old file"
echo "PASS"
