"""The page's settings controls, built from the program's table: one per setting with its
description; a live change (gravity) moves the running fluid; a value outside what a setting
accepts comes back bounded; a restart setting (count) waits for Restart; Copy link puts the
running settings, the scene and the seed in the address, and that address starts them again.

Usage: controls_test.py WEB_DIR [SHOT_DIR]
"""
import json
import os
import sys
from urllib.parse import parse_qs, urlparse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from browser import check, rows, run  # noqa: E402

QUERY = "?seed=7&count=3000&window_size=400&point_colors=0&geom_count=0"


def table(b):
    return json.loads(b.evaluate("JSON.stringify(window.tarnwell_settings || null)") or "null")


def change(b, key, value):
    b.evaluate("(() => { const i = document.getElementById('setting-%s'); i.value = %s;"
               " i.dispatchEvent(new Event('change')); })()" % (key, json.dumps(value)))


def setting(t, key):
    return next(s for s in t["settings"] if s["key"] == key)


def controls(b):
    b.open(QUERY)
    check(b.wait_for("document.body && document.body.dataset.state === 'running' &&"
                     " !document.getElementById('controls').hidden", 30),
          "the page did not start with its controls")
    t = table(b)
    with open(os.path.join(sys.argv[1], "config.ini")) as f:
        keys = [line.split("=")[0] for line in f if "=" in line and not line.startswith(";")]
    shown = b.evaluate("[...document.querySelectorAll('#control-list .control label')]"
                       ".map((l) => l.htmlFor.replace('setting-', '')).join(' ')").split()
    check(shown == keys, "controls %s, settings %s" % (shown, keys))
    about = b.evaluate("document.getElementById('setting-viscosity').parentElement"
                       ".querySelector('small').textContent")
    check(about == setting(t, "viscosity")["description"], "viscosity's description: %r" % about)
    check(b.evaluate("document.getElementById('setting-count').type") == "range" and
          b.evaluate("document.getElementById('setting-count').max") == "65536",
          "count is no slider up to 65536")
    print("%d controls, in the order of config.ini, each with its description" % len(shown))

    # Live: gravity reversed from its field, the fluid rises.
    change(b, "gravity", "9.8")
    risen = None
    for _ in range(40):
        b.sleep(0.25)
        risen = rows(b.screenshot())[0]
        if risen < 0.3:
            break
    check(risen is not None and risen < 0.3, "gravity 9.8: the fluid did not rise (%s)" % risen)
    print("gravity 9.8 from its field: the fluid's mean row %.2f" % risen)

    # Bounded: a mass below 0 comes back above 0 and waits for Restart; back again, nothing waits.
    change(b, "mass", "-5")
    b.sleep(0.3)
    t = table(b)
    check(float(setting(t, "mass")["value"]) > 0, "mass -5 was taken: %s" % setting(t, "mass"))
    check(t["restart_waiting"], "a changed mass does not wait for Restart")
    change(b, "mass", "0.0002")
    b.sleep(0.3)
    check(not table(b)["restart_waiting"], "mass back at its value still waits")

    # Restart: 1000 particles.
    change(b, "count", "1000")
    check(b.wait_for("!document.getElementById('restart').disabled", 5), "Restart stays off")
    b.evaluate("document.getElementById('restart').click()")
    check(b.wait_for("/Count: 1000 /.test(document.getElementById('status').textContent)", 10),
          "Restart: not 1000 particles")
    t = table(b)
    print("Restart: 1000 particles, seed %d" % t["seed"])

    # Copy link: the running settings that differ from the defaults, the scene and the seed.
    b.evaluate("document.getElementById('copy-link').click()")
    check(b.wait_for("document.getElementById('copied').textContent !== ''", 5), "no Copy link")
    params = parse_qs(urlparse(b.evaluate("location.href")).query)
    want = {"count": "1000", "gravity": "9.8", "window_size": "400", "point_colors": "0",
            "geom_count": "0", "scene": "box", "seed": str(t["seed"])}
    for key, value in want.items():
        check(params.get(key) == [value], "the link gives %s = %s, not %s" % (key, params.get(key), value))
    check("viscosity" not in params, "the link carries a default: %s" % params)
    print("link: %s" % sorted((k, v[0]) for k, v in params.items()))
    b.open("?" + urlparse(b.evaluate("location.href")).query)
    check(b.wait_for("document.body.dataset.state === 'running' &&"
                     " window.tarnwell_settings !== undefined", 30), "the link did not start")
    again = table(b)
    check(again["seed"] == t["seed"] and setting(again, "gravity")["running"] == "9.8" and
          setting(again, "count")["running"] == "1000", "the link started other settings")
    check(not b.console_errors(), "console errors: %s" % b.console_errors())
    print("the link starts seed %d with the same settings" % again["seed"])


if __name__ == "__main__":
    sys.exit(run(controls, sys.argv[1], sys.argv[2] if len(sys.argv) > 2 else None))
