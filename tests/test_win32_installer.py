"""Real installers as the kit's clients, built with makensis into 32-bit NSIS installers and run
silently under Wine with the kit's halyard4inst.dll and lzmulti.exe (the stripped files that ship).

installsupport/testing/testinstaller_win32.nsi installs a test module, the test program and
archives made by the Linux build, and calls the library's exports by name and lzmulti.exe through
the macros of the kit's halyard4inst.nsh, from a function: RegisterModule on a test module, on a
missing module and on a module without entry points, RunApplication on the test program, the
unpacking on an archive and on one cut short. It writes each result and message into a file
compared here, built as a Unicode installer (the wide twins) and as an ANSI one. The kit's
example-install.nsi, built as it ships, installs a payload with a test module as its COM server,
registers it, writes the uninstall entry and undoes it all when uninstalled: as a Unicode
installer outside the ANSI code page, its $PLUGINSDIR too, and as an ANSI one."""

import os
import re
import shutil
import subprocess
import tempfile
import unittest

import archive_util as au
import harness
from test_win32_lzmulti import native_lzmulti, windows_path

SCRIPT = os.path.join(harness.SOURCE, "installsupport", "testing", "testinstaller_win32.nsi")
EXAMPLE = "example-install.nsi"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Example"
# lzmulti makes the folder sub of the unpacking folder.
MEMBERS = {
    "readme.txt": b"installed by the test installer\r\n" * 50,
    "empty.dat": b"",
    "sub\\data.bin": au.mixed_data(400000, 11),
}
# lzmulti's Error line for MEMBERS cut short by one byte: the last member lacks its last byte.
CUT_LINE = "Error.... Program Decompress Not completely extracted: sub\\data.bin "
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
        """cls.dir/name.dpc, packed by the Linux lzmulti from the members in cls.dir/name/, and
        cls.dir/name-cut.dpc, the same without its last byte."""
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
        with open(archive, "rb") as f, open(src + "-cut.dpc", "wb") as cut:
            cut.write(f.read()[:-1])
        return archive, cut.name

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
    def run_installer(cls, args, name, server_log, temp=None):
        """The exit code (None when cut off) and output; the test modules log to server_log.
        temp: the installer's TEMP (so its $PLUGINSDIR), set by cmd (Wine takes TEMP from the
        registry for a program started from Linux)."""
        env = dict(os.environ, HALYARD_TEST_LOG=windows_path(server_log))
        if temp is not None:
            os.makedirs(temp, exist_ok=True)
            args = ["cmd", "/c", "set TEMP={0}&& set TMP={0}&& {1}".format(
                windows_path(temp), " ".join([windows_path(args[0])] + args[1:]))]
        try:
            return run_to_files(harness.EMULATOR + args, cls.dir, name, INSTALLER_TIME_LIMIT,
                                env=env)
        except subprocess.TimeoutExpired:
            return None, "cut off after %d s" % INSTALLER_TIME_LIMIT


class InstallerTest(InstallerCase):
    """The Unicode test installer; AnsiInstallerTest runs the same as an ANSI one."""
    DEFINES = {}

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        payload, cut = cls.pack("payload", MEMBERS)
        installer = cls.build(SCRIPT, "halyard4-test", KIT=cls.kit, MODULES=cls.modules,
                              PAYLOAD=payload, CUT=cut, **cls.DEFINES)
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
            ("unpack", "", ""),
            ("cut", CUT_LINE, ""),
            # The registers of the function are as it set them, and so is the output folder.
            ("registers", " ".join("r%d" % i for i in range(10)), windows_path(self.install)),
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


class AnsiInstallerTest(InstallerTest):
    DEFINES = {"ANSI": ""}


