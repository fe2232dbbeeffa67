"""End-to-end tests of lzmulti on bad input and failing machines: missing, short, refused, cut
and damaged archives, unsafe member names and links with and without -p, a member whose folder
does not exist or whose name is a folder, a read-only extraction folder, an archive path on a
full device, input files that vanish, become unreadable, grow or shrink while packing runs, and
the committed archives of tests/files, good and bad. Each run ends with exit status 0 and a clear Error line, writes nothing
outside the folder it extracts into, and saves every member that can be saved."""

import fcntl
import os
import resource
import signal
import stat
import subprocess
import unittest

import archive_util as au
import harness
from harness import program_error, stream_error


class BadInputTestCase(harness.ScratchDirTestCase):
    """Extraction runs in work/ below the scratch folder; the scratch folder around it must
    stay as it was."""

    def setUp(self):
        super().setUp()
        self.work = self.path("work")
        os.makedirs(self.work)

    def write_archive(self, data, name="bad.dpc"):
        with open(self.path(name), "wb") as f:
            f.write(data)
        return os.path.join("..", name)

    def extract(self, archive, *options):
        return self.run_lzmulti_within("work", *options, archive)

    def work_files(self):
        return sorted(os.listdir(self.work))

    def read_work(self, name):
        with open(os.path.join(self.work, name), "rb") as f:
            return f.read()


class RefusedArchiveTest(BadInputTestCase):
    def test_missing_archive(self):
        result = self.extract("../missing.dpc")
        self.assertEqual(result.lines(), [program_error("Decompress",
                                                        "inStreamSpec->Open ../missing.dpc failed")])
        self.assertEqual(self.work_files(), [])

    def test_archive_is_a_folder(self):
        os.makedirs(self.path("folder.dpc"))
        result = self.extract("../folder.dpc")
        self.assertEqual(result.errors(),
                         [program_error("Decompress", "inStreamSpec->Open ../folder.dpc failed")])

    def test_fewer_than_five_bytes_and_refused_properties(self):
        for data in (b"", b"\x5d\x00\x00\x80", bytes([225, 0, 0, 0x80, 0]) + bytes(20),
                     bytes([255]) + bytes(30)):
            with self.subTest(data=data[:5].hex()):
                result = self.extract(self.write_archive(data))
                self.assertEqual(result.lines(),
                                 [program_error("Decompress", "SetDecoderProperties failed")])
                self.assertEqual(self.work_files(), [])


class CutArchiveTest(BadInputTestCase):
    MEMBERS = [("a.txt", b"first member\n" * 50), ("b.bin", au.mixed_data(200000, 21)),
               ("c.txt", b"third\n" * 10), ("d", b"")]

    def archive(self):
        return au.build_archive(self.MEMBERS)

    def test_cut_inside_the_directory(self):
        full = self.archive()
        _, data_offset = au.parse_directory(full)
        for cut in (7, 9, 12, 20, 30, data_offset - 1):
            with self.subTest(cut=cut):
                for name in self.work_files():
                    os.remove(os.path.join(self.work, name))
                result = self.extract(self.write_archive(full[:cut]))
                errors = result.errors()
                # One line for the missing byte, however large the count or name length that
                # was read, then the driver's line.
                self.assertEqual(len([e for e in errors if "COutMultiFileStream" in e]), 1, errors)
                self.assertIn(program_error("Decompress", "outStreamSpec->ReadDirectory failed"),
                              errors)
                self.assertLessEqual(len(errors), 3, errors)
                # No member can be complete: the archive ended before its data.
                sizes = dict(self.MEMBERS)
                for name in self.work_files():
                    self.assertLess(len(self.read_work(name)), len(sizes[name]) or 1, name)

    def test_huge_count_and_name_length_stop_at_the_end(self):
        for data in (au.HEADER_DEFAULT + b"\xff\xff\xff\xff",
                     au.HEADER_DEFAULT + b"\x01\x00\x00\x00" + b"\xff\xff\xff\x7fname"):
            with self.subTest(data=data.hex()):
                result = self.extract(self.write_archive(data))
                self.assertEqual(len(result.errors()), 2, result.stderr[:2000])
                self.assertEqual(self.work_files(), [])

    def test_cut_inside_the_data_names_the_first_incomplete_member(self):
        full = self.archive()
        _, data_offset = au.parse_directory(full)
        cut = data_offset + (len(full) - data_offset) // 2
        result = self.extract(self.write_archive(full[:cut]))
        self.assertEqual(self.read_work("a.txt"), self.MEMBERS[0][1])
        self.assertEqual(result.errors(),
                         [program_error("Decompress", "Not completely extracted: b.bin")])
        self.assertLess(len(self.read_work("b.bin")), len(self.MEMBERS[1][1]))
        self.assertNotIn("c.txt", self.work_files())

    def test_archive_without_any_data(self):
        full = self.archive()
        _, data_offset = au.parse_directory(full)
        result = self.extract(self.write_archive(full[:data_offset]))
        self.assertEqual(result.errors(),
                         [program_error("Decompress", "Not completely extracted: a.txt")])

    def test_data_longer_than_the_directory_says(self):
        self.write_file("x", b"x" * 5000)
        self.write_file("y", b"y" * 5000)
        self.assertEqual(self.run_lzmulti("own.dpc", "x", "y").stderr, b"")
        archive = self.read_file("own.dpc")
        _, offset = au.parse_directory(archive)
        shorter = archive[:5] + au.directory([("x", 5000), ("y", 4000)]) + archive[offset:]
        result = self.extract(self.write_archive(shorter))
        self.assertEqual(result.errors(),
                         [program_error("Decompress", "Data left over after the last member")])
        self.assertEqual(self.read_work("y"), b"y" * 4000)

    def test_flipped_bytes_in_the_data(self):
        full = self.archive()
        _, data_offset = au.parse_directory(full)
        for at in (data_offset + 3, data_offset + 100, data_offset + 5000, len(full) - 40):
            with self.subTest(at=at):
                for name in self.work_files():
                    os.remove(os.path.join(self.work, name))
                damaged = bytearray(full)
                damaged[at] ^= 0x55
                result = self.extract(self.write_archive(bytes(damaged)))
                errors = result.errors()
                self.assertGreaterEqual(len(errors), 1, "damage passed silently")
                self.assertTrue(any(e.startswith(program_error("Decompress", "")[:-2])
                                    for e in errors), errors)


