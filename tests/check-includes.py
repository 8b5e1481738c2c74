#!/usr/bin/env python3
"""Fails when a file of the program includes a file of its own level or above, other than its own folder's.

The faces sit on the window-free layout and the system's seams, which sit on the framework: a
folder that reached back up, or into a sibling (the dialog into the command line, say), would tie
parts together that a newcomer expects to read, change and test apart.
    check-includes.py <source dir>
"""
import os
import re
import sys

# The higher the number, the more a folder may build on; a folder sees only lower numbers and itself.
LEVELS = {
    "framework": 0,
    "layout": 1, "system": 1, "res": 1,
    "dialog": 2, "cmdline": 2,
    "dsc": 3,
    "app": 4, "console": 4,
}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.MULTILINE)


def faults(root):
    for folder, level in sorted(LEVELS.items()):
        for dirpath, _, names in os.walk(os.path.join(root, folder)):
            for name in sorted(names):
                if not name.endswith((".h", ".cpp", ".c", ".rc")):
                    continue
                path = os.path.join(dirpath, name)
                with open(path, encoding="utf-8", errors="replace") as f:
                    text = f.read()
                for included in INCLUDE.findall(text):
                    # A bare name is the including file's neighbour.
                    target = included.split("/")[0] if "/" in included else folder
                    if target == folder:
                        continue
                    if target not in LEVELS:
                        yield f"{os.path.relpath(path, root)}: includes {included}, which is in no folder of the program"
                    elif LEVELS[target] >= level:
                        yield f"{os.path.relpath(path, root)}: includes {included}, of {target}/, which is not below {folder}/"


def main():
    found = list(faults(sys.argv[1] if len(sys.argv) > 1 else "."))
    for fault in found:
        print(fault)
    if not found:
        print("every include runs to the file's own folder or below it")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
