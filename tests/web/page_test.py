"""The page in a real browser: it starts without console errors, the statistics line updates
like the desktop title, every drawing mode puts the fluid on the canvas, URL parameters reach
the program (a valid one is used, refused ones stop it with the program's own message), and
what the program warns of shows on the page in the address's words.

Usage: page_test.py WEB_DIR [SHOT_DIR]
"""
import contextlib
import json
import os
import re
import shutil
import sys
import tempfile

# The browser harness beside the tests (./run.sh --web uses it too).
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from browser import check, region_lit, run, serve

TITLE = re.compile(r"^Tarnwell SPH v 1\.09a   <<<   FPS: (\d+)   Render: \d+\.\d{3}   "
                   r"Phys: \d+\.\d{3}   Count: (\d+)   >>>$")


def started(b, query, seconds=30):
    b.open(query)
    state = b.wait_for("document.body && document.body.dataset.state", seconds)
    check(state == "running", "%s: the page did not start (state %r, status %r)"
          % (query, state, b.evaluate("document.getElementById('status').textContent")))


def status(b):
    return b.evaluate("document.getElementById('status').textContent")


def colourful(shot):
    """Pixels whose channels differ by more than 60: clearly coloured, not grey."""
    width, height, rgb = shot
    n = 0
    for i in range(0, len(rgb), 3):
        if max(rgb[i:i + 3]) - min(rgb[i:i + 3]) > 60:
            n += 1
    return n / (width * height)


def _crop(shot, x, y, w, h):
    """The RGB bytes of a rectangle of a screenshot, row by row."""
    width, _, rgb = shot
    out = bytearray()
    for row in range(y, y + h):
        out += rgb[3 * (row * width + x):3 * (row * width + x + w)]
    return out


