"""End-to-end tests of lzmulti at its limits: ten thousand members, names of thousands of bytes
and names holding every byte value, each round-tripping or failing with a clear Error line."""

import os
import unittest

import archive_util as au
import harness
from harness import program_error, stream_error
from test_archive import ArchiveTestCase


@unittest.skipIf(harness.PLATFORM == "win32", "ten thousand files through Wine take minutes")
class ManyMembersTest(ArchiveTestCase):
    def test_ten_thousand_files_round_trip(self):
        members = {os.path.join("d", "f%05d" % i): b"%d\n" % i * (i % 7) for i in range(10000)}
        for name, data in members.items():
            self.write_file(os.path.join("src", name), data)
        self.assert_no_errors(self.pack(os.path.join("..", "a.dpc"), ["d/*"],
                                        cwd=self.path("src")))
        listing = self.unpack("a.dpc", self.dir, "-t")
        self.assertEqual(len(listing.stdout.splitlines()), 10000)
        os.makedirs(self.path("out", "d"))
        self.assert_no_errors(self.unpack(os.path.join("..", "a.dpc"), self.path("out")))
        self.assertEqual(sorted(os.listdir(self.path("out", "d"))),
                         sorted(os.path.basename(n) for n in members))
        for name, data in members.items():
            with open(self.path("out", name), "rb") as f:
                self.assertEqual(f.read(), data, name)


@unittest.skipUnless(harness.PLATFORM == "linux", "POSIX names: any byte but '/' and 0")
class LongAndStrangeNamesTest(ArchiveTestCase):
    def test_a_name_of_four_thousand_bytes_round_trips(self):
        folders = os.path.join(*["%02d" % i + "n" * 197 for i in range(19)])
        name = os.path.join(folders, "f" * (4000 - len(folders) - 1))
        self.assertEqual(len(name), 4000)
        self.round_trip({name: b"deep"}, folders=[folders])

    def test_a_name_of_4096_bytes_fails_clearly(self):
        name = "x" * 4096
        archive = au.build_archive([(name, b"too long"), ("after.txt", b"after")])
        with open(self.path("long.dpc"), "wb") as f:
            f.write(archive)
        listing = self.unpack("long.dpc", self.dir, "-t")
        self.assertEqual(listing.stdout, (name + "\nafter.txt\n").encode())
        os.makedirs(self.path("out"))
        result = self.unpack(os.path.join("..", "long.dpc"), self.path("out"))
        errors = result.errors()
        # The log cuts a message at 2047 characters: the line still names the member.
        self.assertEqual(len(errors), 2, errors)
        self.assertTrue(errors[0].startswith("Error.... COutMultiFileStream Write Creating: xxx"))
        self.assertTrue(errors[1].startswith(
            "Error.... Program Decompress Not completely extracted: xxx"))
        self.assertEqual(os.listdir(self.path("out")), ["after.txt"])

    def test_names_holding_every_byte_value(self):
        # Every byte but the two folder separators, in the middle of a name.
        values = [b for b in range(1, 256) if b not in b"/\\"]
        members = {bytes([ord("n"), b, ord("x")]): bytes([b]) * 3 for b in values}
        src = self.path("src")
        os.makedirs(src)
        for name, data in members.items():
            with open(os.path.join(src.encode(), name), "wb") as f:
                f.write(data)
        self.assert_no_errors(self.pack("../a.dpc", ["n*"], cwd=src))
        self.assertEqual(sorted(au.parse_directory(self.read_file("a.dpc"))[0]),
                         sorted((name, 3) for name in members))
        out = self.path("out")
        os.makedirs(out)
        result = self.unpack("../a.dpc", out)
        # A colon is a Windows stream or drive: that one is refused, every other name comes back.
        self.assertEqual(result.errors(), [stream_error("COutMultiFileStream", "Write",
                                                        "Unsafe name, not extracted: n:x")])
        for name, data in members.items():
            if name != b"n:x":
                with open(os.path.join(out.encode(), name), "rb") as f:
                    self.assertEqual(f.read(), data, name)
        # A backslash separates folders: a file whose name holds one cannot be named.
        with open(os.path.join(src, "n\\x"), "wb") as f:
            f.write(b"x")
        result = self.pack("../b.dpc", ["n\\x"], cwd=src)
        self.assertEqual(result.lines()[0],
                         program_error("Main", "ExpandWildcard failed: File not found: n\\x"))
        # One stored name holding every byte from 1 to 255 is refused, and shown escaped.
        every = bytes(range(1, 256))
        with open(self.path("every.dpc"), "wb") as f:
            f.write(au.build_archive([(every, b"all")]))
        result = self.unpack("../every.dpc", out)
        shown = "".join("\\x%02x" % b if b < 0x20 or b == 0x7F else chr(b) for b in every)
        self.assertEqual(result.lines(), [stream_error("COutMultiFileStream", "Write",
                                                       "Unsafe name, not extracted: " + shown)])
        self.assertEqual(self.unpack("../every.dpc", out, "-t").stdout, every + b"\n")


if __name__ == "__main__":
    unittest.main()
