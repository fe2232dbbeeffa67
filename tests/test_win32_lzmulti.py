"""End-to-end tests of the Windows build of lzmulti (run under Wine): the real FindFirstFileA
behind the wildcard expansion, Windows paths, and archives exchanged with the Linux build in
both directions, which must hold the same bytes for the same inputs and names.

The Linux program is taken from HALYARD_NATIVE_LZMULTI, else from build/app/lzmulti beside the
Windows build folder; the interchange tests are skipped when neither exists."""

import os
import subprocess
import unittest

import archive_util as au
import harness

WIN32 = harness.PLATFORM == "win32"


def native_lzmulti():
    path = os.environ.get("HALYARD_NATIVE_LZMULTI")
    if not path:
        build_dir = os.environ.get("HALYARD_BUILD_DIR", "")
        path = os.path.join(os.path.dirname(os.path.abspath(build_dir)), "build", "app", "lzmulti")
    return path if os.access(path, os.X_OK) else None


def windows_path(path):
    """The Wine name of a host path: drive Z: is the host's root."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


@unittest.skipUnless(WIN32, "Windows build only")
class FindFirstFileTest(harness.ScratchDirTestCase):
    def setUp(self):
        super().setUp()
        for name in ("d/a.txt", "d/B.TXT", "d/x.bin", "d/sub/deep.txt"):
            self.write_file(name, name)
        os.makedirs(self.path("d", "c.txt"))

    def expanded(self, *patterns):
        result = self.run_lzmulti("-v", "3", "archive.dpc", *patterns)
        self.assertEqual(result.errors(), [], result.stderr)
        return sorted(result.input_files())

    def test_backslash_patterns_keep_the_prefix_as_typed(self):
        self.assertEqual(self.expanded("d\\*.txt"), [b"d\\B.TXT", b"d\\a.txt"])
        self.assertEqual(self.expanded("d\\sub\\*"), [b"d\\sub\\deep.txt"])
        self.assertEqual(self.expanded("d\\?.*"), [b"d\\B.TXT", b"d\\a.txt", b"d\\x.bin"])

    def test_matching_ignores_case_and_reports_the_names_as_stored(self):
        # Windows' search ignores the case of letters; the prefix stays as typed, the name is
        # the one on disk.
        self.assertEqual(self.expanded("D\\*.Txt"), [b"D\\B.TXT", b"D\\a.txt"])
        self.assertEqual(self.expanded("d\\A.TXT"), [b"d\\a.txt"])

    def test_drive_paths(self):
        folder = windows_path(self.path("d")).encode()
        self.assertEqual(self.expanded(windows_path(self.path("d")) + "\\*.bin"),
                         [folder + b"\\x.bin"])

    def test_round_trip_of_backslash_names(self):
        result = self.run_lzmulti("a.dpc", "d\\*.txt", "d\\sub\\deep.txt")
        self.assertEqual(result.errors(), [], result.stderr)
        listing = self.run_lzmulti("-t", "a.dpc")
        self.assertEqual(sorted(listing.stdout.splitlines()),
                         [b"d\\B.TXT", b"d\\a.txt", b"d\\sub\\deep.txt"])
        out = self.path("out")
        os.makedirs(os.path.join(out, "d", "sub"))
        result = self.run_lzmulti("..\\a.dpc", cwd=out)
        self.assertEqual(result.errors(), [], result.stderr)
        for name in ("d/a.txt", "d/B.TXT", "d/sub/deep.txt"):
            with open(os.path.join(out, name), "rb") as f:
                self.assertEqual(f.read(), name.encode(), name)


    def test_names_beyond_max_path_round_trip(self):
        # A member of 371 characters and an archive of 300: the ANSI calls refuse both, the wide
        # ones take them, and a pack that fails leaves nothing beside the archive.
        folders = ["f%d" % i + "x" * 98 for i in range(3)]
        name = "\\".join(folders + ["m" * 64 + ".txt"])
        self.assertEqual(len(name), 371)
        archive = "\\".join(folders[:2] + ["a" * 94 + ".dpc"])
        self.assertEqual(len(archive), 300)
        self.write_file(name.replace("\\", "/"), b"deep")
        result = self.run_lzmulti(archive, name)
        self.assertEqual(result.errors(), [], result.stderr)
        self.assertEqual(self.run_lzmulti("-t", archive).stdout, name.encode() + b"\n")
        failed = archive.replace("a" * 94, "b" * 94)
        result = self.run_lzmulti("-w", "29", failed, name)
        self.assertEqual(result.errors()[-1:], [harness.program_error(
            "Compress", "Archive not written: " + failed)])
        self.assertEqual(sorted(os.listdir(self.path(*folders[:2]))),
                         ["a" * 94 + ".dpc", folders[2]])
        out = self.path("out")
        os.makedirs(os.path.join(out, *folders))
        result = self.run_lzmulti("..\\" + archive, cwd=out)
        self.assertEqual(result.errors(), [], result.stderr)
        with open(os.path.join(out, name.replace("\\", "/")), "rb") as f:
            self.assertEqual(f.read(), b"deep")


    def test_archive_outside_the_code_page(self):
        # The archive's path and the current folder keep letters that Wine's code page 1252 lacks;
        # an input pattern with such letters is refused, not searched under a look-alike name.
        folder = self.path("Пример", "例")
        os.makedirs(os.path.join(folder, "d"))
        archive = windows_path(os.path.join(folder, "a.dpc"))
        result = self.run_lzmulti(archive, "d\\a.txt")
        self.assertEqual(result.errors(), [], result.stderr)
        result = self.run_lzmulti(archive, cwd=folder)
        self.assertEqual(result.errors(), [], result.stderr)
        with open(os.path.join(folder, "d", "a.txt"), "rb") as f:
            self.assertEqual(f.read(), b"d/a.txt")
        pattern = windows_path(folder) + "\\d\\*.txt"
        spelled = "".join(c if ord(c) < 128 else "<U+%04X>" % ord(c) for c in pattern)
        result = self.run_lzmulti("b.dpc", pattern)
        self.assertEqual(result.errors(), [harness.program_error(
            "Main", "ExpandWildcard failed: Not in the system code page: " + spelled)])


@unittest.skipUnless(WIN32, "Windows build only")
class UnsafeNameWin32Test(harness.ScratchDirTestCase):
    """Names that lead outside the extraction folder are refused on Windows as on Linux; with
    -p the stored names are used as they stand, Windows drive paths included."""

    def setUp(self):
        super().setUp()
        self.work = self.path("work")
        os.makedirs(os.path.join(self.work, "sub"))
        self.outside = windows_path(self.path("abs.txt"))
        members = [("..\\up.txt", b"up"), (self.outside, b"absolute"),
                   ("sub\\..\\..\\deep.txt", b"deep"), ("\\rooted.txt", b"rooted"),
                   # Windows programs cannot reach names that end in a dot or a blank, and
                   # "u.dpc." is read as the archive.
                   ("u.dpc.", b"dot"), ("sub\\y.txt ", b"blank"), ("safe.txt", b"safe")]
        with open(self.path("u.dpc"), "wb") as f:
            f.write(au.build_archive(members))

    def test_unsafe_names_are_not_extracted(self):
        result = self.run_lzmulti("..\\u.dpc", cwd=self.work)
        self.assertEqual(result.errors(), [
            harness.stream_error("COutMultiFileStream", "Write",
                                 "Unsafe name, not extracted: " + name)
            for name in ("..\\up.txt", self.outside, "sub\\..\\..\\deep.txt", "\\rooted.txt",
                         "u.dpc.", "sub\\y.txt ")])
        self.assertEqual(sorted(os.listdir(self.work)), ["safe.txt", "sub"])
        self.assertEqual(sorted(os.listdir(self.dir)), ["u.dpc", "work"])

    def test_dot_names_with_trailing_blanks_or_dots_stay_inside(self):
        # Windows may trim blanks and dots at the end of a path component; such names must not
        # become a way out of the extraction folder.
        members = [(".. \\a.txt", b"a"), ("..\x20/b.txt", b"b"), ("...\\c.txt", b"c"),
                   (".. .\\d.txt", b"d"), ("sub\\.. \\..\\e.txt", b"e"), ("ok.txt", b"ok")]
        with open(self.path("t.dpc"), "wb") as f:
            f.write(au.build_archive(members))
        self.run_lzmulti_within("work", "..\\t.dpc")
        with open(os.path.join(self.work, "ok.txt"), "rb") as f:
            self.assertEqual(f.read(), b"ok")

    def test_preserve_path_writes_the_stored_names(self):
        result = self.run_lzmulti("-p", "yes", "..\\u.dpc", cwd=self.work)
        self.assertEqual(result.errors(), [], result.stderr)
        for path, data in ((self.path("up.txt"), b"up"), (self.path("abs.txt"), b"absolute"),
                           (self.path("deep.txt"), b"deep"),
                           (os.path.join(self.work, "safe.txt"), b"safe")):
            with open(path, "rb") as f:
                self.assertEqual(f.read(), data, path)


@unittest.skipUnless(WIN32, "Windows build only")
class InterchangeTest(harness.ScratchDirTestCase):
    """Archives of the Linux build and of the Windows build are interchangeable."""

    MEMBERS = {
        "empty.txt": b"",
        "text.txt": b"line one\r\nline two\n" * 300,
        "mixed.bin": au.mixed_data(300000, 7),
        "sub\\inner.bin": au.mixed_data(70000, 8),
        "last.dat": bytes(range(256)) * 40,
    }

    def setUp(self):
        super().setUp()
        self.native = native_lzmulti()
        if self.native is None:
            self.skipTest("no Linux build of lzmulti (set HALYARD_NATIVE_LZMULTI or build build/)")
        self.src = self.path("src")
        os.makedirs(os.path.join(self.src, "sub"))
        for name, data in self.MEMBERS.items():
            with open(os.path.join(self.src, name.replace("\\", os.sep)), "wb") as f:
                f.write(data)

    def run_native(self, *args, cwd):
        proc = subprocess.run([self.native] + list(args), cwd=cwd, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=300)
        self.assertEqual(proc.returncode, 0, proc.stderr)
        self.assertNotIn(b"Error", proc.stderr)
        return proc

    def run_windows(self, *args, cwd):
        result = self.run_lzmulti(*args, cwd=cwd)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.errors(), [], result.stderr)
        return result

    def extracted(self, folder):
        files = {}
        for name in self.MEMBERS:
            with open(os.path.join(folder, name.replace("\\", os.sep)), "rb") as f:
                files[name] = f.read()
        return files

    def out_folder(self, name):
        folder = self.path(name)
        os.makedirs(os.path.join(folder, "sub"))
        return folder

    def test_same_inputs_give_the_same_archive_bytes(self):
        names = list(self.MEMBERS)
        self.run_native(os.path.join("..", "linux.dpc"), *names, cwd=self.src)
        self.run_windows("..\\windows.dpc", *names, cwd=self.src)
        linux, windows = self.read_file("linux.dpc"), self.read_file("windows.dpc")
        self.assertEqual(au.parse_directory(windows)[0],
                         [(n.encode(), len(d)) for n, d in self.MEMBERS.items()])
        self.assertEqual(len(linux), len(windows))
        self.assertTrue(linux == windows, "the two builds wrote different archives")

    def test_linux_archive_extracts_byte_exact_on_windows(self):
        self.run_native(os.path.join("..", "linux.dpc"), *self.MEMBERS, cwd=self.src)
        out = self.out_folder("out-windows")
        self.run_windows("..\\linux.dpc", cwd=out)
        self.assertEqual(self.extracted(out), self.MEMBERS)

    def test_windows_archive_extracts_byte_exact_on_linux(self):
        self.run_windows("..\\windows.dpc", *self.MEMBERS, cwd=self.src)
        out = self.out_folder("out-linux")
        self.run_native(os.path.join("..", "windows.dpc"), cwd=out)
        self.assertEqual(self.extracted(out), self.MEMBERS)

    def test_other_window_sizes_interchange_too(self):
        for window in ("20", "26"):
            with self.subTest(window=window):
                self.run_windows("-w", window, "..\\w.dpc", *self.MEMBERS, cwd=self.src)
                self.run_native("-w", window, os.path.join("..", "l.dpc"), *self.MEMBERS,
                                cwd=self.src)
                self.assertTrue(self.read_file("w.dpc") == self.read_file("l.dpc"))
                out = self.path("out-" + window)
                os.makedirs(os.path.join(out, "sub"))
                self.run_native(os.path.join("..", "w.dpc"), cwd=out)
                self.assertEqual(self.extracted(out), self.MEMBERS)

    def test_large_windows_on_the_32_bit_build(self):
        # The program is large-address-aware: 2^27 packs. 2^28 needs more than a 32-bit process
        # gets, and says so; an archive of that window made by the Linux build unpacks (a window
        # costs what its data fill).
        self.run_windows("-w", "27", "..\\w27.dpc", "text.txt", cwd=self.src)
        result = self.run_lzmulti("-w", "28", "..\\w28.dpc", "text.txt", cwd=self.src)
        self.assertEqual(result.errors(), [
            harness.program_error("Compress", "encoder->Code failed"),
            harness.program_error("Compress",
                                  "Not enough memory for a window of 2^28 bytes (about 3.0 GiB)"),
            harness.program_error("Compress", "Archive not written: ..\\w28.dpc")])
        self.assertFalse(os.path.exists(self.path("w28.dpc")))
        with open(self.path("zeros.bin"), "wb") as f:
            f.truncate(300 << 20)
        self.run_native("-w", "28", "big.dpc", "zeros.bin", cwd=self.dir)
        out = self.path("out-big")
        os.makedirs(out)
        self.run_windows("..\\big.dpc", cwd=out)
        with open(os.path.join(out, "zeros.bin"), "rb") as f:
            self.assertEqual(f.read(), bytes(300 << 20))


if __name__ == "__main__":
    unittest.main()
