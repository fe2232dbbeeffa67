"""`cmake --install` of the build: the files it puts under a prefix, also below DESTDIR; on Linux
the installed program runs; on Windows the files form the kit, its texts with Windows line ends,
and the kit's header serves C and C++ callers of the cross compilers."""

import os
import shutil
import subprocess
import unittest

import harness

INSTALLED = {
    "linux": ["bin/lzmulti", "share/doc/halyard4/README.md", "share/man/man1/lzmulti.1"],
    "win32": ["README.txt", "example-install.nsi", "halyard4inst.dll", "halyard4inst.h",
              "lzmulti.exe"],
}

# Both exports through the header's declarations and pointer types: the declarations and the types
# must agree, in C and in C++.
CALLER = b"""#include <halyard4inst.h>
int main(void) {
  RegisterModuleFunction registerModule = RegisterModule;
  RunApplicationFunction runApplication = RunApplication;
  return registerModule == 0 || runApplication == 0;
}
"""


def files_below(root):
    return sorted(os.path.relpath(os.path.join(folder, name), root)
                  for folder, _, names in os.walk(root) for name in names)


class InstallTest(harness.ScratchDirTestCase):
    def install(self, prefix, destdir=None):
        env = dict(os.environ)
        env.pop("DESTDIR", None)
        if destdir:
            env["DESTDIR"] = destdir
        proc = subprocess.run([os.environ["HALYARD_CMAKE"], "--install",
                               os.environ["HALYARD_BUILD_DIR"], "--prefix", prefix],
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)
        self.assertEqual(proc.returncode, 0, proc.stderr)

    def test_files_under_the_prefix_and_below_destdir(self):
        stage = self.path("stage")
        cases = [(self.path("prefix"), None, self.path("prefix")),
                 ("/opt/halyard4", stage, stage + "/opt/halyard4")]
        for prefix, destdir, root in cases:
            with self.subTest(prefix=prefix, destdir=destdir):
                self.install(prefix, destdir)
                self.assertEqual(files_below(root), INSTALLED[harness.PLATFORM])
        if harness.PLATFORM == "win32":
            # The texts for the kit's users get Windows line ends; the header ships as it is.
            for name, source, line_end in (
                    ("README.txt", "docs/kit-README.txt", b"\r\n"),
                    ("example-install.nsi", "installsupport/example-install.nsi", b"\r\n"),
                    ("halyard4inst.h", "installsupport/halyard4inst.h", b"\n")):
                with open(os.path.join(harness.SOURCE, source), "rb") as f:
                    text = f.read()
                with open(os.path.join(root, name), "rb") as f:
                    self.assertEqual(f.read(), text.replace(b"\n", line_end), name)

    @unittest.skipUnless(harness.PLATFORM == "linux", "the Linux layout")
    def test_installed_program_runs(self):
        prefix = self.path("prefix")
        self.install(prefix)
        proc = subprocess.run([os.path.join(prefix, "bin", "lzmulti")], stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE)
        self.assertEqual(proc.returncode, 0)
        self.assertTrue(proc.stderr.startswith(b"Version: "), proc.stderr)

    @unittest.skipUnless(harness.PLATFORM == "win32", "the Windows kit")
    def test_kit_header_serves_c_and_cxx_callers(self):
        compilers = [(os.environ["HALYARD_C_COMPILER"], ["-x", "c", "-std=c99", "-pedantic"]),
                     (os.environ["HALYARD_CXX_COMPILER"], ["-x", "c++", "-std=c++17"])]
        if not all(shutil.which(compiler) for compiler, _ in compilers):
            self.skipTest("the cross compilers are where the kit is built (not in the test guest)")
        kit = self.path("kit")
        self.install(kit)
        source = self.write_file("caller.c", CALLER)
        for compiler, language in compilers:
            with self.subTest(compiler=compiler):
                proc = subprocess.run([compiler] + language + [
                    "-Wall", "-Wextra", "-Werror", "-I", kit, "-c", source,
                    "-o", self.path("caller-" + language[1].replace("+", "x") + ".o")],
                    stdout=subprocess.PIPE, stderr=subprocess.PIPE, universal_newlines=True)
                self.assertEqual(proc.returncode, 0, proc.stderr)


if __name__ == "__main__":
    unittest.main()
