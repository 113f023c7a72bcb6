"""Prints the URL list's cells as a screen reader reaches them: through AT-SPI."""
import sys
import time

import pyatspi


def find(acc, roles, depth=0):
    if acc is None or depth > 30:
        return None
    try:
        if acc.getRole() in roles:
            return acc
        for i in range(acc.childCount):
            found = find(acc.getChildAtIndex(i), roles, depth + 1)
            if found:
                return found
    except Exception:  # an object that went away while it was walked
        pass
    return None


deadline = time.time() + 20
table = None
while table is None and time.time() < deadline:
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name and "sentrel" in app.name.lower():
            table = find(app, (pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_TABLE))
    if table is None:
        time.sleep(0.3)
if table is None:
    print("no list found on the accessibility bus")
    sys.exit(1)
cells = table.queryTable()
if len(sys.argv) > 1 and sys.argv[1] == "--headers":
    print("|".join((cells.getColumnHeader(c).name or "") if cells.getColumnHeader(c) else ""
                   for c in range(cells.nColumns)))
    sys.exit(0)
for r in range(cells.nRows):
    print("|".join(cells.getAccessibleAt(r, c).name or "" for c in range(cells.nColumns)))
