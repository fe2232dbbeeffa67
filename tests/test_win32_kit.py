"""The Windows build's deliverables need nothing beyond Windows' own DLLs, and halyard4inst.dll
exports RegisterModule and RunApplication under their plain names (scripts/check-pe.py, which
also guards the kit in scripts/build-win32.sh)."""

import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

import harness

CHECKER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts", "check-pe.py")
MACHINES = {0x14C: ("i686", "i386"), 0x8664: ("x86_64", "x86-64")}


def pe_machine(path):
    with open(path, "rb") as f:
        data = f.read(4096)
    (pe_offset,) = struct.unpack_from("<I", data, 0x3C)
    if data[pe_offset:pe_offset + 4] != b"PE\0\0":
        raise AssertionError("%s is not a PE file" % path)
    (machine,) = struct.unpack_from("<H", data, pe_offset + 4)
    return MACHINES[machine]


@unittest.skipUnless(harness.PLATFORM == "win32", "Windows build only")
class KitBinariesTest(unittest.TestCase):
    def binaries(self):
        files = [harness.lzmulti_path(), os.environ.get("HALYARD4INST", "")]
        for path in files:
            self.assertTrue(os.path.isfile(path), path)
        return files

    def check(self, files):
        arch, machine = pe_machine(files[0])
        objdump = arch + "-w64-mingw32-objdump"
        if shutil.which(objdump) is None:
            self.skipTest(objdump + " is not installed")
        return subprocess.run([sys.executable, CHECKER, "--objdump", objdump, "--machine", machine]
                              + files, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              universal_newlines=True)

    def test_imports_and_exports(self):
        proc = self.check(self.binaries())
        self.assertEqual(proc.returncode, 0, proc.stderr)

    def test_checker_refuses_a_library_without_the_two_exports(self):
        # The checker itself must see faults: a module that exports other names, copied under
        # the library's file name, fails the export check.
        lzmulti, _ = self.binaries()
        module = os.path.join(os.path.dirname(os.environ.get("HALYARD4INST", "")), "server_ok.dll")
        if not os.path.isfile(module):
            self.skipTest("no test server module built")
        scratch = tempfile.mkdtemp(prefix="kit-check-")
        try:
            impostor = os.path.join(scratch, "halyard4inst.dll")
            shutil.copy(module, impostor)
            proc = self.check([lzmulti, impostor])
            self.assertEqual(proc.returncode, 1)
            self.assertIn("does not export RegisterModule undecorated", proc.stderr)
        finally:
            shutil.rmtree(scratch)


if __name__ == "__main__":
    unittest.main()