class MemberNameTest(BadInputTestCase):
    def unsafe_archive(self):
        self.outside_abs = os.path.join(self.dir, "abs.txt")
        members = [("../up.txt", b"up"), (self.outside_abs, b"absolute"),
                   ("C:\\drive.txt", b"drive"), ("sub\\..\\..\\deep.txt", b"deep"),
                   ("safe.txt", b"safe"), ("..data", b"dots in a name")]
        return self.write_archive(au.build_archive(members))

    def test_unsafe_names_are_dropped_and_the_rest_extracted(self):
        result = self.extract(self.unsafe_archive())
        unsafe = lambda name: stream_error("COutMultiFileStream", "Write",
                                            "Unsafe name, not extracted: " + name)
        self.assertEqual(result.errors(),
                         [unsafe("../up.txt"), unsafe(self.outside_abs), unsafe("C:\\drive.txt"),
                          unsafe("sub\\..\\..\\deep.txt")])
        self.assertEqual(self.work_files(), ["..data", "safe.txt"])
        self.assertEqual(self.read_work("safe.txt"), b"safe")
        self.assertEqual(self.read_work("..data"), b"dots in a name")

    def test_device_stream_and_dot_names_are_dropped(self):
        names = ["NUL", "con.txt", "sub/COM1.log", "a.txt:hidden", ".. /x.txt", "..."]
        members = [(name, name.encode()) for name in names] + [("a.txt", b"kept")]
        result = self.extract(self.write_archive(au.build_archive(members)))
        self.assertEqual(result.errors(), [
            stream_error("COutMultiFileStream", "Write", "Unsafe name, not extracted: " + name)
            for name in names])
        self.assertEqual(self.work_files(), ["a.txt"])
        self.assertEqual(self.read_work("a.txt"), b"kept")

    @unittest.skipUnless(harness.PLATFORM == "linux", "absolute POSIX paths")
    def test_preserve_path_uses_the_stored_names(self):
        archive = self.unsafe_archive()
        before = au.tree_snapshot(self.dir)
        os.makedirs(os.path.join(self.work, "sub"))
        os.makedirs(os.path.join(self.work, "C:"))  # "\\" separates folders here
        result = self.run_lzmulti("-p", "yes", archive, cwd=self.work)
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.errors(), [])
        with open(self.path("up.txt"), "rb") as f:
            self.assertEqual(f.read(), b"up")
        with open(self.outside_abs, "rb") as f:
            self.assertEqual(f.read(), b"absolute")
        self.assertEqual(self.read_work("safe.txt"), b"safe")
        self.assertEqual(self.read_work("C:/drive.txt"), b"drive")
        self.assertNotIn("deep.txt", before)
        with open(self.path("deep.txt"), "rb") as f:
            self.assertEqual(f.read(), b"deep")

    def test_listing_shows_unsafe_names_without_writing(self):
        result = self.extract(self.unsafe_archive(), "-t")
        self.assertEqual(result.stdout.count(b"\n"), 6)
        self.assertIn(b"../up.txt\n", result.stdout)
        self.assertEqual(self.work_files(), [])

    def test_links_in_the_extraction_folder_are_never_written_through(self):
        # Links made by the host. Wine shows a link to a folder as a reparse point, but a link to
        # a file as the file itself: there the member's own name is left to the Linux run.
        file_links = harness.PLATFORM == "linux"
        os.makedirs(self.path("outside", "dir"))
        self.write_file("outside/target.txt", b"keep")
        if file_links:
            os.symlink(os.path.join("..", "outside", "target.txt"),
                       os.path.join(self.work, "m.txt"))
        os.symlink(os.path.join("..", "outside", "dir"), os.path.join(self.work, "link"))
        # Deeper than the folders held one by one, too, and not the member's own folder.
        deep = "d/" * 70
        os.makedirs(os.path.join(self.work, deep))
        os.makedirs(self.path("outside", "deep", "sub"))
        os.symlink(self.path("outside", "deep"), os.path.join(self.work, deep, "link"))
        members = [("m.txt", b"member"), ("link/x", b"through"), ("link\\y", b"through"),
                   (deep + "link/sub/z", b"through"), ("after.txt", b"after")]
        result = self.extract(self.write_archive(au.build_archive(members)))
        self.assertEqual(result.errors(), [unsafe("link/x"), unsafe("link\\y"),
                                           unsafe(deep + "link/sub/z")])
        self.assertFalse(os.path.islink(os.path.join(self.work, "m.txt")))
        self.assertEqual(self.read_work("m.txt"), b"member")
        self.assertEqual(self.read_work("after.txt"), b"after")
        self.assertEqual(self.read_file("outside/target.txt"), b"keep")
        self.assertEqual(os.listdir(self.path("outside", "dir")), [])
        self.assertEqual(os.listdir(self.path("outside", "deep", "sub")), [])
        # With -p the names are used as they stand, links and all.
        if file_links:
            os.remove(os.path.join(self.work, "m.txt"))
            os.symlink(os.path.join("..", "outside", "target.txt"),
                       os.path.join(self.work, "m.txt"))
        result = self.run_lzmulti("-p", "yes", "../bad.dpc", cwd=self.work)
        self.assertEqual(result.errors(), [])
        self.assertEqual(self.read_file("outside/dir/x"), b"through")
        if file_links:
            self.assertEqual(self.read_file("outside/target.txt"), b"member")

    @unittest.skipUnless(harness.PLATFORM == "linux", "FIFOs")
    def test_pipes_at_member_names_are_left_alone(self):
        # Opened to be looked at, a pipe without a writer would hold extraction forever.
        os.mkfifo(os.path.join(self.work, "fifo"))
        for options in ([], ["-p", "yes"]):
            with self.subTest(options=options):
                result = self.extract(self.write_archive(
                    au.build_archive([("fifo", b"data"), ("after.txt", b"after")])), *options)
                self.assertEqual(result.errors(), [stream_error(
                    "COutMultiFileStream", "Write", "Not a regular file, not extracted: fifo")])
                self.assertTrue(stat.S_ISFIFO(os.lstat(os.path.join(self.work, "fifo")).st_mode))
                self.assertEqual(self.read_work("after.txt"), b"after")

    def test_member_named_like_the_archive_is_refused(self):
        archive = au.build_archive([("first.txt", b"first"), ("own.dpc", b"not the archive"),
                                    ("last.txt", b"last")])
        with open(os.path.join(self.work, "own.dpc"), "wb") as f:
            f.write(archive)
        for options in ([], ["-p", "yes"]):
            with self.subTest(options=options):
                result = self.extract("own.dpc", *options)
                self.assertEqual(result.errors(), [stream_error(
                    "COutMultiFileStream", "Write",
                    "Names the archive being read, not extracted: own.dpc")])
                with open(os.path.join(self.work, "own.dpc"), "rb") as f:
                    self.assertEqual(f.read(), archive)
                self.assertEqual(self.read_work("last.txt"), b"last")

    def test_control_bytes_of_stored_names_are_escaped_in_the_log(self):
        names = [b"../\x1b]0;title\x07", b"nofolder/\x1b[31mred\r\n", b"ok\x7f.txt"]
        members = [(name, b"data") for name in names]
        archive = self.write_archive(au.build_archive(members))
        result = self.extract(archive)
        self.assertEqual(result.errors(), [
            unsafe("../\\x1b]0;title\\x07"),
            stream_error("COutMultiFileStream", "Write",
                         "Creating: nofolder/\\x1b[31mred\\x0d\\x0a failed"),
            program_error("Decompress", "Not completely extracted: nofolder/\\x1b[31mred\\x0d\\x0a")])
        self.assertNotIn(b"\x1b", result.stderr)
        self.assertEqual(self.read_work("ok\x7f.txt"), b"data")
        # The listing prints the names as stored.
        self.assertEqual(self.extract(archive, "-t").stdout, b"".join(n + b"\n" for n in names))

    def test_member_whose_folder_does_not_exist(self):
        members = [("first.txt", b"1" * 10), ("nofolder/second.txt", b"2" * 20),
                   ("third.txt", b"3")]
        result = self.extract(self.write_archive(au.build_archive(members)))
        # The member is passed over; the ones around it are saved.
        self.assertEqual(result.errors(), [
            stream_error("COutMultiFileStream", "Write", "Creating: nofolder/second.txt failed"),
            program_error("Decompress", "Not completely extracted: nofolder/second.txt")])
        self.assertEqual(self.read_work("first.txt"), b"1" * 10)
        self.assertEqual(self.read_work("third.txt"), b"3")
        self.assertFalse(os.path.exists(os.path.join(self.work, "nofolder")))

    def test_create_path_makes_the_folders_members_need(self):
        os.makedirs(self.path("outside"))
        os.symlink(os.path.join("..", "outside"), os.path.join(self.work, "link"))
        members = [("a/b/c/x.txt", b"x"), ("a\\b\\y.txt", b"y"), ("a/z.txt", b"z"),
                   ("link/sub/w.txt", b"w"), ("../up/u.txt", b"u"), ("last.txt", b"last")]
        archive = self.write_archive(au.build_archive(members))
        # A listing makes nothing, with -c or without.
        self.assertEqual(self.extract(archive, "-c", "yes", "-t").stdout.count(b"\n"), 6)
        self.assertEqual(self.work_files(), ["link"])
        result = self.extract(archive, "-v", "2", "-c", "yes")
        made = [line for line in result.lines() if "Creating folder" in line]
        self.assertEqual(made, [harness.log_line(
            "Verbose..", "COutMultiFileStream", "Write", "Creating folder: " + folder).decode()
            for folder in ("a", "a/b", "a/b/c")])
        # Never through a link, and an unsafe name is refused before anything is made.
        self.assertEqual(result.errors(), [unsafe("link/sub/w.txt"), unsafe("../up/u.txt")])
        self.assertEqual(os.listdir(self.path("outside")), [])
        self.assertFalse(os.path.exists(self.path("up")))
        for name, data in (("a/b/c/x.txt", b"x"), ("a/b/y.txt", b"y"), ("a/z.txt", b"z"),
                           ("last.txt", b"last")):
            self.assertEqual(self.read_work(name), data)

    def test_member_whose_folder_does_not_exist_in_our_own_archive(self):
        self.write_file("first.txt", b"1" * 10)
        self.write_file("nofolder/second.txt", b"2" * 20)
        self.write_file("third.txt", b"")
        self.write_file("fourth.txt", b"4" * 5)
        result = self.run_lzmulti("own.dpc", "first.txt", "nofolder/second.txt", "third.txt",
                                  "fourth.txt")
        self.assertEqual(result.errors(), [])
        result = self.extract("../own.dpc")
        self.assertEqual(result.errors(), [
            stream_error("COutMultiFileStream", "Write", "Creating: nofolder/second.txt failed"),
            program_error("Decompress", "Not completely extracted: nofolder/second.txt")])
        self.assertEqual(self.work_files(), ["first.txt", "fourth.txt", "third.txt"])
        self.assertEqual(self.read_work("first.txt"), b"1" * 10)
        self.assertEqual(self.read_work("third.txt"), b"")
        self.assertEqual(self.read_work("fourth.txt"), b"4" * 5)


