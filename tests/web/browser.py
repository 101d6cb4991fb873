"""A real browser for the page: Debian's chromium headless with software WebGL in a fresh
profile, driven over the DevTools protocol; the page's folder served on 127.0.0.1 unless a
server is named. Used by the page tests and by ./run.sh --web.

    with Browser(web_dir) as b:
        b.open("?count=3000")
        b.wait_for("document.body.dataset.state === 'running'", 20)
        shot = b.screenshot()

Needs only Debian packages: chromium, python3-websockets, imagemagick (for the pixels).

As a command, takes a picture of a served page after a few seconds, or serves a folder on
127.0.0.1 cross-origin isolated, as the page needs for threads (./run.sh --web):
    browser.py screenshot http://127.0.0.1:PORT/ OUT.png [SECONDS]
    browser.py serve FOLDER PORT
"""
import asyncio
import base64
import functools
import http.server
import json
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

import websockets


# What a server sends to make the page cross-origin isolated, which is what lets a browser give
# it the SharedArrayBuffer its threads share (./run.sh --web sends the same).
ISOLATION_HEADERS = (("Cross-Origin-Opener-Policy", "same-origin"),
                     ("Cross-Origin-Embedder-Policy", "require-corp"))


class Quiet(http.server.SimpleHTTPRequestHandler):
    """Serves a folder without logging, cross-origin isolated unless `isolated` is False."""
    isolated = True

    def end_headers(self):
        if self.isolated:
            for name, value in ISOLATION_HEADERS:
                self.send_header(name, value)
        super().end_headers()

    def log_message(self, *args):
        pass


class NotIsolated(Quiet):
    isolated = False


def serve(folder, isolated=True):
    """Serves `folder` on 127.0.0.1 from a thread; returns the server (shutdown() stops it)."""
    handler = functools.partial(Quiet if isolated else NotIsolated, directory=folder)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def chromium_command(user_data_dir):
    exe = shutil.which("chromium") or shutil.which("chromium-browser")
    if exe is None:
        sys.exit("chromium is not installed")
    return [exe, "--headless=new",
            # Software WebGL without a GPU process of its own, the same on every machine.
            "--use-angle=swiftshader", "--enable-unsafe-swiftshader", "--disable-gpu",
            # As root (CI containers) the sandbox cannot start; nothing here is untrusted.
            "--no-sandbox",
            # A quiet browser: no first-run pages, updates, sync or background traffic.
            "--no-first-run", "--disable-background-networking", "--disable-component-update",
            "--disable-sync", "--disable-quic", "--disable-default-apps", "--mute-audio",
            "--window-size=1000,1100", "--user-data-dir=" + user_data_dir,
            "--remote-debugging-address=127.0.0.1", "--remote-debugging-port=0",
            "about:blank"]


