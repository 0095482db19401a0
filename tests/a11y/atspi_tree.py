"""What every accessibility check needs: the program's application node, a walk over its
tree that survives pages changing under it, and a bounded wait."""

import time

import pyatspi


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
            pass  # the page changed under the walk


def find_app():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == "Trawlex":
            return app
    return None


def wait(predicate, seconds=30, step=0.3):
    """The predicate's first true value within the time, else None."""
    end = time.time() + seconds
    while time.time() < end:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    return None
