"""End-to-end tests of lzmulti's command line, as only the built program shows it: exit status 0,
the usage text on the real standard error (stdout stays empty), the program name and the argument
bytes as the real main receives them, wildcard expansion against a real directory tree,
arguments long enough to be cut by the log, and the progress line that a terminal shows. How the options and the extension are parsed, the
operation chosen and the option log lines are the driver's unit tests' (app/program_test.cpp).

The archive pipelines are not judged here: where a run goes on to compress or decompress, only the
lines that the driver prints before it are compared."""

import os
import pty
import re
import subprocess
import unittest

import harness
from harness import log_line, usage_text

PROGRAM = b"lzmulti"


def V(message):
    return log_line("Verbose..", "Program", "Main", message)


def I(message):
    return log_line("Info.....", "Program", "Main", message)


def E(message):
    return harness.program_error("Main", message).encode("latin-1")


def VV(message, method="Main"):
    return log_line("VVerbose.", "Program", method, message)


def T(class_name, method, message):
    return log_line("Trace....", class_name, method, message)


class CmdlineTestCase(harness.ScratchDirTestCase):
    def lz(self, *args):
        """Runs lzmulti, named "lzmulti" where the platform lets the test choose argv[0]."""
        result = self.run_lzmulti(*args, argv0="lzmulti")
        self.assertEqual(result.returncode, 0)
        return result

    def program_name(self, result):
        """The program name as lzmulti saw it."""
        if not harness.EMULATOR:
            return PROGRAM
        match = re.search(rb"(?m)^  decompression: (.*) \[options\] compressed-file$",
                          result.stderr) or re.search(rb"Program name: (.*) \n", result.stderr)
        self.assertIsNotNone(match, result.stderr)
        return match.group(1)

    def assertStderr(self, result, expected):
        self.assertEqual(result.stderr.decode("latin-1"), expected.decode("latin-1"))

    def assertStderrStartsWith(self, result, expected):
        self.assertEqual(result.stderr[:len(expected)].decode("latin-1"),
                         expected.decode("latin-1"))

    def assertNoUsage(self, result):
        self.assertNotIn(harness.version_line(), result.stderr)

    def packing_at_level_3(self, result, archive, *names):
        """What "-v 3 ARCHIVE NAME..." logs before it packs, each name finding one file."""
        return (V("Option loglevel: 3") +
                b"".join(V("ExpandWildcard: " + name) + VV("AddLast: " + name, "ExpandWildcard")
                         for name in names) +
                V(b"Program name: " + self.program_name(result)) +
                I("Compressed file: " + archive) +
                b"".join(VV("Input file: " + name) for name in names))

    def assertSummary(self, result, archive, count):
        """The level-1 summary opens the log, and no usage text follows."""
        self.assertStderrStartsWith(result, I("Compressed file: " + archive) +
                                    I("Input files: %d" % count))
        self.assertNoUsage(result)


class UsageTest(CmdlineTestCase):
    def test_no_arguments_print_the_usage_text(self):
        result = self.lz()
        self.assertStderr(result, usage_text(self.program_name(result)))
        self.assertEqual(result.stdout, b"")

    @unittest.skipIf(harness.EMULATOR, "argv[0] is chosen by the emulator")
    def test_usage_text_names_the_program_as_invoked(self):
        # The default column shows the defaults, never the values that the command line set.
        for argv0 in ("./tools/LZMulti.EXE", "lz%s%n", "x" * 3000):
            with self.subTest(argv0=argv0[:20]):
                result = self.run_lzmulti("-e", "zz", "-w", "21", argv0=argv0)
                self.assertEqual(result.returncode, 0)
                self.assertStderr(result, usage_text(argv0))

    def test_trace_lines_of_a_failed_expansion(self):
        # The usage text comes between the lines of its scope on the one stream.
        result = self.lz("-v", "4", "x.dpc", "none*.txt")
        self.assertStderr(
            result,
            V("Option loglevel: 4") + b"Trace....   Leaving \n" + V("ExpandWildcard: none*.txt") +
            T("Program", "ExpandWildcard", "Entering") + T("Program", "ExpandWildcard", "Leaving") +
            E("ExpandWildcard failed: File not found: none*.txt") + T("", "Usage", "Entering") +
            usage_text(self.program_name(result)) + T("", "Usage", "Leaving"))