class Short:
    """A member that comes out shorter than its directory size: its data were cut."""

    def __init__(self, size):
        self.size = size


CORPUS_DIR = os.path.join(harness.SOURCE, "tests", "files")
DIGITS = b"0123456789" * 20
CUT_DIRECTORY = [stream_error("COutMultiFileStream", "ReadUInt64", "inStream->Read byte 2 failed"),
                 program_error("Decompress", "outStreamSpec->ReadDirectory failed")]
HUGE_COUNT = [stream_error("COutMultiFileStream", "ReadUInt32", "inStream->Read byte 0 failed"),
              program_error("Decompress", "outStreamSpec->ReadDirectory failed")]
NO_HEADER = [program_error("Decompress", "SetDecoderProperties failed")]


def unsafe(name):
    return stream_error("COutMultiFileStream", "Write", "Unsafe name, not extracted: " + name)


# The committed archives of tests/files (see its README): what listing shows (names, Error lines)
# and what unpacking leaves (members, Error lines).
CORPUS = [
    ("good-two-members.dpc", ["a.txt", "b.txt"], [],
     {"a.txt": b"abc", "b.txt": b"the archive corpus\n" * 4}, []),
    ("good-huge-dictionary.dpc", ["a.txt", "b.txt"], [],
     {"a.txt": b"abc", "b.txt": b"the archive corpus\n" * 4}, []),
    ("good-no-members.dpc", [], [], {}, []),
    ("good-empty-members.dpc", ["e1", "a", "e2"], [], {"e1": b"", "a": b"hello", "e2": b""}, []),
    ("good-end-marker.dpc", ["m.txt", "e"], [], {"m.txt": DIGITS, "e": b""}, []),
    ("bad-short-header.dpc", [], NO_HEADER, {}, NO_HEADER),
    ("bad-properties.dpc", [], NO_HEADER, {}, NO_HEADER),
    ("bad-cut-directory.dpc", ["a.txt"], CUT_DIRECTORY, {},
     CUT_DIRECTORY + [program_error("Decompress", "Not completely extracted: a.txt")]),
    ("bad-huge-count.dpc", [], HUGE_COUNT, {}, HUGE_COUNT),
    ("bad-literal-bits.dpc", ["a.txt", "b.txt"], [], {},
     [program_error("Decompress", "Settings of the header not supported: lc 4 and lp 4, above 4 "
                                  "literal bits together")]),
    ("bad-no-data.dpc", ["a.txt", "b.txt"], [], {},
     [program_error("Decompress", "Not completely extracted: a.txt")]),
    ("bad-cut-data.dpc", ["first.txt", "second.bin"], [],
     {"first.txt": DIGITS, "second.bin": Short(256)},
     [program_error("Decompress", "Not completely extracted: second.bin")]),
    ("bad-one-byte-short.dpc", ["m1", "m2"], [],
     {"m1": b"".join(b"%d\n" % i for i in range(1, 501)), "m2": Short(320)},
     [program_error("Decompress", "Not completely extracted: m2")]),
    ("bad-data-left-over.dpc", ["x"], [], {"x": bytes(range(100))},
     [program_error("Decompress", "Data left over after the last member")]),
    ("bad-missing-folder.dpc", ["first.txt", "nofolder/second.txt", "third.txt"], [],
     {"first.txt": b"1" * 10, "third.txt": b"3"},
     [stream_error("COutMultiFileStream", "Write", "Creating: nofolder/second.txt failed"),
      program_error("Decompress", "Not completely extracted: nofolder/second.txt")]),
    ("bad-unsafe-names.dpc", ["../up.txt", "/abs.txt", "C:\\drive.txt", "NUL", "safe.txt"], [],
     {"safe.txt": b"safe"}, [unsafe("../up.txt"), unsafe("/abs.txt"), unsafe("C:\\drive.txt"),
                            unsafe("NUL")]),
]


