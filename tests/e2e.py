"""Runs one end-to-end test module for CTest: exit status 0 when its tests ran and passed, 1 on
a failure or an error, and SKIPPED when every test was skipped (the Windows-only modules in the
Linux build, for instance), which tests/CMakeLists.txt declares as the SKIP_RETURN_CODE so that
CTest reports the module as skipped rather than passed.

    python3 e2e.py MODULE"""

import sys
import unittest

SKIPPED = 77


def main(module):
    suite = unittest.defaultTestLoader.loadTestsFromName(module)
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    if not result.wasSuccessful():
        return 1
    # A class skipped in setUpClass shows up as one skip of no test case.
    skipped = sum(1 for test, _ in result.skipped if isinstance(test, unittest.TestCase))
    return SKIPPED if result.testsRun == skipped else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