class Browser:
    def __init__(self, web_dir=None, base=None, isolated=True):
        """Serves web_dir itself (with or without the isolation headers), or uses the server
        at `base` (a URL ending in "/")."""
        self.web_dir = os.path.abspath(web_dir) if web_dir else None
        self.isolated = isolated
        self.base = base
        self.server = None
        self.loop = asyncio.new_event_loop()
        self.events = []        # every protocol event received, in order
        self.next_id = 0
        self.pending = {}

    # -- lifetime ---------------------------------------------------------------------------
    def __enter__(self):
        if self.web_dir:
            self.server = serve(self.web_dir, self.isolated)
            self.base = "http://127.0.0.1:%d/" % self.server.server_address[1]

        self.profile = tempfile.mkdtemp(prefix="tarnwell-chromium-")
        self.log = open(os.path.join(self.profile, "chromium.log"), "w+")
        self.process = subprocess.Popen(chromium_command(self.profile), stdout=self.log,
                                        stderr=subprocess.STDOUT)
        try:
            self.loop.run_until_complete(self._connect())
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def __exit__(self, *exc):
        try:
            if getattr(self, "ws", None) is not None:
                self.loop.run_until_complete(self.ws.close())
        except Exception:
            pass
        self.process.terminate()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        if self.server:
            self.server.shutdown()
        self.log.close()
        shutil.rmtree(self.profile, ignore_errors=True)
        self.loop.close()
        return False

    async def _connect(self):
        port_file = os.path.join(self.profile, "DevToolsActivePort")
        deadline = time.monotonic() + 30
        while not os.path.exists(port_file) or os.path.getsize(port_file) == 0:
            if self.process.poll() is not None or time.monotonic() > deadline:
                self.log.seek(0)
                raise RuntimeError("chromium did not start:\n" + self.log.read()[-3000:])
            await asyncio.sleep(0.1)
        port = open(port_file).read().split()[0]
        with urllib.request.urlopen("http://127.0.0.1:%s/json/list" % port) as r:
            targets = json.load(r)
        page = next(t for t in targets if t["type"] == "page")
        self.ws = await websockets.connect(page["webSocketDebuggerUrl"], max_size=None)
        self.reader = asyncio.ensure_future(self._read())
        for domain in ("Page", "Runtime", "Log"):
            await self._call(domain + ".enable", {})

    async def _read(self):
        async for text in self.ws:
            message = json.loads(text)
            if "id" in message and message["id"] in self.pending:
                self.pending.pop(message["id"]).set_result(message)
            elif "method" in message:
                self.events.append(message)

    async def _call(self, method, params):
        self.next_id += 1
        future = self.loop.create_future()
        self.pending[self.next_id] = future
        await self.ws.send(json.dumps({"id": self.next_id, "method": method, "params": params}))
        reply = await asyncio.wait_for(future, 60)
        if "error" in reply:
            raise RuntimeError("%s: %s" % (method, reply["error"]))
        return reply["result"]

    # -- what the tests use -----------------------------------------------------------------
    def call(self, method, **params):
        return self.loop.run_until_complete(self._call(method, params))

    def sleep(self, seconds):
        """Waits while still taking in events."""
        self.loop.run_until_complete(asyncio.sleep(seconds))

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True)
        if "exceptionDetails" in result:
            raise RuntimeError("%s: %s" % (expression, result["exceptionDetails"]))
        return result["result"].get("value")

    def open(self, query=""):
        self.events.clear()
        self.call("Page.navigate", url=self.base + "index.html" + query)

    def wait_for(self, expression, seconds):
        """Polls a JavaScript condition; returns its last value (falsy after the timeout)."""
        deadline = time.monotonic() + seconds
        while True:
            try:
                value = self.evaluate(expression)
            except RuntimeError:
                value = None  # the document is still being replaced

            if value or time.monotonic() > deadline:
                return value
            self.sleep(0.2)

    def console_errors(self):
        """Console errors, uncaught exceptions and browser-logged errors since the last open."""
        found = []
        for e in self.events:
            p = e.get("params", {})
            if e["method"] == "Runtime.consoleAPICalled" and p.get("type") in ("error", "assert"):
                found.append(" ".join(str(a.get("value", a.get("description", "")))
                                      for a in p.get("args", [])))
            elif e["method"] == "Runtime.exceptionThrown":
                d = p.get("exceptionDetails", {})
                found.append(d.get("exception", {}).get("description", d.get("text", "")))
            elif e["method"] == "Log.entryAdded" and p["entry"].get("level") == "error":
                found.append(p["entry"].get("text", ""))
        return found

    def console_lines(self):
        """Text of every console message since the last open (the program's output)."""
        return [" ".join(str(a.get("value", "")) for a in e["params"].get("args", []))
                for e in self.events if e["method"] == "Runtime.consoleAPICalled"]

    def canvas_box(self):
        r = self.evaluate("JSON.stringify(document.getElementById('canvas')"
                          ".getBoundingClientRect())")
        r = json.loads(r)
        return r["x"], r["y"], r["width"], r["height"]

    def page_png(self):
        """The whole page, as tall as its content, as PNG bytes."""
        w, h = json.loads(self.evaluate(
            "JSON.stringify([document.documentElement.scrollWidth,"
            " document.documentElement.scrollHeight])"))
        shot = self.call("Page.captureScreenshot", format="png", captureBeyondViewport=True,
                         clip={"x": 0, "y": 0, "width": w, "height": h, "scale": 1})
        return base64.b64decode(shot["data"])

    def screenshot(self):
        """The canvas as (width, height, RGB bytes)."""
        x, y, w, h = self.canvas_box()
        # The clip is in page coordinates, the box in the viewport's.
        x, y = json.loads(self.evaluate("JSON.stringify([%r + scrollX, %r + scrollY])" % (x, y)))
        shot = self.call("Page.captureScreenshot", format="png",
                         clip={"x": x, "y": y, "width": w, "height": h, "scale": 1})
        png = base64.b64decode(shot["data"])
        self.last_png = png
        rgb = subprocess.run(["convert", "png:-", "-depth", "8", "rgb:-"], input=png,
                             stdout=subprocess.PIPE, check=True).stdout
        return int(w), int(h), rgb

    def mouse(self, kind, x, y, button="none", buttons=0):
        """A mouse event at canvas pixel (x, y): kind is pressed, moved or released."""
        cx, cy, _, _ = self.canvas_box()
        self.call("Input.dispatchMouseEvent", type="mouse" + kind.capitalize(), x=cx + x,
                  y=cy + y, button=button, buttons=buttons, clickCount=1)

    def mouse_wheel(self, x, y, delta_y):
        """One wheel turn over canvas pixel (x, y); negative delta_y turns the wheel up."""
        cx, cy, _, _ = self.canvas_box()
        self.call("Input.dispatchMouseEvent", type="mouseWheel", x=cx + x, y=cy + y, deltaX=0,
                  deltaY=delta_y)

    def key(self, key, code, key_code):
        text = key if len(key) == 1 else ""
        for kind in ("keyDown", "keyUp"):
            params = {"type": kind, "key": key, "code": code, "windowsVirtualKeyCode": key_code,
                      "nativeVirtualKeyCode": key_code}
            if kind == "keyDown" and text:
                params["text"] = text
            self.call("Input.dispatchKeyEvent", **params)