class CorpusTest(BadInputTestCase):
    def test_every_archive_of_the_corpus(self):
        self.assertEqual(sorted(name for name, *_ in CORPUS),
                         sorted(name for name in os.listdir(CORPUS_DIR) if name.endswith(".dpc")))
        for name, listed, list_errors, members, unpack_errors in CORPUS:
            with self.subTest(archive=name):
                for old in self.work_files():
                    os.remove(os.path.join(self.work, old))
                with open(os.path.join(CORPUS_DIR, name), "rb") as f:
                    archive = self.write_archive(f.read(), name)
                listing = self.extract(archive, "-t")
                self.assertEqual(listing.stdout.decode("latin-1").splitlines(), listed)
                self.assertEqual(listing.errors(), list_errors)
                self.assertEqual(self.work_files(), [])
                unpacked = self.extract(archive)
                self.assertEqual(unpacked.errors(), unpack_errors)
                self.assertEqual(self.work_files(), sorted(members))
                for member, expected in members.items():
                    data = self.read_work(member)
                    if isinstance(expected, Short):
                        self.assertLess(len(data), expected.size, member)
                    else:
                        self.assertEqual(data, expected, member)


def run_pausing_at(args, cwd, marker, action):
    """Runs lzmulti at log level 3 with its log in a pipe, and calls action with the process once
    the log shows a line holding marker. lzmulti writes its log as it goes, and a full pipe holds
    it at its next log line: with the pipe cut to one page (4 KiB) before lzmulti starts, and read
    byte by byte, lzmulti is at most that far ahead of the reader. A step that more log than that
    separates from the marker has therefore not been taken when action runs; no timing is
    involved. lzmulti runs with the default handling of SIGINT, whatever the caller's."""
    cmd = harness.EMULATOR + [harness.lzmulti_path(), "-v", "3"] + list(args)
    read_end, write_end = os.pipe()
    fcntl.fcntl(write_end, fcntl.F_SETPIPE_SZ, 4096)
    proc = subprocess.Popen(cmd, cwd=cwd, stdout=subprocess.DEVNULL, stderr=write_end,
                            preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
    os.close(write_end)
    with open(read_end, "rb", buffering=0) as pipe:
        log = b""
        while not log.endswith(b"\n") or marker not in log.splitlines()[-1]:
            byte = pipe.read(1)
            if not byte:
                break
            log += byte
        found = marker in log
        if found:
            action(proc)
        log += pipe.read()
    proc.wait(timeout=120)
    errors = [line.decode("latin-1").replace("\r", "") + "\n" for line in log.splitlines()
              if line.startswith(b"Error")]
    return found, proc.returncode, errors


NOT_WRITTEN = program_error("Compress", "Archive not written: backup.dpc")


class PackFaultTest(harness.ScratchDirTestCase):
    """Packing meets a failing machine: each run ends with a clear Error line and exit status 0,
    and an archive that was there stays as it was; none is left half written."""

    # Names long enough that their directory entries, logged byte by byte at level 3, come to far
    # more log than a pipe holds.
    PADDING = ["pad%02d-" % i + "x" * 190 for i in range(30)]

    def setUp(self):
        super().setUp()
        for name in self.PADDING:
            self.write_file(name, name.encode())
        self.write_file("old.txt", b"the old archive's member")
        self.assertEqual(self.run_lzmulti("backup.dpc", "old.txt").stderr, b"")
        self.old_archive = self.read_file("backup.dpc")

    def assert_old_archive_kept(self):
        self.assertEqual(self.read_file("backup.dpc"), self.old_archive)
        self.assertEqual([n for n in os.listdir(self.dir) if ".partial" in n], [])

    def test_input_grows_or_shrinks_while_packing(self):
        for contents, changed_to in ((b"0123456789", b"0123456789 and more"),
                                     (b"0123456789", b"0123")):
            with self.subTest(changed_to=changed_to):
                self.write_file("log.txt", contents)
                # The directory entry of log.txt is logged once the file was measured; the 30
                # entries behind it come before its data are read.
                found, status, errors = run_pausing_at(
                    ["backup.dpc", "log.txt"] + self.PADDING, self.dir,
                    b"CInMultiFileStream WriteLPCTSTR log.txt",
                    lambda _: self.write_file("log.txt", changed_to))
                self.assertTrue(found)
                self.assertEqual(status, 0)
                self.assertEqual(errors, [stream_error("CInMultiFileStream", "Read",
                                                       "Size changed while packing: log.txt"),
                                          NOT_WRITTEN])
                self.assert_old_archive_kept()

    def test_input_vanishes_or_turns_into_a_pipe_between_expansion_and_packing(self):
        # Nothing is read after the failed directory: a pipe would never end.
        turn_into_pipe = [] if harness.PLATFORM != "linux" else [
            (os.mkfifo, "Not a regular file: gone.txt")]
        # The system's own words for the reason (Wine has words of its own).
        missing = "File not found." if harness.PLATFORM == "win32" else \
            "The system cannot find the file specified."
        for change, refusal in [(lambda _: None, "Opening: gone.txt failed: " + missing)] + \
                turn_into_pipe:
            with self.subTest(refusal=refusal):
                self.write_file("gone.txt", b"soon gone")

                def replace(_):
                    os.remove(self.path("gone.txt"))
                    change(self.path("gone.txt"))

                found, status, errors = run_pausing_at(
                    ["backup.dpc"] + self.PADDING + ["gone.txt"], self.dir,
                    b"Program Main Input file: gone.txt", replace)
                self.assertTrue(found)
                self.assertEqual(status, 0)
                self.assertEqual(errors, [
                    stream_error("CInMultiFileStream", "WriteDirectory", refusal),
                    program_error("Compress", "inStream->WriteDirectory failed"), NOT_WRITTEN])
                self.assert_old_archive_kept()
                if os.path.exists(self.path("gone.txt")):
                    os.remove(self.path("gone.txt"))

    @unittest.skipUnless(harness.PLATFORM == "linux", "/proc")
    def test_input_becomes_unreadable_between_expansion_and_packing(self):
        self.write_file("locked.txt", b"readable at first")

        def lock(_):
            # Permissions do not stop root; the memory file of the reading process does: it
            # opens, and reading at offset 0 fails.
            os.remove(self.path("locked.txt"))
            os.symlink("/proc/self/mem", self.path("locked.txt"))

        found, status, errors = run_pausing_at(
            ["backup.dpc"] + self.PADDING + ["locked.txt"], self.dir,
            b"Program Main Input file: locked.txt", lock)
        self.assertTrue(found)
        self.assertEqual(status, 0)
        self.assertEqual(errors, [stream_error("CInMultiFileStream", "Read", "File.Read failed"),
                                  program_error("Compress", "encoder->Code failed"), NOT_WRITTEN])
        self.assert_old_archive_kept()

    def test_archive_that_cannot_be_created(self):
        for archive in ["nofolder/z.dpc"] + (["con.dpc"] if harness.PLATFORM == "win32" else []):
            with self.subTest(archive=archive):
                self.assertEqual(self.run_lzmulti(archive, "old.txt").errors(), [
                    program_error("Compress", "outStreamSpec->Create %s failed" % archive),
                    program_error("Compress", "Archive not written: " + archive)])

    def test_pipes_and_devices_are_no_inputs(self):
        os.mkfifo(self.path("fifo"))
        # Under Wine the search finds the pipe and the device (a serial port is what a COM port
        # leads to) as files; the directory refuses them, and nothing reads them.
        device = "/dev/ttyS0" if os.path.exists("/dev/ttyS0") else "/dev/zero"
        os.symlink(device, self.path("port"))
        for name in ("fifo", "port"):
            with self.subTest(name=name):
                result = self.run_lzmulti("backup.dpc", "old.txt", name, timeout=60)
                if harness.PLATFORM == "linux":
                    failed = program_error("Main",
                                           "ExpandWildcard failed: Not a regular file: " + name)
                    self.assertEqual(result.stderr, failed.encode("latin-1") +
                                     harness.usage_text(harness.lzmulti_path()))
                else:
                    self.assertEqual(result.errors(), [
                        stream_error("CInMultiFileStream", "WriteDirectory",
                                     "Not a regular file: " + name),
                        program_error("Compress", "inStream->WriteDirectory failed"),
                        NOT_WRITTEN])
                self.assert_old_archive_kept()

    @unittest.skipUnless(harness.PLATFORM == "linux", "symbolic links")
    def test_archive_path_through_a_link(self):
        os.symlink("backup.dpc", self.path("link.dpc"))
        # A failed pack leaves the archive that the link leads to.
        refused = self.run_lzmulti("-w", "29", "link.dpc", "old.txt")
        self.assertEqual(refused.lines()[-1], program_error("Compress",
                                                           "Archive not written: link.dpc"))
        self.assert_old_archive_kept()
        # The archive among its own inputs, through the link: stored as it was, then replaced.
        self.assertEqual(self.run_lzmulti("link.dpc", "link.dpc", "old.txt").stderr, b"")
        self.assertTrue(os.path.islink(self.path("link.dpc")))
        os.makedirs(self.path("out"))
        self.assertEqual(self.run_lzmulti("../backup.dpc", cwd=self.path("out")).stderr, b"")
        self.assertEqual(self.read_file("out/link.dpc"), self.old_archive)

    @unittest.skipUnless(harness.PLATFORM == "linux", "signals")
    def test_interrupted_pack_leaves_nothing_behind(self):
        for signal_number in (signal.SIGINT, signal.SIGTERM):
            with self.subTest(signal=signal_number):
                found, status, _ = run_pausing_at(
                    ["backup.dpc"] + self.PADDING, self.dir, b"Program Compress Code",
                    lambda proc: proc.send_signal(signal_number))
                self.assertTrue(found)
                self.assertEqual(status, -signal_number)
                self.assert_old_archive_kept()
                self.assertEqual(sorted(os.listdir(self.dir)),
                                 sorted(self.PADDING + ["backup.dpc", "old.txt"]))

    @unittest.skipUnless(harness.PLATFORM == "linux" and not os.environ.get("HALYARD_SANITIZE"),
                         "a limit of address space (the sanitizers reserve terabytes of it)")
    def test_window_beyond_the_memory_the_system_gives(self):
        result = self.run_lzmulti("-w", "28", "backup.dpc", "old.txt",
                                  limits={resource.RLIMIT_AS: 1 << 30})
        self.assertEqual(result.lines(), [
            program_error("Compress", "encoder->Code failed"),
            program_error("Compress", "Not enough memory for a window of 2^28 bytes "
                                      "(about 3.0 GiB)"),
            NOT_WRITTEN])
        self.assert_old_archive_kept()

    def test_archive_among_its_own_inputs_is_stored_as_it_was(self):
        result = self.run_lzmulti("backup.dpc", "backup.dpc", "old.txt")
        self.assertEqual(result.stderr, b"")
        os.makedirs(self.path("out"))
        result = self.run_lzmulti("../backup.dpc", cwd=self.path("out"))
        self.assertEqual(result.stderr, b"")
        self.assertEqual(self.read_file("out/backup.dpc"), self.old_archive)
        self.assertEqual(self.read_file("out/old.txt"), b"the old archive's member")


class ExtractFaultTest(BadInputTestCase):
    MEMBERS = [("first.txt", b"first"), ("second.txt", b"second")]

    def test_member_whose_name_is_an_existing_folder(self):
        os.makedirs(os.path.join(self.work, "first.txt"))
        result = self.extract(self.write_archive(au.build_archive(self.MEMBERS)))
        self.assertEqual(result.errors(), [
            stream_error("COutMultiFileStream", "Write", "Creating: first.txt failed"),
            program_error("Decompress", "Not completely extracted: first.txt")])
        self.assertEqual(self.read_work("second.txt"), b"second")

    @unittest.skipUnless(harness.PLATFORM == "linux", "resource limits")
    def test_full_disk_names_the_cause_once_and_counts_what_was_not_created(self):
        # A file size limit fails the writes as a full disk does.
        members = [("a.txt", b"a" * 100), ("b.bin", au.mixed_data(300000, 5)), ("c.txt", b"c"),
                   ("d.txt", b"d")]
        archive = self.write_archive(au.build_archive(members))
        result = self.run_lzmulti(archive, cwd=self.work,
                                  limits={resource.RLIMIT_FSIZE: 200000})
        self.assertEqual(result.errors(), [
            stream_error("COutMultiFileStream", "Write", "Writing: b.bin failed: The disk is full."),
            program_error("Decompress", "encoder->Code failed"),
            program_error("Decompress", "Not completely extracted: b.bin"),
            program_error("Decompress", "Members not created: 2")])
        self.assertEqual(self.read_work("a.txt"), b"a" * 100)

    @unittest.skipUnless(harness.PLATFORM == "linux" and not os.environ.get("HALYARD_SANITIZE"),
                         "a limit of address space (the sanitizers reserve terabytes of it)")
    def test_window_beyond_the_memory_the_system_gives(self):
        # 2 GiB of data claimed with a 1 GiB window: the decoder would need about 2 GiB.
        archive = self.write_archive(au.header(30) + au.directory([("big", 1 << 31)]) +
                                     au.raw_lzma1(b"x" * 1000))
        result = self.run_lzmulti(archive, cwd=self.work, limits={resource.RLIMIT_AS: 1 << 30})
        self.assertEqual(result.errors(), [
            program_error("Decompress", "encoder->Code failed"),
            program_error("Decompress", "Not enough memory for a window of 2^30 bytes "
                                        "(about 2.0 GiB)"),
            program_error("Decompress", "Not completely extracted: big"),
            program_error("Decompress", "Members not created: 1")])
        self.assertEqual(self.work_files(), [])

    @unittest.skipUnless(harness.PLATFORM == "linux", "POSIX permissions and /sys")
    def test_read_only_extraction_folder(self):
        archive = self.write_archive(au.build_archive(self.MEMBERS))
        # Permissions do not stop root; sysfs refuses new files to everyone.
        folder = "/sys" if os.geteuid() == 0 else self.work
        os.chmod(self.work, 0o555)
        try:
            result = self.run_lzmulti(os.path.abspath(os.path.join(self.work, archive)),
                                      cwd=folder)
        finally:
            os.chmod(self.work, 0o755)
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.errors(), [
            stream_error("COutMultiFileStream", "Write", "Creating: first.txt failed"),
            stream_error("COutMultiFileStream", "Write", "Creating: second.txt failed"),
            program_error("Decompress", "Not completely extracted: first.txt")])
        self.assertEqual(self.work_files(), [])


@unittest.skipUnless(harness.PLATFORM == "linux" and os.path.exists("/dev/full"), "/dev/full")
class FullDeviceTest(harness.ScratchDirTestCase):
    def test_archive_on_a_full_device(self):
        self.write_file("a.txt", b"some data\n" * 100)
        # The archive argument needs its extension: a link to the device carries it.
        os.symlink("/dev/full", self.path("full.dpc"))
        result = self.run_lzmulti("full.dpc", "a.txt")
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.errors(), [
            program_error("Compress", "inStream->WriteDirectory failed"),
            program_error("Compress", "Writing full.dpc failed: There is not enough space on the "
                                      "disk."),
            program_error("Compress", "Archive not written: full.dpc")])


if __name__ == "__main__":
    unittest.main()
