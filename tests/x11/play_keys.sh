# The keys, pressed through the X server: pause and single steps, the screenshot key, live mode
# switches, the overlay, reversed gravity, restart, a reload that is refused, and quitting with
# q and with Escape. Every check polls the picture with a timeout instead of sleeping a guess.
source "$(dirname "$0")/x11_common.bash" || { echo "FAIL: x11_common.bash missing" >&2; exit 1; }

install_program
# Unsmoothed points on a software rasteriser: fast frames. Two bodies, gradient colours.
cat >"$work/app/config.ini" <<'INI'
[graph]
window_size=400
point_colors=1
graph_smooth=0
[phys]
count=3000
INI
open_window --seed 3
focus_window
shots="${TARNWELL_SHOT_DIR:-$work}"

# 1. Space: the picture stands still; n moves it by one step.
press space
wait_for paused1 '[ -f "$work/paused0.png" ] && ! differ "$work/paused0.png" "$work/paused1.png" ||
                  { cp "$work/paused1.png" "$work/paused0.png"; false; }' "Space did not pause" 10
sleep 1
shot paused2
differ "$work/paused1.png" "$work/paused2.png" && fail "paused, but the picture changed within a second"
press n
wait_for stepped 'differ "$work/paused2.png" "$work/stepped.png"' "n did not step" 10
sleep 0.5
shot stepped2
differ "$work/stepped.png" "$work/stepped2.png" && fail "after n the fluid kept moving"
echo "paused: two pictures a second apart identical; n: one step changes it"

# 2. s: a PNG of the window's size in the working folder, the window's picture exactly.
press s
for (( i = 0; i < 50; ++i )); do
    saved=$(sed -n 's/^Screenshot saved: //p' "$work/out.txt" | tail -1)
    [ -n "$saved" ] && break
    sleep 0.1
done
[ -n "$saved" ] || fail "s: no 'Screenshot saved' line"
[[ $saved =~ ^tarnwell-[0-9]{8}-[0-9]{6}(-[0-9]+)?\.png$ ]] || fail "s: unexpected name '$saved'"
png="$work/elsewhere/$saved"
[ -f "$png" ] || fail "s: $saved is not in the working folder"
[ "$(identify -format '%wx%h' "$png")" = 400x400 ] || fail "s: $(identify -format '%wx%h' "$png") picture"
cp "$png" "$shots/key_s.png" 2>/dev/null || true
differ "$png" "$work/stepped2.png" && fail "s: the PNG is not the picture in the window"
lit=$(region_lit "$png" 0 200 400 200)
awk -v v="$lit" 'BEGIN { exit !(v > 0.1) }' || fail "s: no fluid in the lower half of $saved ($lit)"
echo "s: $saved, 400x400, the window's picture, lower half lit $lit"
# Presses faster than the frames each get a picture of their own, under names of their own.
press s s s
for (( i = 0; i < 50; ++i )); do
    [ "$(grep -c '^Screenshot saved: ' "$work/out.txt")" -ge 4 ] && break
    sleep 0.1
done
[ "$(grep -c '^Screenshot saved: ' "$work/out.txt")" = 4 ] ||
    fail "s s s: $(grep -c '^Screenshot saved: ' "$work/out.txt") pictures saved in all, want 4"
[ "$(sed -n 's/^Screenshot saved: //p' "$work/out.txt" | sort -u | wc -l)" = 4 ] ||
    fail "s s s: a name was used twice"

# 3. Modes, switched while paused: 1 an outline in white, no coloured points and no bodies
# drawn; 2 drops; 0 points again.
press 1
wait_for outline 'stats=$(picture_stats "$work/outline.png"); [ "$(stat_of "$stats" coloured)" -le 50 ]' \
    "1: coloured points are still drawn" 10
white=$(stat_of "$stats" white)
[ "$white" -ge 400 ] || fail "1: no outline ($white white pixels)"
cp "$work/outline.png" "$shots/key_1.png" 2>/dev/null || true
press 2
# Drops of a few pixels' radius at this window size: groups of lit pixels twice as large as
# the merged 3-pixel points of mode 0 (about 12).
wait_for sprites 'stats=$(picture_stats "$work/sprites.png"); [ "$(stat_of "$stats" median_blob)" -ge 20 ]' \
    "2: the particles are not drawn as drops" 10
