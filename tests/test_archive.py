"""End-to-end tests of lzmulti's archives: round trips on varied data, the archive layout byte for
byte, listing, and interoperability with an independent LZMA implementation (xz and Python's lzma
module) in both directions."""

import lzma
import os
import shutil
import struct
import subprocess
import unittest

import archive_util as au
import harness
from harness import program_error


class ArchiveTestCase(harness.ScratchDirTestCase):
    def pack(self, archive, names, *options, cwd=None):
        result = self.run_lzmulti(*options, archive, *names, cwd=cwd)
        self.assertEqual(result.returncode, 0)
        return result

    def unpack(self, archive, cwd, *options):
        os.makedirs(cwd, exist_ok=True)
        result = self.run_lzmulti(*options, archive, cwd=cwd)
        self.assertEqual(result.returncode, 0)
        return result

    def assert_no_errors(self, result):
        self.assertEqual(result.errors(), [], result.stderr)

    def round_trip(self, members, *options, folders=()):
        """Packs members {name: bytes} in src/, unpacks into out/ (with folders made first) and
        compares every member."""
        src = self.path("src")
        for name, data in members.items():
            self.write_file(os.path.join("src", name), data)
        packed = self.pack(os.path.join("..", "a.dpc"), list(members), *options, cwd=src)
        self.assert_no_errors(packed)
        out = self.path("out")
        for folder in folders:
            os.makedirs(os.path.join(out, folder), exist_ok=True)
        unpacked = self.unpack(os.path.join("..", "a.dpc"), out)
        self.assert_no_errors(unpacked)
        for name, data in members.items():
            with open(os.path.join(out, name), "rb") as f:
                self.assertEqual(f.read(), data, name)
        return unpacked


class RoundTripTest(ArchiveTestCase):
    def test_empty_files_at_start_middle_and_end(self):
        self.round_trip({"e1": b"", "a.txt": b"hello\n", "e2": b"", "e3": b"",
                         "b.bin": au.mixed_data(5000, 1), "e4": b""})

    def test_only_empty_files_and_an_archive_of_them(self):
        self.round_trip({"e1": b"", "e2": b""})

    def test_file_of_exactly_the_window_size(self):
        self.round_trip({"w.bin": au.mixed_data(1 << 20, 2)}, "-w", "20")

    def test_data_ending_at_or_one_short_of_a_window_multiple(self):
        for total in ((2 << 20), (2 << 20) - 1, (1 << 20) + 1):
            with self.subTest(total=total):
                shutil.rmtree(self.path("src"), ignore_errors=True)
                shutil.rmtree(self.path("out"), ignore_errors=True)
                data = au.mixed_data(total, total)
                self.round_trip({"x": data[:1000], "y": data[1000:], "z": b""}, "-w", "20")

    def test_streams_whose_flush_decodes_beyond_the_data(self):
        # The final flush of a stream without end marker sometimes decodes into a byte beyond the
        # data; such archives are complete all the same. Find a few among varied sizes.
        filters = [{"id": lzma.FILTER_LZMA1, "dict_size": 1 << 20, "lc": 3, "lp": 0, "pb": 2}]
        beyond = 0
        for seed in range(40):
            data = au.mixed_data(100 + seed * 997, seed)
            self.write_file("f", data)
            self.assert_no_errors(self.pack("s.dpc", ["f"], "-w", "20"))
            archive = self.read_file("s.dpc")
            _, offset = au.parse_directory(archive)
            decoded = lzma.LZMADecompressor(lzma.FORMAT_RAW, filters=filters).decompress(
                archive[offset:])
            beyond += len(decoded) > len(data)
            os.makedirs(self.path("out"), exist_ok=True)
            self.assert_no_errors(self.unpack("../s.dpc", self.path("out")))
            self.assertEqual(self.read_file("out/f"), data)
        self.assertGreater(beyond, 0, "no stream of this kind among the samples")

    def test_several_mebibytes_of_mixed_data_in_a_subfolder(self):
        members = {"one.txt": b"x" * 100000, os.path.join("sub", "two.bin"):
                   au.mixed_data(3 << 20, 3), os.path.join("sub", "three"): os.urandom(200000)}
        self.round_trip(members, "-w", "21", folders=["sub"])

    @unittest.skipIf(harness.PLATFORM == "win32", "names outside the console code page")
    def test_names_with_bytes_above_0x7f(self):
        src = self.path("src")
        os.makedirs(src)
        names = [b"caf\xe9.txt", "na\u00efve-\u00fc.bin".encode("utf-8")]
        for i, name in enumerate(names):
            with open(os.path.join(src.encode(), name), "wb") as f:
                f.write(bytes([i]) * (i + 10))
        self.pack(b"../n.dpc", names, cwd=src)
        with open(self.path("n.dpc"), "rb") as f:
            entries, _ = au.parse_directory(f.read())
        self.assertEqual([name for name, _ in entries], names)
        out = self.path("out")
        self.assert_no_errors(self.unpack("../n.dpc", out))
        for i, name in enumerate(names):
            with open(os.path.join(out.encode(), name), "rb") as f:
                self.assertEqual(f.read(), bytes([i]) * (i + 10))

    def test_existing_members_are_replaced(self):
        self.write_file("src/a.txt", b"new")
        self.pack("../a.dpc", ["a.txt"], cwd=self.path("src"))
        self.write_file("out/a.txt", b"old and longer")
        self.assert_no_errors(self.unpack("../a.dpc", self.path("out")))
        self.assertEqual(self.read_file("out/a.txt"), b"new")

        # Members of one archive whose names differ only in letter case: two files here, one on
        # Windows, where each that takes another's place says so. A name stored twice, in any
        # spelling of its separators, is replaced without a word on both.
        members = [("q.txt", b"1"), ("Q.TXT", b"2"), ("Dir/x", b"3"), ("dir/X", b"4"),
                   ("a/b", b"5"), ("a\\b", b"6")]
        with open(self.path("c.dpc"), "wb") as f:
            f.write(au.build_archive(members))
        result = self.unpack("../c.dpc", self.path("case"), "-v", "1", "-c", "yes")
        warnings = [line for line in result.lines() if line.startswith("Warning")]
        self.assertEqual(result.errors(), [])
        if harness.PLATFORM == "win32":
            self.assertEqual(warnings, [harness.log_line(
                "Warning..", "COutMultiFileStream", "Write",
                "Member %s replaces %s: the names differ only in letter case" % pair).decode()
                for pair in (("Q.TXT", "q.txt"), ("dir/X", "Dir/x"))])
            expected = {"q.txt": b"2", "Dir/x": b"4"}
        else:
            self.assertEqual(warnings, [])
            expected = {name: data for name, data in members[:4]}
        expected["a/b"] = b"6"
        for name, data in expected.items():
            self.assertEqual(self.read_file(os.path.join("case", name)), data, name)


