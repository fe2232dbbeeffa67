"""The Windows build's deliverables need nothing beyond Windows' own DLLs, halyard4inst.dll
exports RegisterModule and RunApplication under their plain names, both carry the version
resource of the project's version and lzmulti.exe its application manifest (scripts/check-pe.py,
which also guards the kit). The kit is assembled from the build's install rules
(scripts/pack-kit.sh), and a failed assembly leaves an existing kit as it was."""

import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile

import harness

CHECKER = os.path.join(harness.SCRIPTS, "check-pe.py")
KIT_FILES = ["lzmulti.exe", "halyard4inst.dll", "halyard4inst.h", "README.txt",
             "example-install.nsi"]
KIT_ZIP = "halyard4-kit-win32.zip"


@unittest.skipUnless(harness.PLATFORM == "win32", "Windows build only")
class KitBinariesTest(unittest.TestCase):
    def binaries(self):
        files = [harness.lzmulti_path(), os.environ.get("HALYARD4INST", "")]
        for path in files:
            self.assertTrue(os.path.isfile(path), path)
        return files

    def check(self, files, version=None):
        objdump = "i686-w64-mingw32-objdump"
        if shutil.which(objdump) is None:
            self.skipTest(objdump + " is not installed")
        return subprocess.run([sys.executable, CHECKER, "--objdump", objdump, "--machine", "i386",
                               "--version", version or os.environ["HALYARD_VERSION"]] + files,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              universal_newlines=True)

    def test_imports_exports_and_resources(self):
        proc = self.check(self.binaries())
        self.assertEqual(proc.returncode, 0, proc.stderr)

    def test_checker_refuses_faulty_files(self):
        # The checker itself must see faults: a module that exports other names and carries no
        # resources, copied under the library's file name; lzmulti.exe with its manifest asking
        # for other rights; the right files checked against another version.
        lzmulti, library = self.binaries()
        module = os.path.join(os.path.dirname(library), "server_ok.dll")
        if not os.path.isfile(module):
            self.skipTest("no test server module built")
        with open(lzmulti, "rb") as f:
            program = f.read()
        elevated = program.replace(b'level="asInvoker"', b'level="highestAv"')
        self.assertNotEqual(elevated, program)
        scratch = tempfile.mkdtemp(prefix="kit-check-")
        try:
            impostor = os.path.join(scratch, "halyard4inst.dll")
            shutil.copy(module, impostor)
            os.mkdir(os.path.join(scratch, "elevated"))
            elevated_path = os.path.join(scratch, "elevated", "lzmulti.exe")
            with open(elevated_path, "wb") as f:
                f.write(elevated)
            built = os.environ["HALYARD_VERSION"]
            cases = [
                ([lzmulti, impostor], None, ["does not export RegisterModule undecorated",
                                             "halyard4inst.dll: no VERSIONINFO resource"]),
                ([elevated_path], None, ["requested execution level [('highestAv', 'false')]"]),
                ([lzmulti, library], "9.8.7",
                 ["lzmulti.exe: file version %s.0, expected 9.8.7.0" % built,
                  "halyard4inst.dll: ProductVersion is '%s', expected '9.8.7'" % built]),
            ]
            for files, version, faults in cases:
                with self.subTest(faults=faults[0]):
                    proc = self.check(files, version)
                    self.assertEqual(proc.returncode, 1)
                    for fault in faults:
                        self.assertIn(fault, proc.stderr)
        finally:
            shutil.rmtree(scratch)


