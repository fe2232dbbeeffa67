"""Real installers as the kit's clients, built with makensis into 32-bit NSIS installers and run
silently under Wine with the kit's halyard4inst.dll and lzmulti.exe (the stripped files that ship).

installsupport/testing/testinstaller_win32.nsi installs them with a test module, the test program
and an archive made by the Linux build, and calls both exports of the library by name through the
example installer's macros (NSIS's System plug-in): RegisterModule on a test module, on a missing
module and on a module without entry points, RunApplication on the test program and on
lzmulti.exe, which unpacks the archive. It writes each result code and message into a file
compared here. The kit's example-install.nsi, built as it ships, installs a payload with a test
module as its COM server, registers it, and unregisters it again when uninstalled."""

import os
import shutil
import subprocess
import tempfile
import unittest

import archive_util as au
import harness
from test_win32_lzmulti import native_lzmulti, windows_path

SCRIPT = os.path.join(harness.SOURCE, "installsupport", "testing", "testinstaller_win32.nsi")
EXAMPLE = "example-install.nsi"
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


@unittest.skipUnless(harness.PLATFORM == "win32", "Windows build only: the installers are "
                     "Windows programs that load the Windows kit")
class InstallerCase(unittest.TestCase):
    """Builds installers for the kit and runs them under Wine, in a scratch folder."""

    @classmethod
    def setUpClass(cls):
        build = os.environ.get("HALYARD_BUILD_DIR", "")
        cls.kit = os.path.join(build, "kit")
        cls.modules = os.path.dirname(os.environ.get("HALYARD4INST", ""))
        cls.makensis = shutil.which("makensis")
        if cls.makensis is None:
            raise unittest.SkipTest("makensis not found (package nsis, which "
                                    "scripts/build-win32.sh installs)")
        if not os.path.isfile(os.path.join(cls.kit, "halyard4inst.dll")):
            raise unittest.SkipTest("no kit in %s (scripts/build-win32.sh assembles it)" % cls.kit)
        cls.native = native_lzmulti()
        if cls.native is None:
            raise unittest.SkipTest("no Linux build of lzmulti to make the archive (set "
                                    "HALYARD_NATIVE_LZMULTI or build build/)")
        cls._tmp = tempfile.TemporaryDirectory(prefix="lzmulti-installer-")
        cls.dir = cls._tmp.name

    @classmethod
    def tearDownClass(cls):
        cls._tmp.cleanup()

    @classmethod
    def pack(cls, name, members):
        """cls.dir/name.dpc, packed by the Linux lzmulti from the members in cls.dir/name/."""
        src = os.path.join(cls.dir, name)
        for member, data in members.items():
            path = os.path.join(src, member.replace("\\", os.sep))
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
        archive = src + ".dpc"
        code, output = run_to_files([cls.native, archive] + list(members), cls.dir, "pack-" + name,
                                    300, cwd=src)
        if code != 0 or "Error" in output:
            raise AssertionError("the Linux lzmulti failed to pack: " + output)
        return archive

    @classmethod
    def build(cls, script, name, **defines):
        """cls.dir/name.exe, built by makensis from script with warnings as errors."""
        # Not "setup.exe": makensis warns of names that Windows loads compatibility shims for.
        installer = os.path.join(cls.dir, name + ".exe")
        code, output = run_to_files(
            [cls.makensis, "-V2", "-WX"] + ["-D%s=%s" % item for item in sorted(defines.items())] +
            ["-DOUTFILE=" + installer, script], cls.dir, "makensis-" + name, 300)
        if code != 0:
            raise AssertionError("makensis failed (%d): %s" % (code, output))
        return installer

    @classmethod
    def run_installer(cls, args, name, server_log):
        """The exit code (None when cut off) and output; the test modules log to server_log."""
        env = dict(os.environ, HALYARD_TEST_LOG=windows_path(server_log))
        try:
            return run_to_files(harness.EMULATOR + args, cls.dir, name, INSTALLER_TIME_LIMIT,
                                env=env)
        except subprocess.TimeoutExpired:
            return None, "cut off after %d s" % INSTALLER_TIME_LIMIT


class InstallerTest(InstallerCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        payload = cls.pack("payload", MEMBERS)
        installer = cls.build(SCRIPT, "halyard4-test", KIT=cls.kit, MODULES=cls.modules,
                              PAYLOAD=payload)
        cls.install = os.path.join(cls.dir, "install")
        cls.server_log = os.path.join(cls.dir, "server.log")
        cls.exit_code, cls.output = cls.run_installer(
            [installer, "/S", "/D=" + windows_path(cls.install)], "installer", cls.server_log)

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



class ExampleInstallerTest(InstallerCase):
    """The kit's example-install.nsi as it ships (CR LF, lzmulti.exe and halyard4inst.dll beside
    it), with a payload as its header describes and a test module as the COM server."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        with open(os.path.join(cls.modules, "server_ok.dll"), "rb") as f:
            payload = {"example.dll": f.read(), "doc\\readme.txt": b"the example's payload\r\n"}
        archive = cls.pack("example", payload)
        script = os.path.join(cls.kit, EXAMPLE)
        cls.installer = cls.build(script, "example-install", PAYLOAD=archive)
        cls.without_server = cls.build(script, "example-absent", PAYLOAD=archive,
                                       SERVER="absent.dll")

    def test_installs_registers_and_uninstalls(self):
        install = os.path.join(self.dir, "example-folder")
        log = os.path.join(self.dir, "example.log")
        code, output = self.run_installer([self.installer, "/S", "/D=" + windows_path(install)],
                                          "example-install", log)
        self.assertEqual(code, 0, output)
        # What lzmulti unpacks, byte for byte, InstallerTest shows; here, where it went.
        self.assertEqual(sorted(au.tree_snapshot(install)),
                         ["doc", os.path.join("doc", "readme.txt"), "example.dll", "uninstall.exe"])
        with open(log, "rb") as f:
            self.assertEqual(f.read(), b"ok DllRegisterServer\n")

        # "_?=" runs the uninstaller where it is and waits for it (otherwise it runs a copy of
        # itself from the temporary folder and returns at once); it cannot delete itself then.
        code, output = self.run_installer(
            [os.path.join(install, "uninstall.exe"), "/S", "_?=" + windows_path(install)],
            "example-uninstall", log)
        self.assertEqual(code, 0, output)
        self.assertEqual(os.listdir(install), ["uninstall.exe"])
        with open(log, "rb") as f:
            self.assertEqual(f.read(), b"ok DllRegisterServer\nok DllUnregisterServer\n")

    def test_a_missing_server_ends_the_installation_with_the_result(self):
        install = os.path.join(self.dir, "absent-folder")
        log = os.path.join(self.dir, "absent.log")
        code, output = self.run_installer(
            [self.without_server, "/S", "/D=" + windows_path(install)], "example-absent", log)
        self.assertEqual(code, 3, output)
        self.assertFalse(os.path.exists(os.path.join(install, "uninstall.exe")))
        self.assertFalse(os.path.exists(log))


if __name__ == "__main__":
    unittest.main()