class ExampleInstallerTest(InstallerCase):
    """The kit's example-install.nsi as it ships (CR LF, lzmulti.exe, halyard4inst.dll and
    halyard4inst.nsh beside it), with a payload as its header describes and a test module as the
    COM server."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        with open(os.path.join(cls.modules, "server_ok.dll"), "rb") as f:
            payload = {"example.dll": f.read(), "doc\\readme.txt": b"the example's payload\r\n"}
        archive, cut = cls.pack("example", payload)
        script = os.path.join(cls.kit, EXAMPLE)
        cls.installer = cls.build(script, "example-install", PAYLOAD=archive)
        cls.ansi = cls.build(script, "example-ansi", PAYLOAD=archive, ANSI="")
        cls.without_server = cls.build(script, "example-absent", PAYLOAD=archive,
                                       SERVER="absent.dll")
        cls.cut = cls.build(script, "example-cut", PAYLOAD=cut,
                            HALYARD4_LOG="$INSTDIR\\install.log")
        # No entry left by an earlier run that broke off.
        run_to_files(harness.EMULATOR + ["reg", "delete", UNINSTALL_KEY, "/f"], cls.dir,
                     "reg-delete", INSTALLER_TIME_LIMIT)

    def uninstall_entry(self):
        """The values of the example's uninstall entry ({} when there is none), as reg exports
        them: UTF-16, backslashes and quotes escaped."""
        exported = os.path.join(self.dir, "entry.reg")
        if run_to_files(harness.EMULATOR + ["reg", "export", UNINSTALL_KEY, windows_path(exported),
                                            "/y"], self.dir, "reg", INSTALLER_TIME_LIMIT)[0] != 0:
            return {}
        with open(exported, "rb") as f:
            return {name: re.sub(r"\\(.)", r"\1", value) for name, value in
                    re.findall(r'^"(\w+)"="(.*)"\r?$', f.read().decode("utf-16"), re.M)}

    def install_and_uninstall(self, installer, name, folder, temp=None):
        install = os.path.join(self.dir, folder)
        # The test module writes its log through the ANSI calls: the name stays in the code page.
        log = os.path.join(self.dir, name + ".log")
        code, output = self.run_installer([installer, "/S", "/D=" + windows_path(install)],
                                          "example-install", log, temp)
        self.assertEqual(code, 0, output)
        # What lzmulti unpacks, byte for byte, InstallerTest shows; here, where it went.
        self.assertEqual(sorted(au.tree_snapshot(install)),
                         ["doc", os.path.join("doc", "readme.txt"), "example.dll", "uninstall.exe"])
        with open(log, "rb") as f:
            self.assertEqual(f.read(), b"ok DllRegisterServer\n")
        uninstaller = '"%s\\uninstall.exe"' % windows_path(install)
        self.assertEqual(self.uninstall_entry(),
                         {"DisplayName": "Example", "DisplayVersion": "1.0",
                          "UninstallString": uninstaller,
                          "QuietUninstallString": uninstaller + " /S"})

        # "_?=" runs the uninstaller where it is and waits for it (otherwise it runs a copy of
        # itself from the temporary folder and returns at once); it cannot delete itself then.
        code, output = self.run_installer(
            [os.path.join(install, "uninstall.exe"), "/S", "_?=" + windows_path(install)],
            "example-uninstall", log, temp)
        self.assertEqual(code, 0, output)
        self.assertEqual(os.listdir(install), ["uninstall.exe"])
        with open(log, "rb") as f:
            self.assertEqual(f.read(), b"ok DllRegisterServer\nok DllUnregisterServer\n")
        self.assertEqual(self.uninstall_entry(), {})

    def test_unicode_installer_outside_the_code_page(self):
        # The folder, and the temporary one that holds $PLUGINSDIR with lzmulti.exe, the library
        # and the payload.
        self.install_and_uninstall(self.installer, "unicode", os.path.join("Пример", "例"),
                                   temp=os.path.join(self.dir, "Пример", "temp"))

    def test_ansi_installer(self):
        self.install_and_uninstall(self.ansi, "ansi", "example-folder")

    def test_a_missing_server_ends_the_installation_with_the_result(self):
        install = os.path.join(self.dir, "absent-folder")
        log = os.path.join(self.dir, "absent.log")
        code, output = self.run_installer(
            [self.without_server, "/S", "/D=" + windows_path(install)], "example-absent", log)
        self.assertEqual(code, 3, output)
        self.assertFalse(os.path.exists(os.path.join(install, "uninstall.exe")))
        self.assertFalse(os.path.exists(log))

    def test_a_cut_payload_stops_the_installation_with_lzmultis_words(self):
        install = os.path.join(self.dir, "cut-folder")
        log = os.path.join(self.dir, "cut.log")
        code, output = self.run_installer([self.cut, "/S", "/D=" + windows_path(install)],
                                          "example-cut", log)
        self.assertEqual(code, 6, output)
        with open(os.path.join(install, "install.log"), "rb") as f:
            self.assertEqual(f.read(), b"Error.... Program Decompress Not completely extracted: "
                                       b"doc\\readme.txt \r\n")
        self.assertFalse(os.path.exists(os.path.join(install, "uninstall.exe")))
        self.assertFalse(os.path.exists(log))


if __name__ == "__main__":
    unittest.main()