class LayoutTest(ArchiveTestCase):
    def test_worked_example_byte_for_byte(self):
        self.write_file("a.txt", b"abc")
        self.write_file(os.path.join("data", "b.bin"), au.mixed_data(4096, 4))
        self.pack("archive.dpc", ["a.txt", "data\\b.bin"])
        archive = self.read_file("archive.dpc")
        expected = bytes.fromhex(
            "5D 00 00 80 00  02 00 00 00"
            "05 00 00 00  61 2E 74 78 74  00 00 00 00  03 00 00 00 00 00 00 00"
            "0A 00 00 00  64 61 74 61 5C 62 2E 62 69 6E  00 00 00 00  00 10 00 00 00 00 00 00")
        self.assertEqual(archive[:56], expected)
        # The data stream alone, with the size field of the classic format, is plain LZMA1.
        data = lzma.decompress(archive[:5] + struct.pack("<Q", 4099) + archive[56:],
                               format=lzma.FORMAT_ALONE)
        self.assertEqual(data, b"abc" + self.read_file(os.path.join("data", "b.bin")))

    def test_window_sizes_in_the_header_and_an_empty_archive_body(self):
        self.write_file("e", b"")
        for window, dictionary in (("20", "00001000"), ("22", "00004000")):
            with self.subTest(window=window):
                self.pack("w.dpc", ["e"], "-w", window)
                archive = self.read_file("w.dpc")
                self.assertEqual(archive[:5].hex(), "5d" + dictionary)
                self.assertEqual(archive[5:26], au.directory([("e", 0)]))
                self.assertEqual(archive[26:], bytes(5))  # empty data: five zero bytes

    def test_window_29_fails_on_the_settings_and_leaves_the_archive_as_it_was(self):
        self.write_file("a", b"abc")
        refused = [program_error("Compress", "encoderSpec->SetCoderProperties failed"),
                   program_error("Compress", "Archive not written: w.dpc")]
        self.assertEqual(self.pack("w.dpc", ["a"], "-w", "29").lines(), refused)
        self.assertEqual(sorted(os.listdir(self.dir)), ["a"])  # no archive, no temporary file
        self.pack("w.dpc", ["a"])
        before = self.read_file("w.dpc")
        self.assertEqual(self.pack("w.dpc", ["a"], "-w", "29").lines(), refused)
        self.assertEqual(self.read_file("w.dpc"), before)
        self.assertEqual(sorted(os.listdir(self.dir)), ["a", "w.dpc"])

    def test_listing_prints_names_and_creates_nothing(self):
        self.write_file("a.txt", b"abc")
        self.write_file("b", b"")
        self.pack("l.dpc", ["a.txt", "b", "a.txt"])
        os.makedirs(self.path("out"))
        result = self.run_lzmulti("-t", "../l.dpc", cwd=self.path("out"))
        self.assertEqual(result.stdout, b"a.txt\nb\na.txt\n")
        self.assertEqual(result.stderr, b"")
        self.assertEqual(os.listdir(self.path("out")), [])

    def test_verbose_pipeline_lines_in_order(self):
        self.write_file("a.txt", b"abc")
        result = self.pack("v.dpc", ["a.txt"], "-v", "2")
        steps = [line for line in result.lines() if line.startswith("Verbose.. Program Compress")]
        self.assertEqual(steps, ["Verbose.. Program Compress WriteCoderProperties \n",
                                 "Verbose.. Program Compress WriteDirectory \n",
                                 "Verbose.. Program Compress Code \n"])
        self.assert_no_errors(result)
        os.makedirs(self.path("out"))
        result = self.unpack("../v.dpc", self.path("out"), "-v", "3")
        steps = [line for line in result.lines() if line.startswith("Verbose.. Program Decompress")]
        self.assertEqual(steps, ["Verbose.. Program Decompress ReadDirectory \n",
                                 "Verbose.. Program Decompress Code \n"])
        self.assertIn("Verbose.. COutMultiFileStream Write Creating: a.txt \n", result.lines())
        self.assert_no_errors(result)