def page(b):
    # Defaults: the packaged config.ini alone. Two statistics lines a few seconds apart: both
    # in the title's format, with frames counted and the particle count of the settings.
    started(b, "")
    first = status(b)
    b.wait_for("document.getElementById('status').textContent !== %r" % first, 10)
    b.sleep(1.5)
    second = status(b)
    for line in (first, second):
        check(TITLE.match(line), "statistics line not in the title's format: %r" % line)
    check(first != second, "the statistics line did not change: %r" % first)
    fps, count = TITLE.match(second).groups()
    check(int(fps) > 0 and count == "10000", "statistics: %r" % second)
    errors = b.console_errors()
    check(not errors, "console errors: %s" % errors)
    lines = b.console_lines()
    check("Load config from file: config.ini" in lines and "OpenGL Info:" in lines,
          "the program's start-up output is missing from the console: %s" % lines[:8])
    print("defaults:", second)

    # Mode 0 with colours: the lower half holds coloured points, the top quarter little.
    b.sleep(2)
    shot = b.screenshot()
    w, h, _ = shot
    low, top = region_lit(shot, 0, h // 2, w, h // 2), region_lit(shot, 0, 0, w, h // 4)
    tint = colourful(shot)
    print("mode 0: lit %.3f below, %.3f at the top, coloured %.3f" % (low, top, tint))
    check(low > 0.15 and top < low / 3 and tint > 0.05,
          "mode 0 does not show coloured fluid in the lower half")

    # The points' two other sources of colour: none (white, from the positions alone) and the
    # speed colours computed each frame. Each shows the fluid below and its own colouring there;
    # without bodies nothing else on the canvas is coloured but the speed scheme's colour bar.
    for query, coloured in (("?point_colors=0&geom_count=0", False),
                            ("?point_colors=3&geom_count=0", True)):
        started(b, query)
        b.sleep(2)
        shot = b.screenshot()
        low, top = region_lit(shot, 0, h // 2, w, h // 2), region_lit(shot, 0, 0, w, h // 4)
        tint = colourful((w, h // 2, bytes(_crop(shot, 0, h // 2, w, h // 2))))
        print("mode 0 %s: lit %.3f below, %.3f at the top, coloured %.4f below"
              % (query, low, top, tint))
        check(low > 0.15 and top < low / 3, "%s: mode 0 does not show the fluid below" % query)
        check(tint > 0.05 if coloured else tint < 0.001,
              "%s: mode 0's points are %s" % (query, "not coloured" if coloured else "coloured"))

    # Mode 1: thin white outlines only; a fixed seed and a URL-chosen count.
    started(b, "?render_type=1&count=8000&seed=5")
    b.sleep(3)
    check(status(b).endswith("Count: 8000   >>>"), "count=8000 not used: %r" % status(b))
    shot = b.screenshot()
    lit, tint = region_lit(shot, 0, 0, shot[0], shot[1]), colourful(shot)
    print("mode 1: lit %.4f, coloured %.4f" % (lit, tint))
    check(0.002 < lit < 0.08 and tint < 0.001, "mode 1 does not show a white outline")

    # Mode 2: sprites cover most of the fluid's area, far more than points do.
    started(b, "?render_type=2")
    b.sleep(3)
    shot = b.screenshot()
    lit = region_lit(shot, 0, h // 2, w, h // 2)
    print("mode 2: lit %.3f below" % lit)
    check(lit > 0.6, "mode 2 does not show sprites")
    check(not b.console_errors(), "console errors in mode 2: %s" % b.console_errors())

    # Mode 3: the liquid fills the fluid's area; speed colours bring the colour bar's strip of
    # colour to the upper right corner (in the 740-pixel canvas, lettering twice the size: the
    # bar runs from x 528 to 728, rows 34 to 50 from the top).
    started(b, "?render_type=3&point_colors=3")
    b.sleep(3)
    shot = b.screenshot()
    lit = region_lit(shot, 0, h // 2, w, h // 2)
    bar = colourful((170, 8, bytes(_crop(shot, 540, 38, 170, 8))))
    print("mode 3: lit %.3f below, colour bar %.3f coloured" % (lit, bar))
    check(not any("not available" in line for line in b.console_lines()),
          "mode 3 fell back to points: %s" % [l for l in b.console_lines() if "available" in l])
    check(lit > 0.6, "mode 3 does not fill the fluid")
    check(bar > 0.5, "mode 3 with speed colours shows no colour bar")
    check(not b.console_errors(), "console errors in mode 3: %s" % b.console_errors())

    # A scene from the address: its lattice blocks give the count, its bodies are drawn.
    started(b, "?scene=floating")
    b.sleep(2)
    check(status(b).endswith("Count: 7736   >>>"), "scene=floating not used: %r" % status(b))
    check(not b.console_errors(), "console errors in a scene: %s" % b.console_errors())
    print("scene floating:", status(b))

    # Refused: a value the program cannot run with, a name that is no setting, a value that
    # would add lines to the settings file, a seed the program would not take (in the page's
    # words, not the command line's usage). The canvas goes away and the message stays, in the
    # address's words, inside the page's width however long its lines.
    long_name = "cout" + "y" * 300
    for query, expect in (
            ("?count=70000", "error: [phys] count = 70000 (the address says \"70000\") is not "
                             "accepted: use a whole number from 0 to 65536"),
            ("?cout=5", "error: URL parameter cout = 5 is not accepted: cout is not a setting"),
            ("?%s=5" % long_name, "error: URL parameter %s = 5 is not accepted" % long_name),
            ("?count=5%0A[graph]%0Arender_type=2", "is not accepted: a value is one line"),
            ("?seed=-1", "error: URL parameter seed = -1 is not accepted: use a whole number "
                         "from 0 to 4294967295"),
            ("?seed=4294967296", "error: URL parameter seed = 4294967296 is not accepted"),
            ("?scene=nosuch", "error: cannot read the scene file 'scenes/nosuch.ini'")):
        b.open(query)
        state = b.wait_for("document.body && document.body.dataset.state", 30)
        text = b.evaluate("document.getElementById('refusal').textContent")
        hidden = b.evaluate("document.getElementById('canvas').getClientRects().length === 0")
        check(state == "refused" and expect in text and hidden,
              "%s: not refused as expected (state %r):\n%s" % (query, state, text))
        check(not any(words in text for words in ("the file says", "usage:", "start again")),
              "%s: refused in the file's or the command line's words:\n%s" % (query, text))
        fits_page(b, "refusal", query)
        print("%s refused: %s" % (query[:40], text.splitlines()[0][:100]))
    messages(b)


def page_text(b):
    return b.evaluate("document.body.innerText")


def fits_page(b, box, query):
    """The box ends inside the page's column and the page does not scroll sideways."""
    right, column, inner, outer, page, view = json.loads(b.evaluate("""JSON.stringify((() => {
        const box = document.getElementById(%r), main = document.querySelector('main');
        const m = main.getBoundingClientRect();
        return [box.getBoundingClientRect().right,
                m.right - parseFloat(getComputedStyle(main).paddingRight),
                box.scrollWidth, box.clientWidth,
                document.documentElement.scrollWidth, document.documentElement.clientWidth];
    })())""" % box))
    check(right <= column + 0.5 and inner <= outer and page <= view,
          "%s: the %s box runs past the page (right %.1f, column ends at %.1f, its text %d "
          "wide in %d, page %d wide in %d)" % (query, box, right, column, inner, outer, page,
                                                view))


@contextlib.contextmanager
def served_config(b, edit):
    """The page's folder with config.ini changed by `edit`, served while the block runs."""
    folder = tempfile.mkdtemp(prefix="tarnwell-page-")
    for name in os.listdir(b.web_dir):
        os.symlink(os.path.join(b.web_dir, name), os.path.join(folder, name))
    os.remove(os.path.join(folder, "config.ini"))
    with open(os.path.join(b.web_dir, "config.ini")) as f:
        text = edit(f.read())
    with open(os.path.join(folder, "config.ini"), "w") as f:
        f.write(text)
    server = serve(folder)
    base, b.base = b.base, "http://127.0.0.1:%d/" % server.server_address[1]
    try:
        yield text
    finally:
        b.base = base
        server.shutdown()
        shutil.rmtree(folder, ignore_errors=True)


def messages(b):
    """Warnings of a running program are page text beside the fluid, not only console lines."""
    def shown(query, expect, seconds=10):
        started(b, query)
        text = b.wait_for("!document.getElementById('messages').hidden && "
                          "document.getElementById('messages').innerText", seconds) or ""
        check(expect in text, "%s: the page does not show %r:\n%r" % (query, expect, text))
        check(b.evaluate("document.getElementById('canvas').getClientRects().length > 0"),
              "%s: the canvas is hidden" % query)
        canvas = b.canvas_box()
        box = json.loads(b.evaluate("JSON.stringify(document.getElementById('messages')"
                                    ".getBoundingClientRect())"))
        check(box["y"] >= canvas[1] + canvas[3] or box["y"] + box["height"] <= canvas[1],
              "%s: the messages cover the canvas" % query)
        check(not b.console_errors(), "%s: console errors: %s" % (query, b.console_errors()))
        fits_page(b, "messages", query)
        print("%s shows: %s" % (query[:40], text.splitlines()[-1][:100]))
        return text

    # A value read as a number it does not spell: named by its URL parameter, not by a line of
    # the file the page wrote.
    text = shown("?count=abc", "warning: URL parameter count = abc: not a whole number")
    check("config.ini:" not in text, "the warning names a line of config.ini: %r" % text)
    b.wait_for("document.getElementById('status').textContent.includes('Count: 0 ')", 10)
    check(status(b).endswith("Count: 0   >>>"), "count=abc does not run 0: %r" % status(b))
    # The address sets a key over the file's line for it: no word. Twice in the address: a word.
    text = shown("?count=1000&count=2000", "warning: URL parameter count = 2000: count is given "
                 "again; the first, count = 1000, is the one used")
    check(len(text.splitlines()) == 1, "more than the one warning: %r" % text)

    # A line of config.ini itself keeps its own number, however many lines the address adds
    # before it.
    grains = lambda text: text.replace("\ncount=10000\n", "\ncount=4000 grains\n")
    with served_config(b, grains) as config:
        number = 1 + config.split("\n").index("count=4000 grains")
        text = shown("?render_type=1&seed=3&point_size=2",
                     "warning: config.ini:%d: 'count=4000 grains': not a whole number" % number)
    check(len(text.splitlines()) == 1, "more than the one warning: %r" % text)

    # A blow-up: the warning at start, then the message when it happens, and nothing on the
    # page sends the reader to a terminal or console they do not have.
    shown("?damp=2&seed=1", "warning: [phys] damp = 2 is above 1")
    text = b.wait_for("document.getElementById('messages').innerText.includes('blew up')", 30)
    check(text, "damp=2 did not blow up on the page")
    b.wait_for("!document.getElementById('overlay').hidden", 5)
    for word in ("terminal", "console"):
        check(word not in page_text(b).lower(),
              "the page mentions a %s:\n%s" % (word, page_text(b)))
    print("?damp=2 blew up; the overlay says: %s"
          % b.evaluate("document.getElementById('overlay').textContent"))


if __name__ == "__main__":
    sys.exit(run(page, sys.argv[1], sys.argv[2] if len(sys.argv) > 2 else None))
