"""Drives the real Trawlex window through AT-SPI: every command is reachable by its
name, the displays expose their text, and the window closes from its side bar."""
import os
import subprocess
import sys
import tempfile
import time

import pyatspi

from atspi_tree import find_app, nodes, wait

PROGRAM = sys.argv[1]
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def by_name(app, role, name):
    for n in nodes(app):
        if n.getRoleName() == role and n.name == name:
            return n
    return None


def text_of(node):
    try:
        t = node.queryText()
        return t.getText(0, t.characterCount)
    except NotImplementedError:
        return node.name


def press(node):
    action = node.queryAction()
    for i in range(action.nActions):
        if action.getName(i) in ("Press", "press", "click"):
            action.doAction(i)
            return
    action.doAction(0)


home = tempfile.mkdtemp(prefix="trawlex-a11y-")
env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=home + "/config", XDG_RUNTIME_DIR=home,
           XDG_DATA_HOME=home + "/data",
           QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QTWEBENGINE_DISABLE_SANDBOX="1",
           QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu --disable-background-networking "
           "--disable-component-update --no-first-run --proxy-server=127.0.0.1:9")
proc = subprocess.Popen([PROGRAM], env=env)
try:
    app = wait(find_app)
    check(app is not None, "the program is on the accessibility bus")
    if app is None:
        raise SystemExit(1)
    # The main window is the showing frame; the notification window is a hidden one.
    frame = wait(lambda: next((n for n in nodes(app)
                                   if n.getRoleName() == "frame" and showing(n)), None))
    check(frame is not None and frame.name.startswith("Trawlex - "),
          "window caption starts with the title prefix (%r)" % (frame.name if frame else None))

    for role, name in [
        ("push button", "Go Back"), ("push button", "Go Forward"), ("push button", "Refresh Page"),
        ("push button", "Stop Loading Page"), ("push button", "Open Page Template"),
        ("push button", "Go to Start Page"), ("push button", "Capture Data from current Page"),
        ("push button", "Show Images in Browser (On/Off)"), ("push button", "Delete Duplicates"),
        ("push button", "Delete selected lines"), ("push button", "Empty Grid"),
        ("push button", "Excel"), ("push button", "CSV"), ("push button", "Upgrade?"),
        ("push button", "Capture"), ("push button", "My Grid"), ("push button", "Close Application"),
        ("push button", "Resume Capture"), ("push button", "Detect Listings"),
        ("push button", "Save Template"),
        ("check box", "Automatic Page Turn"), ("page tab", "Web Navigation"), ("page tab", "Data Grid"),
        ("label", "Browsing"), ("label", "Feedback"),
    ]:
        check(by_name(app, role, name) is not None, "%s named %r" % (role, name))

    unnamed = [n for n in nodes(app) if n.getRoleName() == "push button" and not n.name and showing(n)]
    check(not unnamed, "every button on show has a name (%d without)" % len(unnamed))

    # A command button runs its command with its first action, menu or not. (The tool
    # bars' own overflow buttons only open a menu and take no focus: not commands.)
    for n in nodes(app):
        if n.getRoleName() == "push button" and showing(n) and n.name:
            action = n.queryAction()
            names = [action.getName(i) for i in range(action.nActions)]
            if "SetFocus" in names:
                check(names[0] == "Press", "%r offers Press first (actions: %r)" % (n.name, names))

    # Every top-level frame says what it is; the hidden browsers are not anonymous frames.
    frames = [app.getChildAtIndex(i) for i in range(app.childCount)]
    names = [f.name for f in frames if f is not None]
    check(all(names) and "Offscreen" not in names,
          "every frame of the program has a telling name (%r)" % names)

    check(by_name(app, "label", "0 lines in grid") is not None, "the row count panel reads '0 lines in grid'")
    check(by_name(app, "label", "0") is not None, "the grid badge reads 0")
    indicator = next((n for n in nodes(app) if n.name == "Progress indicator"), None)
    check(indicator is not None and text_of(indicator).startswith("PROGRESS INDICATOR"),
          "the progress indicator exposes its text")

    grid = by_name(app, "tree", "Data grid")
    check(grid is not None and not showing(grid), "the grid starts hidden behind the web page")
    press(by_name(app, "push button", "My Grid"))
    check(wait(lambda: showing(grid), 10), "'My Grid' shows the Data Grid page")

    press(by_name(app, "push button", "Close Application"))
    try:
        code = proc.wait(timeout=60)
    except subprocess.TimeoutExpired:
        code = None
    check(code == 0, "the program ends with 0 after 'Close Application' (got %r)" % code)
finally:
    if proc.poll() is None:
        proc.kill()
        proc.wait()

print("accessibility check:", "passed" if not failures else "%d failures" % len(failures))
sys.exit(1 if failures else 0)
