#!/usr/bin/python3
"""Answers the desktop portal's "Remote desktop" dialog as a person would: switches on "Allow remote
interaction" and presses "Share", through the accessibility bus (the dialog is a GTK window of
xdg-desktop-portal-gnome). Usage: approve-portal-dialog.py [SECONDS] [--share-only]; --share-only leaves
the switch as the dialog shows it (off). Exit 0 once the dialog is answered, 1 when none appeared in time
(default 30 s)."""
import sys
import time

import pyatspi

DIALOG_APP = "xdg-desktop-portal-gnome"


def find(node, want, depth=0):
    if depth > 40:
        return None
    try:
        if want(node):
            return node
        for child in node:
            found = find(child, want, depth + 1)
            if found:
                return found
    except Exception:  # a window closing while it is walked
        pass
    return None


def answer(allow_interaction):
    desktop = pyatspi.Registry.getDesktop(0)
    app = find(desktop, lambda a: a.getRole() == pyatspi.ROLE_APPLICATION and a.name == DIALOG_APP)
    if not app:
        return False
    app.clear_cache()  # what it cached of the program before the dialog opened
    share = find(app, lambda a: a.getRole() == pyatspi.ROLE_PUSH_BUTTON and "Share" in a.name)
    if not share or not share.getState().contains(pyatspi.STATE_SENSITIVE):
        return False
    allow = find(app, lambda a: a.getRole() == pyatspi.ROLE_CHECK_BOX and a.name == "Allow remote interaction")
    if allow_interaction and allow and not allow.getState().contains(pyatspi.STATE_CHECKED):
        allow.queryAction().doAction(0)
        deadline = time.monotonic() + 5
        while not allow.getState().contains(pyatspi.STATE_CHECKED):
            if time.monotonic() > deadline:
                raise SystemExit("the switch did not turn on")
            time.sleep(0.05)
    share.queryAction().doAction(0)
    return True


def main():
    args = [a for a in sys.argv[1:] if a != "--share-only"]
    deadline = time.monotonic() + (float(args[0]) if args else 30)
    while time.monotonic() < deadline:
        if answer("--share-only" not in sys.argv):
            print("answered", flush=True)
            return 0
        time.sleep(0.3)  # each look walks the program's windows over the bus: not too often
    print("no dialog", flush=True)
    return 1


if __name__ == "__main__":
    sys.exit(main())
