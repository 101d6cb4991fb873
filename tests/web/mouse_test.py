"""The mouse on the page, through the browser's own input events: the left button pulls the
fluid towards the pointer and follows a drag, the right button pushes it away. The simulation
advances one step per drawn frame, so every check waits on the picture with a timeout.

Usage: mouse_test.py WEB_DIR [SHOT_DIR]
"""
import os
import sys

# The browser harness beside the tests (./run.sh --web uses it too).
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from browser import check, region_lit, rows, run

# White unsmoothed points on black, 6,000 particles in a 400-pixel canvas: a layer about a
# quarter of the box deep, cheap for the software rasteriser and easy to measure.
QUERY = ("?window_size=400&point_colors=0&graph_smooth=0&graph_blend=0&count=6000"
         "&geom_count=0&seed=3")


def wait_lit(b, cond, x, y, w, h, seconds):
    """Polls screenshots until cond(lit fraction of the rectangle) holds; returns the last."""
    for _ in range(int(seconds * 4)):
        lit = region_lit(b.screenshot(), x, y, w, h)
        if cond(lit):
            return lit
        b.sleep(0.25)
    return lit


def mouse(b):
    b.open(QUERY)
    state = b.wait_for("document.body && document.body.dataset.state", 30)
    check(state == "running", "the page did not start (%r)" % state)

    # 1. The block falls, runs out and settles into a layer about a sixth of the height deep:
    # three pictures a second apart whose mean rows agree within 1% of the height. Frames are
    # slow on a busy machine and one second may hold few steps, hence three pictures, not two.
    means = []
    for waited in range(90):
        b.sleep(1)
        mean, top, bottom = rows(b.screenshot())
        means = (means + [mean])[-3:]
        if len(means) == 3 and max(means) - min(means) < 0.01 and top > 0.75 and bottom > 0.95:
            break
    print("settled after %d s: mean row %.3f, band %.3f..%.3f" % (waited, mean, top, bottom))
    check(0.75 < top < 0.9 and bottom > 0.95, "the fluid did not settle on the floor")
    surface = int(top * 400)

    # 2. Left button held 40 px above the surface (the stirring radius, 13 h, is 64 px): the
    # fluid rises into the empty air under the pointer; dragged 120 px right, it follows.
    y = surface - 40
    before = region_lit(b.screenshot(), 120, y - 15, 30, 30)
    check(before < 0.1, "left button: fluid above the surface already (%.3f)" % before)
    b.mouse("pressed", 135, y, "left", 1)
    lit = wait_lit(b, lambda v: v > 0.3, 120, y - 15, 30, 30, 15)
    print("left button at (135, %d): lit near the pointer %.3f -> %.3f" % (y, before, lit))
    check(lit > 0.3, "left button: no fluid pulled up to the pointer")
    # The page's GLUT reports each move one event late: the last position is sent twice.
    for x in (165, 195, 225, 255, 255):
        b.mouse("moved", x, y, "left", 1)
        b.sleep(0.1)
    lit = wait_lit(b, lambda v: v > 0.3, 240, y - 15, 30, 30, 15)
    print("dragged to (255, %d): lit near the pointer %.3f" % (y, lit))
    check(lit > 0.3, "left drag: the fluid did not follow the pointer")
    b.mouse("released", 255, y, "left", 0)

    # Let the raised fluid fall back.
    wait_lit(b, lambda v: v < 0.005, 20, 0, 360, surface - 20, 20)

    # 3. Right button held in the middle of the layer: a hole opens around the pointer.
    y = (surface + 395) // 2
    before = region_lit(b.screenshot(), 185, y - 10, 30, 20)
    check(before > 0.5, "right button: no fluid at (200, %d) to push away (%.3f)" % (y, before))
    b.mouse("pressed", 200, y, "right", 2)
    lit = wait_lit(b, lambda v: v < 0.05, 185, y - 10, 30, 20, 15)
    print("right button at (200, %d): lit near the pointer %.3f -> %.3f" % (y, before, lit))
    check(lit < 0.05, "right button: no hole at the pointer")
    b.mouse("released", 200, y, "right", 0)
    check(not b.console_errors(), "console errors: %s" % b.console_errors())


if __name__ == "__main__":
    sys.exit(run(mouse, sys.argv[1], sys.argv[2] if len(sys.argv) > 2 else None))