class InteropTest(ArchiveTestCase):
    def test_python_lzma_stream_with_end_marker_extracts_exactly(self):
        members = [("e0", b""), ("a.txt", b"interop " * 1000), ("b.bin", au.mixed_data(300000, 5)),
                   ("e1", b"")]
        with open(self.path("p.dpc"), "wb") as f:
            f.write(au.build_archive(members))
        out = self.path("out")
        self.assert_no_errors(self.unpack("../p.dpc", out))
        for name, data in members:
            with open(os.path.join(out, name), "rb") as f:
                self.assertEqual(f.read(), data, name)

    @unittest.skipUnless(harness.PLATFORM == "linux" and shutil.which("xz"), "needs xz")
    def test_xz_decodes_our_data_stream(self):
        data = {"a": au.mixed_data(700000, 6), "b": b"", "c": au.mixed_data(1234, 7)}
        for name, content in data.items():
            self.write_file(name, content)
        self.pack("x.dpc", list(data))
        archive = self.read_file("x.dpc")
        entries, offset = au.parse_directory(archive)
        total = sum(size for _, size in entries)
        alone = archive[:5] + struct.pack("<Q", total) + archive[offset:]
        proc = subprocess.run(["xz", "--format=lzma", "-dc"], input=alone, capture_output=True,
                              check=True)
        self.assertEqual(proc.stdout, b"".join(data.values()))

    @unittest.skipUnless(harness.PLATFORM == "linux" and shutil.which("xz"), "needs xz")
    def test_archive_with_a_data_stream_made_by_xz_extracts_exactly(self):
        members = [("first.txt", b"made elsewhere\n" * 500), ("second", au.mixed_data(90000, 8)),
                   ("last", b"")]
        stream = b"".join(data for _, data in members)
        proc = subprocess.run(
            ["xz", "--format=raw",
             "--lzma1=dict=8MiB,lc=3,lp=0,pb=2,mode=normal,nice=128,mf=bt4", "-c"],
            input=stream, capture_output=True, check=True)
        archive = au.HEADER_DEFAULT + au.directory([(n, len(d)) for n, d in members]) + proc.stdout
        with open(self.path("x.dpc"), "wb") as f:
            f.write(archive)
        out = self.path("out")
        self.assert_no_errors(self.unpack("../x.dpc", out))
        for name, data in members:
            with open(os.path.join(out, name), "rb") as f:
                self.assertEqual(f.read(), data, name)


if __name__ == "__main__":
    unittest.main()
