"""A whole capture as a user does it, through AT-SPI: start Trawlex with the demo
template, press Capture on the site's home page, and watch the row count grow page by
page until the caption says the extraction has been completed; then save the grid with
the CSV and Excel buttons through their dialogs."""
import csv
import os
import subprocess
import sys
import tempfile
import time

import openpyxl
import pyatspi

from atspi_tree import find_app, nodes, wait

PROGRAM = sys.argv[1]
PROGRAM_DIR = os.path.dirname(PROGRAM)


def snapshot(app):
    """The row-count panel, the caption and the link texts of the pages on show."""
    count, title, links = None, None, []
    for n in nodes(app):
        try:
            role = n.getRoleName()
            if role == "label" and (n.name or "").endswith("lines in grid"):
                count = int(n.name.split()[0])
            elif role == "frame" and n.getState().contains(pyatspi.STATE_SHOWING):
                title = n.name
            elif role == "link":
                links.append(n.name)
        except Exception:
            pass
    return count, title, links


def first_action(node):
    action = node.queryAction()
    return action.getName(0) if action.nActions else None


def press_named(app, name):
    button = next(n for n in nodes(app) if n.getRoleName() == "push button" and n.name == name)
    if first_action(button) != "Press":
        failures.append("%r offers Press first (actions: %r)" % (name, [
            button.queryAction().getName(i) for i in range(button.queryAction().nActions)]))
    button.queryAction().doAction(0)


def find_dialog(app):
    for n in nodes(app):
        try:
            if n.getRoleName() in ("dialog", "file chooser") and n.getState().contains(
                    pyatspi.STATE_SHOWING):
                return n
        except Exception:
            pass
    return None


def save_through_dialog(app, button, path):
    """Presses the button, types the path into the save dialog and presses Save."""
    press_named(app, button)
    dialog = wait(lambda: find_dialog(app))
    if dialog is None:
        return None
    name_box = next((n for n in nodes(dialog) if n.getRoleName() == "text" and
                     n.getState().contains(pyatspi.STATE_EDITABLE) and
                     n.getState().contains(pyatspi.STATE_SHOWING)), None)
    save = next((n for n in nodes(dialog) if n.getRoleName() == "push button" and
                 n.name == "Save"), None)
    if name_box is None or save is None:
        return None
    name_box.queryEditableText().setTextContents(path)
    save.queryAction().doAction(0)
    return path if wait(lambda: os.path.exists(path) and not find_dialog(app)) else None


home = tempfile.mkdtemp(prefix="trawlex-a11y-")
env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=home + "/config", XDG_RUNTIME_DIR=home,
           XDG_DATA_HOME=home + "/data",
           QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QTWEBENGINE_DISABLE_SANDBOX="1",
           QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu --disable-background-networking "
           "--disable-component-update --no-first-run --proxy-server=127.0.0.1:9")
proc = subprocess.Popen([PROGRAM, "us_demo_directory.orp"], env=env, cwd=PROGRAM_DIR)
failures = []
try:
    app = None
    for _ in range(150):
        app = find_app()
        if app:
            break
        time.sleep(0.2)
    assert app is not None, "the program is on the accessibility bus"

    # The demo site's home page, with its links readable through the accessibility tree.
    deadline = time.time() + 60
    while time.time() < deadline:
        count, title, links = snapshot(app)
        if title and "Template: US-DEMO" in title and any("Browse all" in (l or "") for l in links):
            break
        time.sleep(0.5)
    else:
        failures.append("the template's home page with its links (caption %r)" % title)

    capture = next(n for n in nodes(app)
                   if n.getRoleName() == "push button" and n.name == "Capture")
    capture.queryAction().doAction(0)
    counts = []
    deadline = time.time() + 180
    while time.time() < deadline:
        count, title, _ = snapshot(app)
        if count is not None and (not counts or counts[-1] != count):
            counts.append(count)
        if title and title.endswith("Your extraction has been completed."):
            break
        time.sleep(0.5)
    else:
        failures.append("the run ends with the completion caption (last %r)" % title)
    print("row counts seen:", counts)
    if not counts or counts[-1] != 112:
        failures.append("the whole demo site is captured: 112 rows (got %r)" % counts)
    if counts != sorted(counts) or len(counts) < 4:
        failures.append("the count grows page by page (got %r)" % counts)

    # Both save buttons run their command from the interface: the first action presses.
    press_named(app, "My Grid")
    out = tempfile.mkdtemp(prefix="trawlex-a11y-out-")
    csv_path = save_through_dialog(app, "CSV", os.path.join(out, "demo.csv"))
    if csv_path is None:
        failures.append("CSV pressed through the interface saves through its dialog")
    else:
        with open(csv_path, encoding="utf-8-sig", newline="") as f:
            rows = list(csv.reader(f))
        if len(rows) != 113:
            failures.append("the CSV file holds the captions and 112 rows (got %d)" % len(rows))
    # The Excel dialog opens on the current workbook type.
    xlsx_path = save_through_dialog(app, "Excel", os.path.join(out, "demo.xlsx"))
    if xlsx_path is None:
        failures.append("Excel pressed through the interface saves through its dialog")
    else:
        sheet = openpyxl.load_workbook(xlsx_path, read_only=True).active
        rows = [[c for c in row if c is not None] for row in sheet.iter_rows(values_only=True)]
        if len(rows) != 113 or not rows[0]:
            failures.append("the workbook holds the captions and 112 rows (got %d)" % len(rows))
finally:
    proc.terminate()
    try:
        proc.wait(timeout=30)
    except subprocess.TimeoutExpired:
        proc.kill()

for f in failures:
    print("FAIL:", f)
print("capture check:", "passed" if not failures else "%d failures" % len(failures))
sys.exit(1 if failures else 0)
