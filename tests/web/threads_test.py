"""Threads on the page. Served cross-origin isolated (as ./run.sh --web serves it) the page
runs the threaded module with the threads asked for, more than the machine's cores too, and a
count beyond the module's workers is cut with a warning instead of waiting for a worker that
cannot start, and a seeded fluid stepped to the same step draws the same picture at every
count. Served without the headers it runs one thread, says why on the page and warns of a count
above one. Either way: no console errors, and the fluid moves.

Usage: threads_test.py WEB_DIR [SHOT_DIR]
"""
import os
import re
import sys

# The browser harness beside the tests (./run.sh --web uses it too).
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from browser import check, run, serve  # noqa: E402

# A small canvas: the browser's software rasteriser leaves the cores to the threads.
SMALL = "&seed=4&window_size=300"


def text_of(b, element):
    return b.evaluate("document.getElementById(%r).innerText" % element)


def running_with(b, query, threads):
    """Opens the page, waits for two statistics lines (it steps) and returns the overlay's
    thread count ("threads N of M") after h."""
    b.open(query + SMALL)
    state = b.wait_for("document.body && document.body.dataset.state", 60)
    check(state == "running", "%s: the page did not start (state %r): %s"
          % (query, state, text_of(b, "refusal")))
    first = text_of(b, "status")
    check(b.wait_for("document.getElementById('status').innerText !== %r" % first, 15),
          "%s: the statistics line does not change: %r" % (query, first))
    fps = re.search(r"FPS: (\d+)", text_of(b, "status"))
    check(fps and int(fps.group(1)) > 0, "%s: no frames: %r" % (query, text_of(b, "status")))
    b.key("h", "KeyH", 72)
    overlay = b.wait_for("!document.getElementById('overlay').hidden && "
                         "document.getElementById('overlay').textContent", 5) or ""
    found = re.search(r"threads (\d+) of (\d+)", overlay)
    check(found, "%s: the overlay shows no thread count: %r" % (query, overlay))
    check(found.group(1) == found.group(2) == str(threads),
          "%s: %s, not %d threads" % (query, found.group(0), threads))
    check(not b.console_errors(), "%s: console errors: %s" % (query, b.console_errors()))
    print("%s: %s; %s" % (query, found.group(0), text_of(b, "status")))


def picture_at_step(b, count, step):
    """The canvas at `step` of one seeded fluid on `count` threads: paused as soon as it runs,
    then stepped with n, press by press."""
    b.open("?seed=7&count=3000&window_size=300&point_colors=0&geom_count=0&threads=%d" % count)
    check(b.wait_for("document.body && document.body.dataset.state", 60) == "running",
          "threads=%d: the page did not start" % count)
    b.key(" ", "Space", 32)
    b.key("h", "KeyH", 72)
    shown = "document.getElementById('overlay').textContent"
    check(b.wait_for("/PAUSED  step/.test(%s)" % shown, 10), "threads=%d: no pause" % count)
    paused_at = int(re.search(r"step (\d+)", b.evaluate(shown)).group(1))
    check(paused_at < step, "threads=%d: ran to step %d before the pause" % (count, paused_at))
    for _ in range(step - paused_at):
        b.key("n", "KeyN", 78)
    check(b.wait_for("/PAUSED  step %d /.test(%s)" % (step, shown), 30),
          "threads=%d: n %d times from step %d: %r"
          % (count, step - paused_at, paused_at, b.evaluate(shown)))
    b.evaluate("document.getElementById('overlay').style.visibility = 'hidden'")
    return b.screenshot()


def same_steps(b):
    # On however many threads, the fluid at a step is the same.
    pictures = {count: picture_at_step(b, count, 150) for count in (1, 2, 3)}
    for count in (2, 3):
        check(pictures[count] == pictures[1],
              "step 150 draws differently on %d threads than on one" % count)
    check(not b.console_errors(), "console errors: %s" % b.console_errors())
    print("step 150: the same picture on 1, 2 and 3 threads")


def threads(b):
    same_steps(b)

    # Isolated: the threads asked for, quietly, and the note on one thread stays hidden.
    for count in (2, 3):
        running_with(b, "?threads=%d" % count, count)
        check(b.evaluate("crossOriginIsolated"), "the headers did not isolate the page")
        check(b.evaluate("document.getElementById('one-thread').hidden"),
              "an isolated page says it runs one thread")
        check(b.evaluate("document.getElementById('messages').hidden"),
              "threads=%d: the page warns: %s" % (count, text_of(b, "messages")))
    running_with(b, "?threads=12", 8)
    check("threads = 12: this build starts at most 8 threads" in text_of(b, "messages"),
          "threads=12: no warning on the page: %r" % text_of(b, "messages"))

    # Not isolated: one thread, said once below the status line, and a warning for more.
    server = serve(b.web_dir, isolated=False)
    base, b.base = b.base, "http://127.0.0.1:%d/" % server.server_address[1]
    try:
        running_with(b, "?threads=2", 1)
        check(not b.evaluate("crossOriginIsolated"), "the page is isolated without the headers")
        note = text_of(b, "one-thread")
        check("one thread" in note and "Cross-Origin-Embedder-Policy: require-corp" in note,
              "no note on one thread: %r" % note)
        check("threads = 2: this build has no threads" in text_of(b, "messages"),
              "threads=2: no warning on the page: %r" % text_of(b, "messages"))
        running_with(b, "?threads=0", 1)
        check(b.evaluate("document.getElementById('messages').hidden"),
              "threads=0 warns on a page without threads: %s" % text_of(b, "messages"))
    finally:
        b.base = base
        server.shutdown()


if __name__ == "__main__":
    sys.exit(run(threads, sys.argv[1], sys.argv[2] if len(sys.argv) > 2 else None))
