# The hint a newcomer sees at start: the status line names h, t and p in yellow over the top
# left of the first frames; the first key press takes it away, and without one it goes by
# itself after its seconds. A run with --frames (a script's pictures) never shows it.
source "$(dirname "$0")/x11_common.bash" || { echo "FAIL: x11_common.bash missing" >&2; exit 1; }

install_program
# White points: nothing but the status line is yellow.
cat >"$work/app/config.ini" <<'INI'
[graph]
window_size=400
point_colors=0
graph_smooth=0
[phys]
count=3000
INI
hint_seconds=6

# Yellow pixels (the status line's colour) in the strip the status line takes, top left.
yellow() {
    convert "$1" -crop 400x32+0+0 +repage -fx '(r > 0.8 && g > 0.7 && b < 0.4) ? 1 : 0' \
        -format '%[fx:round(mean * w * h)]' info:
}
now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", b - a }'; }

# 1. The first frame shows it; a key (n, which does nothing while the fluid runs) takes it away
# well before its time.
open_window --seed 5
seen=$(now)
hint=$(yellow "$work/start.png")
[ "$hint" -ge 100 ] || fail "no hint on the first frame ($hint yellow pixels)"
cp "$work/start.png" "${TARNWELL_SHOT_DIR:-$work}/start_hint.png" 2>/dev/null || true
focus_window
press n
wait_for after_key '[ "$(yellow "$work/after_key.png")" = 0 ]' "the hint stayed after a key" 10
took=$(elapsed "$seen" "$(now)")
awk -v t="$took" -v h="$hint_seconds" 'BEGIN { exit !(t < h - 1) }' ||
    fail "the hint went $took s after the first frame: too late to tell the key from its time"
echo "first frame: hint ($hint yellow pixels); gone $took s later, after one key"
close_window "$window"
wait_for_exit 20

# 2. Without a key it goes by itself, not before its time.
started=$(now)
open_window --seed 5
[ "$(yellow "$work/start.png")" -ge 100 ] || fail "second start: no hint on the first frame"
wait_for by_itself '[ "$(yellow "$work/by_itself.png")" = 0 ]' "the hint never went" 20
took=$(elapsed "$started" "$(now)")
awk -v t="$took" -v h="$hint_seconds" 'BEGIN { exit !(t >= h) }' ||
    fail "the hint went after $took s, before its $hint_seconds s"
echo "without a key: gone $took s after the start"
close_window "$window"
wait_for_exit 20

# 3. A run with --frames: the last frame, seconds early, has no hint.
run_program 60 --seed 5 --frames 5 --screenshot "$work/frames.png"
[ "$exit_status" = 0 ] || fail "--frames 5: exit status $exit_status"
[ "$(yellow "$work/frames.png")" = 0 ] || fail "--frames 5: the hint is in the picture"
echo "--frames 5: no hint in the screenshot"
echo PASS