def region_lit(shot, x, y, w, h, level=24):
    """Fraction of pixels in the rectangle brighter than `level` in any channel."""
    width, height, rgb = shot
    lit = total = 0
    for row in range(max(0, y), min(height, y + h)):
        base = row * width * 3
        for col in range(max(0, x), min(width, x + w)):
            i = base + col * 3
            total += 1
            if max(rgb[i], rgb[i + 1], rgb[i + 2]) > level:
                lit += 1
    return lit / total if total else 0.0


def rows(shot, level=24):
    """(mean row of the lit pixels, first and last row more than half lit), each as a fraction
    of the height from the top: where the fluid is and where its band lies."""
    width, height, rgb = shot
    total = weighted = 0
    first = last = None
    for row in range(height):
        n = 0
        for i in range(row * width * 3, (row + 1) * width * 3, 3):
            if rgb[i] > level or rgb[i + 1] > level or rgb[i + 2] > level:
                n += 1
        total += n
        weighted += n * row
        if n > width // 2:
            first = row if first is None else first
            last = row
    if total == 0:
        return 1.0, 1.0, 1.0
    if first is None:
        first = last = height - 1
    return weighted / total / height, first / height, last / height


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def run(test, web_dir, shot_dir=None):
    """Runs test(browser) and turns the outcome into an exit status and a last line."""
    try:
        with Browser(web_dir) as b:
            try:
                test(b)
            finally:
                if shot_dir and getattr(b, "last_png", None):
                    with open(os.path.join(shot_dir, test.__name__ + ".png"), "wb") as f:
                        f.write(b.last_png)
    except Failure as f:
        print("FAIL:", f, file=sys.stderr)
        return 1
    print("PASS")
    return 0


def screenshot_command(base, out, seconds):
    """Opens the page served at `base` (its folder's URL), waits, saves the whole page."""
    with Browser(base=base.rstrip("/") + "/") as b:
        b.open()
        state = b.wait_for("document.body && document.body.dataset.state", 30)
        b.sleep(seconds)
        with open(out, "wb") as f:
            f.write(b.page_png())
        for line in b.console_errors():
            print("console error:", line, file=sys.stderr)
        return 0 if state == "running" else 1


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "serve":
        handler = functools.partial(Quiet, directory=sys.argv[2])
        http.server.ThreadingHTTPServer(("127.0.0.1", int(sys.argv[3])), handler).serve_forever()
    if len(sys.argv) not in (4, 5) or sys.argv[1] != "screenshot":
        sys.exit(__doc__)
    sys.exit(screenshot_command(sys.argv[2], sys.argv[3],
                                float(sys.argv[4]) if len(sys.argv) == 5 else 5.0))
