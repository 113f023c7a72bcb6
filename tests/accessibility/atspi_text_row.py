"""A text row as a screen reader meets it: 查看变化's lines, and the URL dialog's fields
for the way of comparing, each read through AT-SPI. The window is driven with xdotool."""
import subprocess
import sys
import time

import pyatspi


def walk(acc, depth=0):
    if acc is None or depth > 30:
        return
    yield acc
    try:
        for i in range(acc.childCount):
            yield from walk(acc.getChildAtIndex(i), depth + 1)
    except Exception:  # an object that went away while it was walked
        return


def app():
    for a in pyatspi.Registry.getDesktop(0):
        if a is not None and a.name and "sentrel" in a.name.lower():
            return a
    return None


def wait_for(predicate, what, bound=15):
    deadline = time.time() + bound
    while time.time() < deadline:
        a = app()
        found = a and next((x for x in walk(a) if predicate(x)), None)
        if found:
            return found
        time.sleep(0.3)
    print("not found on the accessibility bus: " + what)
    a = app()
    for i in range(a.childCount if a else 0):
        print("  window: %s %r" % (a.getChildAtIndex(i).getRoleName(), a.getChildAtIndex(i).name))
    sys.exit(1)


def key(*keys):
    subprocess.run(["xdotool", "key", *keys], check=True)
    time.sleep(0.5)


def row_menu(y):
    subprocess.run(["xdotool", "mousemove", "100", str(y), "click", "3"], check=True)
    time.sleep(0.8)


role = lambda x, r: x.getRole() == r
# A window of the program by its title (GTK gives dialogs either role).
window = lambda x, title: x.getRole() in (pyatspi.ROLE_DIALOG, pyatspi.ROLE_FRAME) and x.name == title
# The second row (the text row) sits one row below the first.
table = wait_for(lambda x: role(x, pyatspi.ROLE_TREE_TABLE) or role(x, pyatspi.ROLE_TABLE), "the list")
row_menu(155)
key("Up", "Return")  # 查看变化, the menu's last entry
frame = wait_for(lambda x: window(x, "查看变化"), "the 查看变化 window")
# The versions first, then the lines of the two compared.
tables = [x for x in walk(frame) if role(x, pyatspi.ROLE_TREE_TABLE) or role(x, pyatspi.ROLE_TABLE)]
versions = tables[0].queryTable()
print("versions: " + " / ".join(" ".join(versions.getAccessibleAt(r, c).name for c in (0, 2, 3))
                                for r in range(versions.nRows)))
lines = tables[-1]
cells = lines.queryTable()
print("查看变化: " + " / ".join(cells.getAccessibleAt(r, 0).name for r in range(cells.nRows)))
buttons = sorted(x.name for x in walk(frame) if role(x, pyatspi.ROLE_PUSH_BUTTON))
print("buttons: " + ", ".join(buttons))
key("Escape")

row_menu(155)
key("Down", "Down", "Down", "Down", "Down", "Return")  # 编辑...
dialog = wait_for(lambda x: window(x, "编辑网址"), "the URL dialog")
combo = next((x for x in walk(dialog) if role(x, pyatspi.ROLE_COMBO_BOX)), None)
print("比较方式: " + (combo.name if combo else "(none)"))
texts = [x for x in walk(dialog) if role(x, pyatspi.ROLE_TEXT)]
values = []
for t in texts:
    try:
        values.append(t.queryText().getText(0, -1))
    except Exception:
        values.append("?")
print("fields: " + " | ".join(values))
key("Escape")
