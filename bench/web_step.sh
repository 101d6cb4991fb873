#!/usr/bin/env bash
# The physics step three ways side by side, at 10,000 and 40,000 particles on one and two
# threads: the native SSE2 build, the WebAssembly build under node, and the page in headless
# chromium (served cross-origin isolated, so it has threads). Prints milliseconds per step and
# each WebAssembly figure as a multiple of the native one.
#
#   bench/web_step.sh [STEPS]      (default 1000; needs build/release and build/web)
#
# tarnwell-sim runs the same seeded scene in both builds, so the work is identical step for step;
# the figure is the least disturbed of three runs' medians. The page cannot be timed that finely:
# its statistics line gives the mean physics time per frame over each second from a millisecond
# clock; the figure is the least of eight such means, after the fluid has flowed 300 steps
# (the overlay's step count: a larger count draws fewer frames a second, and the first steps
# of the falling block cost less than those of the fluid at rest), and
# beside it the median of the frames per second (the page draws mode 0 meanwhile, at most 60
# a second). The machine's other work shows in every figure: the load average is printed with
# them.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
steps=${1:-1000}
native=$src/build/release/tarnwell-sim
web=$src/build/web
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

median_of_runs() {  # count threads command...: the least of three runs' median step times
    local count=$1 threads=$2
    shift 2
    printf '[phys]\ncount=%d\n' "$count" >"$work/$count.ini"
    for run in 1 2 3; do
        "$@" --config "$work/$count.ini" --seed 1 --steps "$steps" --threads "$threads" \
            2>/dev/null | sed -n 's/^step time ms: min [0-9.]*  median \([0-9.]*\).*/\1/p'
    done | sort -g | head -1
}

page_phys() {  # count threads: the least of eight one-second means of the page's physics time,
               # and the median frames per second
    /usr/bin/python3 - "$web" "$src/tests/web" "$1" "$2" <<'PY'
import re, sys
sys.path.insert(0, sys.argv[2])
from browser import Browser
with Browser(sys.argv[1]) as b:
    b.open("?seed=1&count=%s&threads=%s" % (sys.argv[3], sys.argv[4]))
    b.wait_for("document.body && document.body.dataset.state === 'running'", 60)
    b.key("h", "KeyH", 72)
    b.wait_for("+(/step (\\d+)/.exec(document.getElementById('overlay').textContent)"
               " || [0, 0])[1] >= 300", 120)
    means, fps, last = [], [], None
    while len(means) < 8:
        line = b.evaluate("document.getElementById('status').textContent")
        if line != last:
            last = line
            means.append(float(re.search(r"Phys: ([0-9.]+)", line).group(1)))
            fps.append(int(re.search(r"FPS: ([0-9]+)", line).group(1)))
        b.sleep(0.25)
    print("%.3f %d" % (min(means), sorted(fps)[len(fps) // 2]))
PY
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

echo "Measured $(date -Iseconds) on $(nproc) cores; node $(node --version)," \
     "$(chromium --version 2>/dev/null | head -1)"
printf '%-10s %-8s %-10s %-15s %-15s %-9s\n' particles threads "native ms" "node ms (x)" \
    "page ms (x)" "page fps"
for count in 10000 40000; do
    for threads in 1 2; do
        load_before=$(cut -d' ' -f1 /proc/loadavg)
        n=$(median_of_runs $count $threads "$native")
        w=$(median_of_runs $count $threads node "$web/tarnwell-sim.js")
        read -r p fps < <(page_phys $count $threads)
        printf '%-10s %-8s %-10s %-15s %-15s %-9s load %s .. %s\n' $count $threads "$n" \
            "$w ($(ratio "$w" "$n"))" "$p ($(ratio "$p" "$n"))" "$fps" "$load_before" \
            "$(cut -d' ' -f1 /proc/loadavg)"
    done
done