@unittest.skipUnless(harness.PLATFORM == "win32", "Windows build only")
class KitAssemblyTest(harness.ScratchDirTestCase):
    def setUp(self):
        super().setUp()
        self.build = os.environ["HALYARD_BUILD_DIR"]

    def run_script(self, args, **env):
        environment = dict(os.environ)
        environment.pop("SOURCE_DATE_EPOCH", None)
        environment.update(env)
        return subprocess.run(["bash"] + args, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              universal_newlines=True, env=environment)

    def tools(self, name, links, scripts=None):
        """A folder of links to the named programs and scripts, to stand for PATH."""
        folder = self.path(name)
        os.mkdir(folder)
        for program, target in links.items():
            os.symlink(target or shutil.which(program), os.path.join(folder, program))
        for program, text in (scripts or {}).items():
            path = os.path.join(folder, program)
            with open(path, "w") as f:
                f.write(text)
            os.chmod(path, 0o755)
        return folder

    def test_kit_from_the_install_rules(self):
        kit = self.path("kit")
        proc = self.run_script([os.path.join(harness.SCRIPTS, "pack-kit.sh"), self.build, kit],
                               SOURCE_DATE_EPOCH="1700000000")
        self.assertEqual(proc.returncode, 0, proc.stderr)
        self.assertEqual(sorted(os.listdir(kit)), sorted(KIT_FILES + [KIT_ZIP, "SHA256SUMS"]))
        sums = subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=kit, stdout=subprocess.PIPE)
        self.assertEqual(sums.stdout.decode().splitlines(),
                         [name + ": OK" for name in KIT_FILES + [KIT_ZIP]])
        # One time everywhere: on the files, in the zip (UTC) and in the PE headers.
        self.assertEqual({os.stat(os.path.join(kit, n)).st_mtime for n in os.listdir(kit)},
                         {1700000000})
        with zipfile.ZipFile(os.path.join(kit, KIT_ZIP)) as archive:
            self.assertEqual([(e.filename, e.date_time, e.external_attr >> 16)
                              for e in archive.infolist()],
                             [(name, (2023, 11, 14, 22, 13, 20), mode) for name, mode in
                              zip(KIT_FILES, (0o100755, 0o100755) + (0o100644,) * 3)])
        for name in KIT_FILES[:2]:
            with open(os.path.join(kit, name), "rb") as f:
                header = f.read(4096)
            (pe_offset,) = struct.unpack_from("<I", header, 0x3C)
            self.assertEqual(struct.unpack_from("<I", header, pe_offset + 8), (1700000000,), name)

    def test_a_failed_assembly_leaves_the_kit_as_it_was(self):
        kit = self.path("kit")
        os.mkdir(kit)
        marker = os.path.join(kit, "lzmulti.exe")
        with open(marker, "w") as f:
            f.write("the complete kit of an earlier run")
        no_zip = self.tools("no-zip", {"bash": None, "dirname": None})
        silent_objdump = self.tools("objdump", {}, {"i686-w64-mingw32-objdump": "#!/bin/sh\n"})
        empty_build = self.path("empty-build")
        os.mkdir(empty_build)
        # The script and its helpers alone, outside any git checkout.
        loose = self.path("loose", "scripts")
        harness.copy_scripts(loose, ["pack-kit.sh", "lib.sh"])
        pack = os.path.join(harness.SCRIPTS, "pack-kit.sh")
        cases = [
            ([pack, self.build, kit], {"PATH": no_zip},
             "zip not found; install it with: apt-get install -y zip"),
            ([pack, empty_build, kit], {}, "is no configured build folder"),
            ([pack, self.build, kit], {"SOURCE_DATE_EPOCH": "yesterday"},
             "SOURCE_DATE_EPOCH (yesterday) is no number of seconds"),
            ([os.path.join(loose, "pack-kit.sh"), self.build, kit], {},
             "no SOURCE_DATE_EPOCH and no commit"),
            ([pack, self.build, kit], {"PATH": silent_objdump + os.pathsep + os.environ["PATH"]},
             "the Windows binaries failed the check"),
        ]
        for args, env, message in cases:
            with self.subTest(message=message):
                proc = self.run_script(args, **env)
                self.assertEqual(proc.returncode, 1, proc.stderr)
                self.assertIn(message, proc.stderr)
                self.assertIn("no kit was assembled", proc.stderr)
                self.assertEqual([n for n in os.listdir(self.dir) if n.startswith("kit.")], [])
                self.assertEqual(os.listdir(kit), ["lzmulti.exe"])
                with open(marker) as f:
                    self.assertEqual(f.read(), "the complete kit of an earlier run")

    @unittest.skipIf(shutil.which("i686-w64-mingw32-g++-posix") is None,
                     "the build script runs where the cross compiler is (not in the test guest)")
    def test_build_script_names_a_missing_resource_compiler(self):
        # Every program but the resource compiler, as the build script would find them.
        programs = {}
        for folder in os.environ["PATH"].split(os.pathsep):
            if os.path.isdir(folder):
                for name in os.listdir(folder):
                    programs.setdefault(name, os.path.join(folder, name))
        programs.pop("i686-w64-mingw32-windres", None)
        no_windres = self.tools("no-windres", programs)
        proc = self.run_script([os.path.join(harness.SCRIPTS, "build-win32.sh")], PATH=no_windres)
        self.assertEqual(proc.returncode, 1, proc.stderr)
        self.assertIn("i686-w64-mingw32-windres not found; install it with: "
                      "apt-get install -y binutils-mingw-w64-i686", proc.stderr)


if __name__ == "__main__":
    unittest.main()
