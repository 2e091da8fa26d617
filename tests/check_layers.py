#!/usr/bin/env python3
"""Every include of the program's own folders points to its own folder or
to a folder on a lower floor (README, "Layout"); this fails on one that
points sideways or up, naming the file and the line."""
import os
import re
import sys

# From the basement up; folders on one floor do not use each other.
FLOORS = [
    ["base"],
    ["forms", "cadhost", "sheethost", "dimtable"],
    ["model"],
    ["intake", "tolerance"],
    ["browse"],
    ["marking", "reports"],
    ["app"],
    ["cli"],
]
FLOOR = {folder: n for n, folders in enumerate(FLOORS) for folder in folders}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/')


def violations(root):
    found = []
    for folder in FLOOR:
        for dirpath, _, names in os.walk(os.path.join(root, folder)):
            for name in sorted(names):
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.join(dirpath, name)
                with open(path, encoding="utf-8") as f:
                    for number, line in enumerate(f, 1):
                        m = INCLUDE.match(line)
                        if not m or m.group(1) not in FLOOR:
                            continue
                        target = m.group(1)
                        if target == folder or FLOOR[target] < FLOOR[folder]:
                            continue
                        where = "its own floor" if FLOOR[target] == FLOOR[
                            folder] else "a floor above"
                        found.append(f"{os.path.relpath(path, root)}:{number}: "
                                     f"{folder}/ includes {target}/, {where}")
    return found


def folders_in_tree(root):
    """Every folder holding C++ of the program is on a floor."""
    skip = {"tests", "bench", "build", "samples", "dimdata", "scripts"}
    missing = []
    for entry in sorted(os.listdir(root)):
        path = os.path.join(root, entry)
        if (entry.startswith(".") or entry.startswith("build") or
                entry in skip or not os.path.isdir(path)):
            continue
        has_code = any(n.endswith((".h", ".cpp"))
                       for _, _, names in os.walk(path) for n in names)
        if has_code and entry not in FLOOR:
            missing.append(f"{entry}/ holds C++ but stands on no floor")
    return missing


def main(root):
    problems = violations(root) + folders_in_tree(root)
    for p in problems:
        print(p)
    if problems:
        sys.exit(1)
    print(f"every include points down or to its own folder "
          f"({len(FLOOR)} folders on {len(FLOORS)} floors)")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else
         os.path.join(os.path.dirname(__file__), ".."))
