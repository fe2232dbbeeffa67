#!/usr/bin/env python3
"""Checks that every project include points down the floors of the source tree, never up or
sideways, and that production code includes no test fixture; prints one line per include that
breaks a rule:

    floor 4  fuzz/ (fuzz targets)
    floor 3  app/
    floor 2  archive/  codec/  testing/ (test helpers)
    floor 1  base/  log/  installsupport/
    floor 0  platform/

A file may include headers of its own folder and of folders on lower floors. Fixtures live in a
testing/ folder of their own (testing/ itself, or FOLDER/testing/): only unit tests (*_test.cpp),
other fixtures and the fuzz targets may include them, and unit tests may include testing/ from
any floor. Exit status 1 when an include breaks a rule.

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
INCLUDE = re.compile(r'^\s*#\s*include\s+"(([^"/]+)/[^"]+)"')


def is_fixture(path):
    """A path (relative to the root, with '/') inside a testing folder."""
    return path.startswith("testing/") or "/testing/" in path


def sources(root, folder):
    for directory, _, names in os.walk(os.path.join(root, folder)):
        for name in sorted(names):
            if name.endswith((".h", ".cpp")):
                full = os.path.join(directory, name)
                yield os.path.relpath(full, root).replace(os.sep, "/"), full


def offences(root):
    for folder in sorted(FLOORS):
        for relative, path in sorted(sources(root, folder)):
            test = relative.endswith("_test.cpp") or is_fixture(relative) or folder == "fuzz"
            with open(path, encoding="utf-8", errors="replace") as source:
                for number, line in enumerate(source, 1):
                    match = INCLUDE.match(line)
                    if match is None or match.group(2) not in FLOORS:
                        continue
                    included, target = match.group(1), match.group(2)
                    if is_fixture(included) and not test:
                        yield "%s:%d: production code includes a test fixture: %s" % (
                            relative, number, line.strip())
                        continue
                    if target == folder or FLOORS[target] < FLOORS[folder]:
                        continue
                    if target == "testing" and test:
                        continue
                    where = "a floor above" if FLOORS[target] > FLOORS[folder] else "beside"
                    yield "%s:%d: includes %s/ from %s/, %s it: %s" % (
                        relative, number, target, folder, where, line.strip())


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..")
    found = list(offences(root))
    for line in found:
        print(line, file=sys.stderr)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
