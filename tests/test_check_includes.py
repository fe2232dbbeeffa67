"""The include check of scripts/check-includes.py sees the includes that point up a floor or
sideways, and production code that includes a fixture, and only those."""

import os
import subprocess
import sys
import tempfile
import unittest

import harness

CHECKER = os.path.join(harness.SCRIPTS, "check-includes.py")


class CheckIncludesTest(unittest.TestCase):
    def test_names_each_include_against_the_floors(self):
        files = {
            "archive/up.h": '#include "app/program.h"\n',
            "codec/beside.cpp": '#include <lzma.h>\n#include "archive/file.h"\n',
            "app/down.cpp": '#include "archive/file.h"\n#include "app/program.h"\n',
            "codec/x_test.cpp": '#include "testing/logcapture.h"\n#include "gtest/gtest.h"\n',
            "codec/helper.cpp": '#include "testing/logcapture.h"\n',
            "app/testing/fake.h": '#include "app/program.h"\n',
            "app/expand_test.cpp": '#include "app/testing/fake.h"\n',
            "app/expand.cpp": '#include "app/testing/fake.h"\n',
        }
        with tempfile.TemporaryDirectory() as root:
            for name, text in files.items():
                os.makedirs(os.path.join(root, os.path.dirname(name)), exist_ok=True)
                with open(os.path.join(root, name), "w") as f:
                    f.write(text)
            proc = subprocess.run([sys.executable, CHECKER, root], capture_output=True, text=True)
        self.assertEqual(proc.returncode, 1)
        self.assertEqual(proc.stderr.splitlines(), [
            'app/expand.cpp:1: production code includes a test fixture: '
            '#include "app/testing/fake.h"',
            'archive/up.h:1: includes app/ from archive/, a floor above it: #include "app/program.h"',
            'codec/beside.cpp:2: includes archive/ from codec/, beside it: #include "archive/file.h"',
            'codec/helper.cpp:1: production code includes a test fixture: '
            '#include "testing/logcapture.h"'])


if __name__ == "__main__":
    unittest.main()
