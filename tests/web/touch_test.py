"""Touch on the page, through the DevTools protocol's touch events: a pinch turns the stirring
radius as the wheel does, a long press floats the fluid and lets it go with gravity reversed.

Usage: touch_test.py WEB_DIR [SHOT_DIR]
"""
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from browser import check, rows, run  # noqa: E402

QUERY = "?seed=7&count=3000&window_size=400&point_colors=0&geom_count=0"


def radius(b):
    text = b.evaluate("document.getElementById('overlay').textContent")
    m = re.search(r"stirring radius (\d+) h", text or "")
    check(m, "the overlay shows no stirring radius: %r" % text)
    return int(m.group(1))


def touch(b, kind, points):
    cx, cy, _, _ = b.canvas_box()
    b.call("Input.dispatchTouchEvent", type="touch" + kind,
           touchPoints=[{"x": cx + x, "y": cy + y, "id": n} for n, (x, y) in enumerate(points)])


def touch_input(b):
    b.call("Emulation.setTouchEmulationEnabled", enabled=True, maxTouchPoints=5)
    b.open(QUERY)
    check(b.wait_for("document.body && document.body.dataset.state === 'running'", 30),
          "the page did not start")
    b.key("h", "KeyH", 72)
    check(b.wait_for("!document.getElementById('overlay').hidden", 5), "h: no overlay")
    before = radius(b)

    # Two fingers spread apart twice by half again: two steps up.
    touch(b, "Start", [(150, 100), (190, 100)])
    b.sleep(0.1)
    touch(b, "Move", [(140, 100), (200, 100)])
    b.sleep(0.1)
    touch(b, "Move", [(125, 100), (215, 100)])
    b.sleep(0.1)
    touch(b, "End", [])
    b.wait_for("/stirring radius %d h/.test(document.getElementById('overlay').textContent)"
               % (before + 2), 5)
    check(radius(b) == before + 2, "pinch: radius %d h, want %d" % (radius(b), before + 2))
    print("pinch: stirring radius %d h -> %d h" % (before, radius(b)))

    # A long press floats; let go, gravity is reversed and the fluid rises.
    start = rows(b.screenshot())[0]
    touch(b, "Start", [(200, 100)])
    b.sleep(1.2)
    touch(b, "End", [])
    risen = start
    for _ in range(40):
        b.sleep(0.25)
        risen = rows(b.screenshot())[0]
        if risen < 0.35:
            break
    check(risen < 0.35, "long press: the fluid did not rise (mean row %.2f from %.2f)"
          % (risen, start))
    print("long press: the fluid's mean row %.2f -> %.2f" % (start, risen))
    check(not b.console_errors(), "console errors: %s" % b.console_errors())


if __name__ == "__main__":
    sys.exit(run(touch_input, sys.argv[1], sys.argv[2] if len(sys.argv) > 2 else None))
