#!/usr/bin/env bash
# Drawing time per frame of each render mode in a virtual X server (Mesa's software renderer when
# no GPU is there): the window program with the default 10,000 particles is left to run for a few
# seconds, paused (so the physics takes no time and the picture stays the same), and the
# "Render" figure of its title (mean clear, draw and swap per frame over a second) is read
# five times. Modes are run in turn, ROUNDS times, so that a busy machine hurts them alike.
#   tools/draw_time.sh [BUILD_DIR] [ROUNDS] [MODES...]   (default build/release, 3, modes 2 3)
set -euo pipefail
if [ "${1:-}" = "--one" ]; then
    one_mode=$2
    shift 2
fi
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/release}"
build="$(cd "$build" && pwd)"
rounds="${2:-3}"
shift $(( $# > 2 ? 2 : $# ))
modes=("$@")
[ ${#modes[@]} -gt 0 ] || modes=(2 3)
[ -x "$build/tarnwell" ] || { echo "no $build/tarnwell: build the release preset first" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# One mode: prints the five Render figures, in milliseconds.
measure() {
    printf '[graph]\nrender_type=%s\n' "$1" >"$work/m.ini"
    "$build/tarnwell" --config "$work/m.ini" --seed 42 >"$work/out.txt" 2>&1 &
    local pid=$! window="" i
    for (( i = 0; i < 100; ++i )); do
        [ -z "$window" ] || break
        sleep 0.1
        window=$(xdotool search --onlyvisible --name '^Tarnwell SPH' 2>/dev/null | head -1) || true
    done
    [ -n "$window" ] || { kill "$pid"; echo "no window" >&2; return 1; }
    sleep 4
    xdotool windowfocus --sync "$window" key space
    sleep 2
    for (( i = 0; i < 5; ++i )); do
        sleep 1.05
        xdotool getwindowname "$window" | sed -n 's/.*Render: \([0-9.]*\).*/\1/p'
    done
    kill "$pid"
    wait "$pid" 2>/dev/null || true
}
if [ -n "${one_mode:-}" ]; then
    measure "$one_mode"
    exit 0
fi

for (( r = 1; r <= rounds; ++r )); do
    for mode in "${modes[@]}"; do
        figures=$(xvfb-run -a -s '-screen 0 1024x1024x24' bash "$0" --one "$mode" "$build" |
            tr '\n' ' ')
        echo "round $r mode $mode render ms: $figures"
    done
done | tee "$work/all.txt"
echo "median per mode:"
for mode in "${modes[@]}"; do
    grep " mode $mode render" "$work/all.txt" | sed 's/.*ms: //' | tr ' ' '\n' | grep . | sort -n |
        awk -v m="$mode" '{ v[NR] = $1 } END { printf "  mode %s: %.2f ms (%d figures)\n", m, v[int((NR + 1) / 2)], NR }'
done
