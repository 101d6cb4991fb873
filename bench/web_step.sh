#!/usr/bin/env bash
# The physics step at 10,000 particles (the defaults) three ways: the native SSE2 build, the
# WebAssembly build under node, and the page in headless chromium. Prints milliseconds per step.
#
#   bench/web_step.sh [STEPS]      (default 1000; needs build/release and build/web)
#
# tarnwell-sim runs the same seeded scene in both builds, so the work is identical step for step;
# the figure is the least disturbed of three runs' medians. The page cannot be timed that finely:
# its statistics line gives the mean physics time per frame over each second from a millisecond
# clock; the figure is the least of ten such means, after the fluid has flowed for 5 s.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
steps=${1:-1000}
native=$src/build/release/tarnwell-sim
web=$src/build/web
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
: >"$work/defaults.ini"

median_of_runs() {  # command...: the least of three runs' median step times
    for run in 1 2 3; do
        "$@" --config "$work/defaults.ini" --seed 1 --steps "$steps" 2>/dev/null |
            sed -n 's/^step time ms: min [0-9.]*  median \([0-9.]*\).*/\1/p'
    done | sort -g | head -1
}

echo "Measured $(date -Iseconds) on $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-34s %s\n' "build" "ms per step, 10,000 particles"
printf '%-34s %s\n' "native (SSE2, tarnwell-sim)" "$(median_of_runs "$native")"
printf '%-34s %s\n' "WebAssembly, node $(node --version)" "$(median_of_runs node "$web/tarnwell-sim.js")"
phys=$(/usr/bin/python3 - "$web" "$src/tests/web" <<'PY'
import re, sys
sys.path.insert(0, sys.argv[2])
from browser import Browser
with Browser(sys.argv[1]) as b:
    b.open("?seed=1")
    b.wait_for("document.body && document.body.dataset.state === 'running'", 30)
    b.sleep(5)
    means, last = [], None
    while len(means) < 10:
        line = b.evaluate("document.getElementById('status').textContent")
        if line != last:
            last = line
            m = re.search(r"Phys: ([0-9.]+)", line)
            means.append(float(m.group(1)))
        b.sleep(0.25)
    print("%.3f" % min(means))
PY
)
printf '%-34s %s\n' "WebAssembly, chromium (the page)" "$phys"
