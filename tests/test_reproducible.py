"""scripts/check-reproducible.sh: its comparison of two builds names each file that differs in its
bytes or that only one build made, and the check does not start without the first builds."""

import os
import shutil
import subprocess
import unittest

import harness


@unittest.skipIf(harness.PLATFORM == "win32", "the script is checked with the native build")
class ReproducibilityCheckTest(harness.ScratchDirTestCase):
    def check(self, *args, scripts=harness.SCRIPTS):
        return subprocess.run(["bash", os.path.join(scripts, "check-reproducible.sh")] + list(args),
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              universal_newlines=True)

    def test_comparison_of_two_builds(self):
        self.write_file("first/bin/lzmulti", b"\x7fELF program")
        self.write_file("first/README.md", "text")
        cases = [
            ({}, 0, "Reproducible, folders: 2 files the same in both builds"),
            ({"bin/lzmulti": b"\x7fELF programme"}, 1, "the two builds differ in bin/lzmulti"),
            ({"share/extra": b""}, 1, "the two builds made different files"),
        ]
        for number, (changes, returncode, message) in enumerate(cases):
            with self.subTest(message=message):
                second = self.path("second%d" % number)
                shutil.copytree(self.path("first"), second)
                for name, data in changes.items():
                    self.write_file(os.path.join(second, name), data)
                proc = self.check("--compare", self.path("first"), second)
                self.assertEqual(proc.returncode, returncode, proc.stderr)
                self.assertIn(message, proc.stdout + proc.stderr)
        self.assertIn("> ./share/extra", proc.stderr)

    def test_does_not_start_without_the_first_builds(self):
        # The scripts alone, in a tree that holds no build.
        scripts = self.path("tree", "scripts")
        harness.copy_scripts(scripts, ["check-reproducible.sh", "lib.sh"])
        for option, message in (("--linux", "no native build in build/"),
                                ("--win32", "no kit in build-win32/kit/")):
            with self.subTest(option=option):
                proc = self.check(option, scripts=scripts)
                self.assertEqual(proc.returncode, 1, proc.stderr)
                self.assertIn(message, proc.stderr)


if __name__ == "__main__":
    unittest.main()
