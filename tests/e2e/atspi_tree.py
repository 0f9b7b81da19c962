"""Prints as JSON the accessibility tree of the running application with the given name (any case), or null.

Run with the system Python, the one that has pyatspi; the bus is found from the environment."""

import json
import sys

import pyatspi


def node(accessible):
    try:
        box = accessible.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        extents = [box.x, box.y, box.width, box.height]
    except NotImplementedError:
        extents = None
    children = (accessible.getChildAtIndex(i) for i in range(accessible.childCount))
    return {"role": accessible.getRoleName(), "name": accessible.name, "extents": extents,
            "showing": accessible.getState().contains(pyatspi.STATE_SHOWING),
            "children": [node(child) for child in children if child is not None]}  # fmt: skip


desktop = pyatspi.Registry.getDesktop(0)
applications = (desktop.getChildAtIndex(i) for i in range(desktop.childCount))
found = next((a for a in applications if a is not None and a.name.casefold() == sys.argv[1].casefold()), None)
print(json.dumps(found and node(found)))
