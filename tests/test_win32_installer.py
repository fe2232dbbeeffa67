"""A real installer as the kit's client: installsupport/testing/testinstaller_win32.nsi, built with
makensis into a 32-bit NSIS installer and run silently under Wine, installs the kit's
halyard4inst.dll and lzmulti.exe (the stripped files that ship) with a test module, the test
program and an archive made by the Linux build, and calls both exports of the library by name
through NSIS's System plug-in: RegisterModule on a test module, on a missing module and on a
module without entry points, RunApplication on the test program and on lzmulti.exe, which unpacks
the archive. The installer writes each result code and message into a file compared here."""

import os
import shutil
import subprocess
import tempfile
import unittest

import archive_util as au
import harness
from test_win32_lzmulti import native_lzmulti, windows_path

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "installsupport",
                      "testing", "testinstaller_win32.nsi")
# The installer makes the folder sub of its unpacking folder.
MEMBERS = {
    "readme.txt": b"installed by the test installer\r\n" * 50,
    "empty.dat": b"",
    "sub\\data.bin": au.mixed_data(400000, 11),
}
INSTALLER_TIME_LIMIT = 180  # seconds: the run takes a few, a hung Wine program is cut off

NO_ENTRY_POINT = ("%1 was loaded, but the %2 entry point was not found.\n\n%2 may not be "
                  "exported, or a corrupt version of %1 may be in memory. Consider using PView "
                  "to detect and remove it.")


def run_to_files(cmd, folder, name, timeout, **kwargs):
    """Runs cmd with its output in folder/name.out and .err: a Wine program's output in a pipe
    can keep a capture waiting for Wine's own helpers. Returns the exit code and both texts."""
    out, err = (os.path.join(folder, name + ext) for ext in (".out", ".err"))
    with open(out, "wb") as stdout, open(err, "wb") as stderr:
        code = subprocess.run(cmd, stdin=subprocess.DEVNULL, stdout=stdout, stderr=stderr,
                              timeout=timeout, **kwargs).returncode
    with open(out, "rb") as stdout, open(err, "rb") as stderr:
        return code, stdout.read().decode("latin-1") + stderr.read().decode("latin-1")


@unittest.skipUnless(harness.PLATFORM == "win32", "Windows build only: the installer is a "
                     "Windows program that loads the Windows kit")
class InstallerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        build = os.environ.get("HALYARD_BUILD_DIR", "")
        kit = os.path.join(build, "kit")
        modules = os.path.dirname(os.environ.get("HALYARD4INST", ""))
        makensis = shutil.which("makensis")
        if makensis is None:
            raise unittest.SkipTest("makensis not found (package nsis, which "
                                    "scripts/build-win32.sh installs)")
        if not os.path.isfile(os.path.join(kit, "halyard4inst.dll")):
            raise unittest.SkipTest("no kit in %s (scripts/build-win32.sh assembles it)" % kit)
        native = native_lzmulti()
        if native is None:
            raise unittest.SkipTest("no Linux build of lzmulti to make the archive (set "
                                    "HALYARD_NATIVE_LZMULTI or build build/)")

        cls._tmp = tempfile.TemporaryDirectory(prefix="lzmulti-installer-")
        cls.dir = cls._tmp.name
        src = os.path.join(cls.dir, "src")
        os.makedirs(os.path.join(src, "sub"))
        for name, data in MEMBERS.items():
            with open(os.path.join(src, name.replace("\\", os.sep)), "wb") as f:
                f.write(data)
        payload = os.path.join(cls.dir, "payload.dpc")
        code, output = run_to_files([native, payload] + list(MEMBERS), cls.dir, "pack", 300,
                                    cwd=src)
        if code != 0 or "Error" in output:
            raise AssertionError("the Linux lzmulti failed to pack: " + output)

        # Not "setup.exe": makensis warns of names that Windows loads compatibility shims for.
        installer = os.path.join(cls.dir, "halyard4-test.exe")
        code, output = run_to_files(
            [makensis, "-V2", "-WX", "-DKIT=" + kit, "-DMODULES=" + modules,
             "-DPAYLOAD=" + payload, "-DOUTFILE=" + installer, SCRIPT], cls.dir, "makensis", 300)
        if code != 0:
            raise AssertionError("makensis failed (%d): %s" % (code, output))

        cls.install = os.path.join(cls.dir, "install")
        cls.server_log = os.path.join(cls.dir, "server.log")
        env = dict(os.environ, HALYARD_TEST_LOG=windows_path(cls.server_log))
        try:
            cls.exit_code, cls.output = run_to_files(
                harness.EMULATOR + [installer, "/S", "/D=" + windows_path(cls.install)], cls.dir,
                "installer", INSTALLER_TIME_LIMIT, env=env)
        except subprocess.TimeoutExpired:
            cls.exit_code, cls.output = None, "cut off after %d s" % INSTALLER_TIME_LIMIT

    @classmethod
    def tearDownClass(cls):
        cls._tmp.cleanup()

    def setUp(self):
        self.assertEqual(self.exit_code, 0, "the installer failed: " + self.output)

    def in_install(self, name):
        return windows_path(self.install) + "\\" + name

    def test_every_call_gives_the_expected_result_and_message(self):
        server = self.in_install("server_ok.dll")
        none = self.in_install("server_none.dll")
        expected = [
            ("register", "0", "DllRegisterServer in %s succeeded." % server),
            ("unregister", "0", "DllUnregisterServer in %s succeeded." % server),
            ("missing", "3", "LoadLibrary(%s) failed.\nGetLastError returns 0x0000007e."
             % self.in_install("absent.dll")),
            ("no-entry-points", "4",
             NO_ENTRY_POINT.replace("%1", none).replace("%2", "DllRegisterServer")),
            # The test program writes "done" after a pause of 1.5 s; the installer read it right
            # after RunApplication returned, so the call waited for the program's end.
            ("child", "nonzero", "done"),
            ("lzmulti", "nonzero", ""),
        ]
        with open(os.path.join(self.install, "results.txt"), "rb") as f:
            self.assertEqual(f.read().decode("latin-1"),
                             "".join("%s: %s\r\n%s\r\n" % record for record in expected))

    def test_entry_points_of_the_module_ran_once_each(self):
        with open(self.server_log, "rb") as f:
            self.assertEqual(f.read(), b"ok DllRegisterServer\nok DllUnregisterServer\n")

    def test_kit_lzmulti_unpacks_the_linux_archive_byte_exact(self):
        unpacked = os.path.join(self.install, "unpacked")
        self.assertEqual(sorted(au.tree_snapshot(unpacked)),
                         sorted(["sub"] + [n.replace("\\", os.sep) for n in MEMBERS]))
        for name, data in MEMBERS.items():
            with open(os.path.join(unpacked, name.replace("\\", os.sep)), "rb") as f:
                self.assertTrue(f.read() == data, name)


if __name__ == "__main__":
    unittest.main()