cp "$work/sprites.png" "$shots/key_2.png" 2>/dev/null || true
# Back in mode 0, the same paused state gives the same picture, pixel for pixel.
press 0
wait_for points '! differ "$work/points.png" "$work/stepped2.png"' \
    "0: not the picture of before the switches" 10
grep -q "not available" "$work/out.txt" && fail "a mode switch said a mode is not available"
echo "1: outline ($white white pixels, no colours); 2: drops; 0: the same picture as before"

# 4. h: the overlay over the empty top of the box; h again: gone.
top_before=$(region_lit "$work/points.png" 0 0 300 80)
press h
wait_for overlay 'top=$(region_lit "$work/overlay.png" 0 0 300 80); awk -v v="$top" "BEGIN { exit !(v > 0.02) }"' \
    "h: no overlay text (lit $top_before before)" 10
cp "$work/overlay.png" "$shots/key_h.png" 2>/dev/null || true
press h
wait_for no_overlay '! differ "$work/no_overlay.png" "$work/points.png"' "h again: the overlay stays" 10
echo "h: the top of the window lit $top_before -> $top, and back"

# 5. Running again, g: the fluid gathers under the ceiling.
press space g
wait_for reversed 'read -r mean _ _ < <(rows "$work/reversed.png"); awk -v m="$mean" "BEGIN { exit !(m < 0.3) }"' \
    "g: the fluid did not move to the top" 40
cp "$work/reversed.png" "$shots/key_g.png" 2>/dev/null || true
echo "g: mean row of the fluid $mean of the height from the top"

# 6. r: a new seed, printed; the fluid falls from a new block at the bottom.
press r
for (( i = 0; i < 50; ++i )); do grep -q '^Restart with seed [0-9]*$' "$work/out.txt" && break; sleep 0.1; done
grep -q '^Restart with seed [0-9]*$' "$work/out.txt" || fail "r: no 'Restart with seed' line"
wait_for restarted 'read -r mean _ _ < <(rows "$work/restarted.png"); awk -v m="$mean" "BEGIN { exit !(m > 0.5) }"' \
    "r: the fluid did not start again at the bottom" 10
echo "r: $(grep '^Restart' "$work/out.txt")"

# 7. l with a file that is now refused: the refusal on stderr, the simulation goes on.
printf '[phys]\ncount=70000\n' >"$work/app/config.ini"
press l
for (( i = 0; i < 50; ++i )); do grep -q 'count' "$work/err.txt" && break; sleep 0.1; done
grep -q 'count = 70000' "$work/err.txt" || fail "l: the refusal was not printed: $(cat "$work/err.txt")"
[ "$(grep -c '^Restart' "$work/out.txt")" = 1 ] || fail "l: restarted with a refused file"
shot after_l1
wait_for after_l2 'differ "$work/after_l1.png" "$work/after_l2.png"' "l: the fluid stopped" 10
echo "l: refused file reported, the fluid still moves"
# Corrected, the file is taken: a new simulation of its size.
printf '[graph]\nwindow_size=400\ngraph_smooth=0\n[phys]\ncount=1000\n' >"$work/app/config.ini"
press l
wait_for_title "$window" 'Count: 1000   >>>$' 10 >/dev/null
[ "$(grep -c '^Restart' "$work/out.txt")" = 2 ] || fail "l: no restart after the file was corrected"
echo "l: corrected file taken, 1000 particles"

# 8. q quits cleanly.
press q
wait_for_exit 10
[ "$exit_status" = 0 ] || fail "q: exit status $exit_status"

# 9. Escape quits cleanly too.
rm "$work/app/config.ini"
open_window --seed 4
focus_window
press Escape
wait_for_exit 10
[ "$exit_status" = 0 ] || fail "Escape: exit status $exit_status"
echo "q and Escape: exit status 0"
echo "PASS"
