"""Retakes docs/screenshot.png: starts Trawlex from the build's program folder in a virtual
display with the demo template, captures the whole demo site through the accessibility
interface as a user would, shows the grid, and grabs the screen.

    dbus-run-session -- xvfb-run -a -s "-screen 0 1280x800x24" \\
        /usr/bin/python3 docs/take_screenshot.py build/bin/trawlex docs/screenshot.png

Needs xwd and netpbm (x11-apps, netpbm) besides the test packages."""
import os
import subprocess
import sys
import tempfile
import time

import pyatspi

PROGRAM = os.path.abspath(sys.argv[1])
OUT = os.path.abspath(sys.argv[2])


def nodes(root):
    stack = [root]
    while stack:
        node = stack.pop()
        if node is None:
            continue
        yield node
        try:
            stack.extend(node.getChildAtIndex(i) for i in range(node.childCount))
        except Exception:
            pass


def find(app, role, name):
    for n in nodes(app):
        try:
            if n.getRoleName() == role and n.name == name:
                return n
        except Exception:
            pass  # the page changed under the walk
    return None


def has_link(app, text):
    for n in nodes(app):
        try:
            if n.getRoleName() == "link" and text in (n.name or ""):
                return True
        except Exception:
            pass
    return False


def wait(predicate, seconds, what=""):
    end = time.time() + seconds
    while time.time() < end:
        value = predicate()
        if value:
            return value
        time.sleep(0.5)
    raise SystemExit("timed out waiting for " + what)


def trawlex():
    desktop = pyatspi.Registry.getDesktop(0)
    return next((desktop.getChildAtIndex(i) for i in range(desktop.childCount)
                 if desktop.getChildAtIndex(i) is not None
                 and desktop.getChildAtIndex(i).name == "Trawlex"), None)


home = tempfile.mkdtemp(prefix="trawlex-shot-")
env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=home + "/config", XDG_RUNTIME_DIR=home,
           XDG_DATA_HOME=home + "/data",  # a fresh capture journal, not the user's grid
           QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QTWEBENGINE_DISABLE_SANDBOX="1",
           QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu --disable-background-networking "
           "--disable-component-update --no-first-run --proxy-server=127.0.0.1:9")
proc = subprocess.Popen([PROGRAM, "us_demo_directory.orp"], env=env,
                        cwd=os.path.dirname(PROGRAM))
try:
    app = wait(trawlex, 60, "the program")
    wait(lambda: has_link(app, "Browse all"), 120, "the demo site")
    find(app, "push button", "Capture").queryAction().doAction(0)
    wait(lambda: find(app, "label", "112 lines in grid"), 400, "112 rows")
    time.sleep(3)
    find(app, "push button", "My Grid").queryAction().doAction(0)
    time.sleep(2)
    # Without a window manager the window keeps its design size: cut it out of the screen.
    frame = next(f for f in (app.getChildAtIndex(i) for i in range(app.childCount))
                 if f is not None and f.getState().contains(pyatspi.STATE_SHOWING))
    box = frame.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    dump = subprocess.run(["xwd", "-root", "-silent"], check=True, capture_output=True).stdout
    pnm = subprocess.run(["xwdtopnm"], input=dump, check=True, capture_output=True).stdout
    pnm = subprocess.run(["pnmcut", str(box.x), str(box.y), str(box.width), str(box.height)],
                         input=pnm, check=True, capture_output=True).stdout
    png = subprocess.run(["pnmtopng", "-compression", "9"], input=pnm, check=True,
                         capture_output=True).stdout
    with open(OUT, "wb") as f:
        f.write(png)
finally:
    proc.terminate()
    proc.wait(30)
