"""`cmake --install` of the build: the files it puts under a prefix, also below DESTDIR; on Linux
the installed program runs and the installed header serves C and C++ programs that link against
the installed library; on Windows the files form the kit, its texts with Windows line ends."""

import os
import subprocess
import unittest

import harness

INSTALLED = {
    "linux": ["bin/lzmulti", "include/halyard4inst.h", "lib/libhalyard4inst.so",
              "share/doc/halyard4/README.md", "share/man/man1/lzmulti.1"],
    "win32": ["README.txt", "example-install.nsi", "halyard4inst.dll", "lzmulti.exe"],
}

# Both exports through the header's declarations and pointer types.
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
            for name, source in (("README.txt", "docs/kit-README.txt"),
                                 ("example-install.nsi", "installsupport/example-install.nsi")):
                with open(os.path.join(harness.SOURCE, source), "rb") as f:
                    text = f.read()
                with open(os.path.join(root, name), "rb") as f:
                    self.assertEqual(f.read(), text.replace(b"\n", b"\r\n"), name)

    @unittest.skipUnless(harness.PLATFORM == "linux", "the Linux layout")
    def test_installed_program_and_header(self):
        prefix = self.path("prefix")
        self.install(prefix)
        proc = subprocess.run([os.path.join(prefix, "bin", "lzmulti")], stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE)
        self.assertEqual(proc.returncode, 0)
        self.assertTrue(proc.stderr.startswith(b"Version: "), proc.stderr)

        source = self.write_file("caller.c", CALLER)
        library = os.path.join(prefix, "lib")
        compilers = [(os.environ["HALYARD_C_COMPILER"], ["-x", "c", "-std=c99", "-pedantic"]),
                     (os.environ["HALYARD_CXX_COMPILER"], ["-x", "c++", "-std=c++17"])]
        # A library built under sanitizers takes their runtime from the program that loads it,
        # the C++ part included (the library is C++ inside).
        sanitize = os.environ.get("HALYARD_SANITIZE", "")
        sanitizer = (["-fsanitize=" + sanitize, "-fsanitize-link-c++-runtime", "-lstdc++"]
                     if sanitize else [])
        for compiler, language in compilers:
            with self.subTest(compiler=compiler):
                program = self.path("caller-" + language[1].replace("+", "x"))
                proc = subprocess.run([compiler] + language + [
                    "-Wall", "-Wextra", "-Werror", "-I", os.path.join(prefix, "include"), source,
                    "-x", "none", "-L", library, "-lhalyard4inst", "-o", program] + sanitizer,
                    stdout=subprocess.PIPE, stderr=subprocess.PIPE, universal_newlines=True)
                self.assertEqual(proc.returncode, 0, proc.stderr)
                env = dict(os.environ, LD_LIBRARY_PATH=library)
                self.assertEqual(subprocess.run([program], env=env).returncode, 0)


if __name__ == "__main__":
    unittest.main()
