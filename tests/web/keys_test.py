"""The keys on the page, through the browser's own key events: Space pauses (the picture stands
still, the overlay says so) and resumes, n steps once while paused, h shows the overlay over the
canvas, the wheel turns the stirring radius the desktop's way without scrolling the page, 1
switches to the outline live, q stops the page.

Usage: keys_test.py WEB_DIR [SHOT_DIR]
"""
import os
import re
import sys

# The browser harness beside the tests (./run.sh --web uses it too).
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from browser import check, region_lit, run  # noqa: E402

# Few white points in a small canvas: every frame is cheap, and every step moves some pixels.
QUERY = "?seed=7&count=3000&window_size=400&point_colors=0&geom_count=0"

SPACE = (" ", "Space", 32)


def overlay(b):
    return b.evaluate("document.getElementById('overlay').hidden ? null :"
                      " document.getElementById('overlay').textContent")


def step_of(text):
    m = re.search(r"(PAUSED|running)  step (\d+)", text or "")
    check(m, "the overlay shows no step: %r" % text)
    return m.group(1), int(m.group(2))


def keys(b):
    b.open(QUERY)
    state = b.wait_for("document.body && document.body.dataset.state", 30)
    check(state == "running", "the page did not start (%r)" % state)
    check(overlay(b) is None, "the overlay is on before h was pressed")
    b.key("h", "KeyH", 72)
    check(b.wait_for("!document.getElementById('overlay').hidden", 5), "h: no overlay")
    check("Space      pause / resume" in overlay(b), "h: the overlay lacks the keys")
    _, running_step = step_of(overlay(b))

    # Paused: two pictures a second apart are the same, and so is the step in the overlay.
    b.key(*SPACE)
    b.wait_for("/PAUSED/.test(document.getElementById('overlay').textContent)", 5)
    b.sleep(0.3)
    first, paused_at = step_of(overlay(b))
    # The overlay's own figures (frames a second) go on changing while paused: the pictures are
    # taken without it.
    hide = "document.getElementById('overlay').style.visibility = '%s'"
    b.evaluate(hide % "hidden")
    shot1 = b.screenshot()
    b.sleep(1)
    shot2 = b.screenshot()
    b.evaluate(hide % "")
    mode, still = step_of(overlay(b))
    print("paused at step %d (from %d running): step %d a second later, same picture: %s"
          % (paused_at, running_step, still, shot1 == shot2))
    check(first == mode == "PAUSED" and still == paused_at >= running_step,
          "Space: the simulation did not stop (steps %d, %d)" % (paused_at, still))
    check(shot1 == shot2, "Space: the picture still changes while paused")

    # n: exactly one step, and the picture moves.
    b.key("n", "KeyN", 78)
    b.wait_for("/step %d /.test(document.getElementById('overlay').textContent)"
               % (paused_at + 1), 5)
    _, stepped = step_of(overlay(b))
    shot3 = b.screenshot()
    print("n: step %d -> %d, picture changed: %s" % (paused_at, stepped, shot3 != shot2))
    check(stepped == paused_at + 1 and shot3 != shot2, "n: not one step")

    # Space again: running, steps go on.
    b.key(*SPACE)
    b.sleep(1)
    mode, later = step_of(overlay(b))
    check(mode == "running" and later > stepped, "Space: did not resume (%s, %d)" % (mode, later))

    # The wheel: one notch up widens the stirring radius by one h (13 -> 14), one down narrows it.
    radius = r"stirring radius (\d+) h"
    b.mouse_wheel(200, 200, -120)
    b.wait_for("/stirring radius 14 h/.test(document.getElementById('overlay').textContent)", 5)
    up = int(re.search(radius, overlay(b)).group(1))
    b.mouse_wheel(200, 200, 120)
    b.mouse_wheel(200, 200, 120)
    b.wait_for("/stirring radius 12 h/.test(document.getElementById('overlay').textContent)", 5)
    down = int(re.search(radius, overlay(b)).group(1))
    scrolled = b.evaluate("scrollY")
    check(scrolled == 0, "the wheel over the canvas scrolled the page by %s px" % scrolled)
    print("wheel: radius 13 -> %d (up) -> %d (down twice)" % (up, down))
    check(up == 14 and down == 12, "the wheel turns the stirring radius the wrong way")

    # 1: the outline, drawn live from the same fluid: white lines, far fewer lit pixels. The
    # overlay's text reaches into the lower half and would count as lit in both pictures, so
    # both are taken without it.
    b.evaluate(hide % "hidden")
    points = region_lit(b.screenshot(), 0, 200, 400, 200)
    b.evaluate(hide % "")
    b.key("1", "Digit1", 49)
    check(b.wait_for("/mode 1 outline/.test(document.getElementById('overlay').textContent)",
                     5), "1: the overlay does not show mode 1")
    b.sleep(0.5)
    b.evaluate(hide % "hidden")
    outline = region_lit(b.screenshot(), 0, 200, 400, 200)
    b.evaluate(hide % "")
    print("1: lit in the lower half %.3f (points) -> %.3f (outline)" % (points, outline))
    check(0.0 < outline < points / 2, "1: no outline drawn")

    # q: the page stops; no further frames, no refusal shown.
    b.key("q", "KeyQ", 81)
    state = b.wait_for("document.body.dataset.state === 'stopped' &&"
                       " !document.getElementById('stopped').hidden", 5)
    check(state, "q: the page did not stop")
    check(not b.console_errors(), "console errors: %s" % b.console_errors())


if __name__ == "__main__":
    sys.exit(run(keys, sys.argv[1], sys.argv[2] if len(sys.argv) > 2 else None))
