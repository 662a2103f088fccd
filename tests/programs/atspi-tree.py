"""What a screen reader sees of the updater dialog over AT-SPI: the dialog's
controls with their roles and names, the captions' labelled-by relations,
the Image File field editable and not read-only, and the reading order of
the buttons. Usage: atspi-tree.py (with the dialog running on the session's
accessibility bus). Exit 0 when the tree is as expected."""
import sys
import time

import pyatspi

TITLE = "Brevik Firmware Update Utility v1.7"


def find_dialog(deadline):
    while time.time() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            if app is None:
                continue
            for window in app:
                if window is not None and window.name == TITLE:
                    return window
        time.sleep(0.2)
    return None


def walk(node, found):
    for child in node:
        if child is None:
            continue
        found.append(child)
        walk(child, found)


def main():
    dialog = find_dialog(time.time() + 30)
    if dialog is None:
        print("FAIL: no dialog on the accessibility bus")
        return 1
    # Detection runs once the dialog is up: wait for its end.
    deadline = time.time() + 15
    nodes = []
    while time.time() < deadline:
        nodes = []
        walk(dialog, nodes)
        if any(n.name == "Not Found" for n in nodes):
            break
        time.sleep(0.2)
    failures = []
    by_name = {}
    for n in nodes:
        by_name.setdefault((n.getRoleName(), n.name), n)

    expected = [
        ("push button", "Detect"),
        ("push button", "Browse"),
        ("push button", "Diagnose"),
        ("push button", "Update!"),
        ("push button", "Cancel"),
        ("text", "Image File"),
        ("progress bar", "Firmware update progress"),
        ("label", "Hardware Description:"),
        ("label", "Current Firmware Version:"),
        ("label", "Port:"),
        ("label", "Signature:"),
    ]
    for role, name in expected:
        if (role, name) not in by_name:
            failures.append("no %s named %r" % (role, name))

    field = by_name.get(("text", "Image File"))
    if field is not None:
        states = field.getState()
        if not states.contains(pyatspi.STATE_EDITABLE):
            failures.append("the Image File field is not editable")
        if states.contains(pyatspi.STATE_READ_ONLY):
            failures.append("the Image File field is also read-only")
        labels = [t.name for r in field.getRelationSet()
                  if r.getRelationType() == pyatspi.RELATION_LABELLED_BY
                  for t in (r.getTarget(i) for i in range(r.getNTargets()))]
        if "Image File:" not in labels:
            failures.append("the Image File field is labelled by %r" % labels)

    bar = by_name.get(("progress bar", "Firmware update progress"))
    if bar is not None and bar.queryValue() is None:
        failures.append("the progress bar tells no value")

    buttons = [n.name for n in nodes if n.getRoleName() == "push button"]
    order = [b for b in buttons if b in ("Detect", "Browse", "Update!", "Cancel")]
    if order != ["Detect", "Browse", "Update!", "Cancel"]:
        failures.append("the buttons read in the order %r" % order)

    for failure in failures:
        print("FAIL: " + failure)
    if not failures:
        print("ok: %d accessible objects, as a screen reader should find them" % len(nodes))
    return 1 if failures else 0


sys.exit(main())
