#!/usr/bin/env python3
"""Checks that every project include points down the floors of the source tree, never up or
sideways, and prints one line per include that does not:

    floor 4  fuzz/ (fuzz targets)
    floor 3  app/
    floor 2  archive/  codec/  testing/ (test helpers)
    floor 1  base/  log/  installsupport/
    floor 0  platform/

A file may include headers of its own folder and of folders on lower floors. Unit tests
(*_test.cpp) may include testing/ as well. Exit status 1 when an include breaks the rule.

    scripts/check-includes.py [ROOT]      ROOT: the source tree (default: this script's)"""

import os
import re
import sys

FLOORS = {
    "platform": 0,
    "base": 1,
    "log": 1,
    "installsupport": 1,
    "archive": 2,
    "codec": 2,
    "testing": 2,
    "app": 3,
    "fuzz": 4,
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/[^"]+"')


def offences(root):
    for folder in sorted(FLOORS):
        directory = os.path.join(root, folder)
        if not os.path.isdir(directory):
            continue
        for name in sorted(os.listdir(directory)):
            if not name.endswith((".h", ".cpp")):
                continue
            path = os.path.join(directory, name)
            with open(path, encoding="utf-8", errors="replace") as source:
                for number, line in enumerate(source, 1):
                    match = INCLUDE.match(line)
                    if match is None or match.group(1) not in FLOORS:
                        continue
                    target = match.group(1)
                    if target == folder or FLOORS[target] < FLOORS[folder]:
                        continue
                    if target == "testing" and name.endswith("_test.cpp"):
                        continue
                    where = "a floor above" if FLOORS[target] > FLOORS[folder] else "beside"
                    yield "%s/%s:%d: includes %s/ from %s/, %s it: %s" % (
                        folder, name, number, target, folder, where, line.strip())


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..")
    found = list(offences(root))
    for line in found:
        print(line, file=sys.stderr)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
