"""Nothing lost, as a user finds it through AT-SPI: start Trawlex with the demo template,
press Capture, kill the program (SIGKILL) once the first pages are on screen, start it
again and find every row that was on screen; press Resume Capture and get the rest of the
site; a third start brings the whole grid back with nothing left to resume."""
import os
import signal
import subprocess
import sys
import tempfile
import time

import pyatspi

from atspi_tree import find_app, nodes, wait

PROGRAM = sys.argv[1]
PROGRAM_DIR = os.path.dirname(PROGRAM)
DEMO_ROWS = 112
# The grid after each page of the demo site (eight listings repeat across pages).
PAGE_ENDS = [0, 20, 39, 58, 76, 95, DEMO_ROWS]
COMPLETED = "Your extraction has been completed."


def snapshot(app):
    """The row count, the caption, the journal's status text and Resume Capture's state."""
    count, title, journal, resume = None, None, None, None
    for n in nodes(app):
        try:
            role, name = n.getRoleName(), n.name or ""
            if role == "label" and name.endswith("lines in grid"):
                count = int(name.split()[0].replace(",", ""))
            elif role == "label" and "from the last session" in name:
                journal = name
            elif role == "frame" and n.getState().contains(pyatspi.STATE_SHOWING):
                title = name
            elif role == "push button" and name == "Resume Capture":
                resume = n
        except Exception:
            pass
    return count, title, journal, resume


def enabled(node):
    return node is not None and node.getState().contains(pyatspi.STATE_ENABLED)


home = tempfile.mkdtemp(prefix="trawlex-a11y-")
env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=home + "/config", XDG_RUNTIME_DIR=home,
           XDG_DATA_HOME=home + "/data",
           QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QTWEBENGINE_DISABLE_SANDBOX="1",
           QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu --disable-background-networking "
           "--disable-component-update --no-first-run --proxy-server=127.0.0.1:9")
failures = []


def start(*args):
    proc = subprocess.Popen([PROGRAM, *args], env=env, cwd=PROGRAM_DIR)
    # A start restoring a journal on a loaded machine can take a while; a hang still fails.
    app = wait(find_app, 90)
    assert app is not None, "the program is on the accessibility bus"
    return proc, app


def stop(proc):
    if proc.poll() is None:
        proc.terminate()
    try:
        proc.wait(timeout=30)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
    # The next start must find the bus without this one.
    wait(lambda: find_app() is None, 10)


def wait_for_template(app):
    if not wait(lambda: "Template: US-DEMO" in (snapshot(app)[1] or ""), 60):
        failures.append("the template loads (caption %r)" % snapshot(app)[1])


# First start: capture until the first pages are on screen, then kill.
proc, app = start("us_demo_directory.orp")
try:
    wait_for_template(app)
    next(n for n in nodes(app)
         if n.getRoleName() == "push button" and n.name == "Capture").queryAction().doAction(0)
    on_screen = wait(lambda: (lambda c: c if c and c >= PAGE_ENDS[1] else None)(
        snapshot(app)[0]), 120)
    os.kill(proc.pid, signal.SIGKILL)
    proc.wait(timeout=30)
finally:
    stop(proc)
print("rows on screen at the kill:", on_screen)
if on_screen is None or on_screen >= DEMO_ROWS:
    failures.append("the kill falls inside the run (%r rows on screen)" % on_screen)

# Second start: every row on screen comes back, in whole pages; Resume Capture gets the rest.
proc, app = start("us_demo_directory.orp")
try:
    wait_for_template(app)
    count, _, journal, resume = snapshot(app)
    print("restored:", count, repr(journal))
    if count not in PAGE_ENDS or on_screen is None or count < on_screen:
        failures.append("whole pages, at least the %r rows on screen, come back (got %r)"
                        % (on_screen, count))
    if journal != "Restored %d lines from the last session" % (count or 0):
        failures.append("the status bar says how many lines came back (got %r)" % journal)
    if not wait(lambda: enabled(snapshot(app)[3]), 10):
        failures.append("Resume Capture is offered with the template loaded")
    else:
        snapshot(app)[3].queryAction().doAction(0)
        if not wait(lambda: (snapshot(app)[1] or "").endswith(COMPLETED), 180):
            failures.append("the resumed run completes (caption %r)" % snapshot(app)[1])
        count, _, _, resume = snapshot(app)
        if count != DEMO_ROWS:
            failures.append("the resumed run ends with the whole site: %d rows (got %r)"
                            % (DEMO_ROWS, count))
        if enabled(resume):
            failures.append("nothing is left to resume after the run")
finally:
    stop(proc)

# Third start, without a template: the whole grid, nothing to resume.
proc, app = start()
try:
    if not wait(lambda: snapshot(app)[0] == DEMO_ROWS, 30):
        failures.append("the completed grid comes back (got %r)" % snapshot(app)[0])
    if enabled(snapshot(app)[3]):
        failures.append("a completed run offers no Resume Capture")
finally:
    stop(proc)

for f in failures:
    print("FAIL:", f)
print("journal check:", "passed" if not failures else "%d failures" % len(failures))
sys.exit(1 if failures else 0)