@unittest.skipIf(harness.PLATFORM == "win32", "a pseudo-terminal is no Windows console")
class TerminalTest(CmdlineTestCase):
    def run_on_terminal(self, *args, cwd):
        """Runs lzmulti with its standard error on a pseudo-terminal; returns what it received."""
        master, slave = pty.openpty()
        proc = subprocess.Popen([harness.lzmulti_path(), *args], cwd=cwd, stderr=slave,
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
        os.close(slave)
        received = b""
        try:
            while chunk := os.read(master, 65536):
                received += chunk
        except OSError:  # EIO: the program has closed its end
            pass
        os.close(master)
        self.assertEqual(proc.wait(timeout=300), 0)
        return received

    def test_progress_line_is_rewritten_and_blanked_out_around_the_log(self):
        # Zeros pack in seconds. The line comes at the coders' first report, within the first
        # MiB, so when unpacking at level 2 before the log line of the first member.
        for name in ("a.bin", "b.bin"):
            self.write_file(name, bytes(32 << 20))
        os.makedirs(self.path("out"))
        for cwd, *args in ((self.dir, "-v", "1", "-w", "20", "p.dpc", "a.bin", "b.bin"),
                           (self.path("out"), "-v", "2", "../p.dpc")):
            received = self.run_on_terminal(*args, cwd=cwd)
            first = re.search(rb"\r *\d+% ([\d.]+) (B|KiB|MiB) of", received)
            unit = {b"B": 1, b"KiB": 1 << 10, b"MiB": 1 << 20}[first[2]]
            self.assertLessEqual(float(first[1]) * unit, 1 << 20)
            # A log line starts on a new row or on one just blanked out ("\r", blanks, "\r"),
            # and so does the end.
            self.assertEqual(re.findall(rb"[^\r\n](?:Info|Verbose)\.", b"\n" + received), [])
            self.assertRegex(received, rb"(\n|\r +\r)$")
            # Without the line and its blanking out, the log of the same run without a terminal,
            # which for the pack is its summary alone.
            log = re.sub(rb"\r *\d+% [^\r\n]+ of [^\r\n]+|\r +\r", b"", received)
            without = self.run_lzmulti(*args, cwd=cwd)
            self.assertStderr(without, log.replace(b"\r\n", b"\n"))
            if cwd == self.dir:
                self.assertStderr(without, I("Compressed file: p.dpc") + I("Input files: 2"))
        self.assertLess(received.find(b"%"), received.find(b"Creating: a.bin"))


class WildcardTest(CmdlineTestCase):
    def setUp(self):
        super().setUp()
        for name in ("d/a.txt", "d/b.txt", "d/x.bin", "d/sub/deep.txt", "top.txt"):
            self.write_file(name, name)
        harness.os.makedirs(self.path("d", "c.txt"))

    def expanded(self, *patterns):
        result = self.lz("-v", "3", "archive.dpc", *patterns)
        self.assertNoUsage(result)
        names = result.input_files()
        # The order within one pattern is the directory search's: sorted on our POSIX layer.
        return names if harness.PLATFORM == "linux" else sorted(names)

    def test_prefix_is_kept_as_typed(self):
        self.assertEqual(self.expanded("d/*.txt"), [b"d/a.txt", b"d/b.txt"])
        self.assertEqual(self.expanded("d\\*.txt"), [b"d\\a.txt", b"d\\b.txt"])
        self.assertEqual(self.expanded("d/?.*"), [b"d/a.txt", b"d/b.txt", b"d/x.bin"])
        self.assertEqual(self.expanded("d/sub\\*"), [b"d/sub\\deep.txt"])

    def test_patterns_in_command_line_order(self):
        self.assertEqual(self.expanded("*.txt", "d/x.bin", "d\\a.txt", "top.txt"),
                         sorted([b"top.txt", b"d/x.bin", b"d\\a.txt", b"top.txt"])
                         if harness.PLATFORM != "linux" else
                         [b"top.txt", b"d/x.bin", b"d\\a.txt", b"top.txt"])

    def test_directories_and_dot_entries_are_skipped(self):
        # a.txt, b.txt and x.bin.
        self.assertSummary(self.lz("-v", "1", "archive.dpc", "d/*", "d/c.txt", "d/sub"),
                           "archive.dpc", 3)

    def test_patterns_that_match_nothing(self):
        # Wildcards in a folder's part of the name match nothing either.
        for pattern in ("d/*.zip", "nodir/*.txt", "d/missing.txt", "d/SUB/none", "d*/a.txt"):
            with self.subTest(pattern=pattern):
                result = self.lz("archive.dpc", pattern)
                self.assertStderr(result,
                                  E("ExpandWildcard failed: File not found: " + pattern) +
                                  usage_text(self.program_name(result)))


class BadInputTest(CmdlineTestCase):
    def test_very_long_arguments_are_cut_by_the_log(self):
        long_value = "E" * 5000
        long_name = "n" * 6000
        result = self.lz("-v", "2", "archive.dpc", "-e", long_value, long_name)
        expected = (V("Option loglevel: 2") + V("Option extension: " + long_value) +
                    V("ExpandWildcard: " + long_name) +
                    E("ExpandWildcard failed: File not found: " + long_name) +
                    usage_text(self.program_name(result)))
        self.assertStderr(result, expected)
        for line in result.stderr.splitlines(keepends=True)[:4]:
            self.assertLessEqual(len(line), 2047)
            self.assertTrue(line.endswith(b" \n"))

    def test_unknown_long_option_is_cut_too(self):
        option = "-" + "o" * 4000
        result = self.lz(option, "v")
        self.assertStderr(result, E("Unknown option: " + option) +
                          usage_text(self.program_name(result)))
        self.assertEqual(len(result.stderr.splitlines(keepends=True)[0]), 2047)

    def test_percent_signs_are_printed_literally(self):
        self.write_file("%d%s.txt", "p")
        result = self.lz("-v", "3", "%s%n%x.dpc", "%d%s.txt")
        self.assertStderrStartsWith(result,
                                    self.packing_at_level_3(result, "%s%n%x.dpc", "%d%s.txt"))
        result = self.lz("-e", "%s", "a.%s", "%n%s*.txt")
        self.assertStderr(result, E("ExpandWildcard failed: File not found: %n%s*.txt") +
                          usage_text(self.program_name(result)))

    @unittest.skipUnless(harness.PLATFORM == "linux", "argument bytes pass unchanged on Linux only")
    def test_non_ascii_bytes(self):
        with open(self.path("\xe4\xf6.txt".encode("latin-1").decode("utf-8", "surrogateescape")),
                  "wb") as f:
            f.write(b"x")
        result = self.lz(b"-v", b"3", b"\xc4RCHIV.DPC", b"\xe4\xf6.txt", b"\xff\xfe*")
        self.assertStderr(
            result,
            V("Option loglevel: 3") + V(b"ExpandWildcard: \xe4\xf6.txt") +
            VV(b"AddLast: \xe4\xf6.txt", "ExpandWildcard") + V(b"ExpandWildcard: \xff\xfe*") +
            E(b"ExpandWildcard failed: File not found: \xff\xfe*") + usage_text(PROGRAM))

    def test_backslashes(self):
        self.write_file("d/a.txt", "a")
        result = self.lz("-v", "3", "out\\arc.dpc", "d\\a.txt")
        self.assertStderrStartsWith(result,
                                    self.packing_at_level_3(result, "out\\arc.dpc", "d\\a.txt"))
        if harness.PLATFORM == "linux":
            # A name that ends in a separator names no entry of our directory search.
            result = self.lz("x.dpc", "d\\", "d/a.txt")
            self.assertStderr(result, E("ExpandWildcard failed: File not found: d\\") +
                              usage_text(PROGRAM))


if __name__ == "__main__":
    unittest.main()
