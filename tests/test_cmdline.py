"""End-to-end tests of lzmulti's command line: the operation it chooses, its log lines on standard
error (compared byte for byte), its usage text, wildcard expansion on a real directory tree,
argument vectors that must not upset it, and the progress line that a terminal shows.

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
    return log_line("Error....", "Program", "Main", message)


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


class UsageAndOptionsTest(CmdlineTestCase):
    def test_no_arguments_print_the_usage_text(self):
        result = self.lz()
        self.assertStderr(result, usage_text(self.program_name(result)))
        self.assertEqual(result.stdout, b"")

    @unittest.skipIf(harness.EMULATOR, "argv[0] is chosen by the emulator")
    def test_usage_text_names_the_program_as_invoked(self):
        for argv0 in ("./tools/LZMulti.EXE", "lz%s%n", "x" * 3000):
            with self.subTest(argv0=argv0[:20]):
                result = self.run_lzmulti(argv0=argv0)
                self.assertEqual(result.returncode, 0)
                self.assertStderr(result, usage_text(argv0))

    def test_option_lines_at_level_2(self):
        # Options before "-v 2" print nothing; those after it print their lines.
        result = self.lz("-e", "zz", "-w", "21", "-v", "2", "-w", "99", "-t", "--extension", "dpc",
                         "-p", "yes", "-c", "no", "--windowsize", "abc", "-x", "1",
                         "archive.dpc", "missing.txt")
        self.assertStderr(
            result,
            V("Option loglevel: 2") + V("Option windowsize: 30") + V("Option toc") +
            V("Option extension: dpc") + V("Option preservepath: 1") +
            V("Option createpath: 0") + V("Option windowsize: 20") + E("Unknown option: -x") +
            V("ExpandWildcard: missing.txt") +
            E("ExpandWildcard failed: File not found: missing.txt") +
            usage_text(self.program_name(result)))

    def test_long_options_and_help(self):
        self.write_file("a.txt", "a")
        result = self.lz("--loglevel", "2", "--help", "anything", "--createpath", "1", "-t",
                         "archive.dpc", "a.txt")
        name = self.program_name(result)
        self.assertStderr(
            result,
            V("Option loglevel: 2") + V("Option help") + V("Option createpath: 1") +
            V("Option toc") + V("ExpandWildcard: a.txt") + V(b"Program name: " + name) +
            I("Compressed file: archive.dpc") + I("Input files: 1") + usage_text(name))

    def test_unknown_options_at_the_default_level(self):
        result = self.lz("-x", "1", "--Help", "y", "-", "z", "-V")
        self.assertStderr(result,
                          E("Unknown option: -x") + E("Unknown option: --Help") +
                          E("Unknown option: -") + usage_text(self.program_name(result)))

    def test_levels_0_and_out_of_range_show_errors_only(self):
        for level in ("0", "5", "9", "-1", "2x"):
            with self.subTest(level=level):
                result = self.lz("-v", level, "-w", "25", "archive.dpc", "missing.txt")
                self.assertStderr(result,
                                  E("ExpandWildcard failed: File not found: missing.txt") +
                                  usage_text(self.program_name(result)))

    def test_first_plain_argument_only_can_be_the_archive(self):
        self.write_file("a.txt", "a")
        self.write_file("archive.dpc", "not an archive")
        result = self.lz("-v", "1", "a.txt", "archive.dpc")
        self.assertStderr(result, I("Compressed file: ") + I("Input files: 2") +
                          usage_text(self.program_name(result)))
        self.assertEqual(self.read_file("archive.dpc"), b"not an archive")

    def test_extension_option_counts_only_before_the_archive(self):
        self.write_file("f", "f")
        self.write_file("arc.zz", "z")
        result = self.lz("-v", "1", "arc.zz", "-e", "zz", "f")
        self.assertStderr(result, I("Compressed file: ") + I("Input files: 2") +
                          usage_text(self.program_name(result)))
        self.assertSummary(self.lz("-v", "1", "-e", "zz", "ARC.ZZ", "f"), "ARC.ZZ", 1)


class OperationChoiceTest(CmdlineTestCase):
    def setUp(self):
        super().setUp()
        self.write_file("a.txt", "alpha")
        self.write_file("b.txt", "beta")

    def test_files_found_choose_compression(self):
        # Without a terminal the summary is all that a complete pack logs.
        self.assertStderr(self.lz("-v", "1", "ARCHIVE.DPC", "a.txt", "b.txt"),
                          I("Compressed file: ARCHIVE.DPC") + I("Input files: 2"))

    def test_input_names_listed_at_level_3(self):
        result = self.lz("-v", "3", "archive.dpc", "a.txt", "b.txt", "a.txt")
        self.assertStderrStartsWith(
            result, self.packing_at_level_3(result, "archive.dpc", "a.txt", "b.txt", "a.txt"))
        self.assertNotIn(b"Trace....", result.stderr)
        self.assertNoUsage(result)

    def test_no_input_names_choose_decompression(self):
        self.assertSummary(self.lz("-v", "1", "archive.dpc"), "archive.dpc", 0)

    def test_names_matching_only_directories_never_unpack(self):
        # Packed once, then a member edited: a command line whose input names find no file
        # must not unpack the archive over the edit.
        self.assertEqual(self.lz("archive.dpc", "a.txt").stderr, b"")
        self.write_file("a.txt", "edited")
        self.write_file("sub/inner.txt", "x")
        result = self.lz("-v", "1", "archive.dpc", "sub", "*")
        self.assertStderrStartsWith(result, I("Compressed file: archive.dpc") +
                                    I("Input files: 3"))  # "*" finds a.txt, b.txt, archive.dpc
        self.assertEqual(self.lz("archive.dpc", "a.txt").stderr, b"")
        result = self.lz("archive.dpc", "sub")
        self.assertStderr(result, E("No file found to pack: sub") +
                          usage_text(self.program_name(result)))
        self.assertEqual(self.read_file("a.txt"), b"edited")

    def test_failed_expansion_stops_and_shows_usage(self):
        result = self.lz("-v", "2", "archive.dpc", "a.txt", "nothere.txt", "b.txt")
        self.assertStderr(result,
                          V("Option loglevel: 2") + V("ExpandWildcard: a.txt") +
                          V("ExpandWildcard: nothere.txt") +
                          E("ExpandWildcard failed: File not found: nothere.txt") +
                          usage_text(self.program_name(result)))
        self.assertFalse(harness.os.path.exists(self.path("archive.dpc")))

    def test_help_as_last_argument_is_dropped(self):
        self.assertSummary(self.lz("-v", "1", "archive.dpc", "a.txt", "-h"), "archive.dpc", 1)

    def test_trace_lines_at_level_4(self):
        result = self.lz("-v", "4", "a.txt")
        name = self.program_name(result)
        # ParseArgs was opened before Trace was on: its close prints a lone Leaving line with empty
        # class and method; the later scopes are not indented.
        self.assertStderr(
            result,
            V("Option loglevel: 4") + b"Trace....   Leaving \n" +
            V("ExpandWildcard: a.txt") + T("Program", "ExpandWildcard", "Entering") +
            VV("AddLast: a.txt", "ExpandWildcard") + T("Program", "ExpandWildcard", "Leaving") +
            V(b"Program name: " + name) + I("Compressed file: ") + VV("Input file: a.txt") +
            T("", "Usage", "Entering") + usage_text(name) + T("", "Usage", "Leaving"))

    def test_trace_lines_of_a_failed_expansion(self):
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
            # Without the line and its blanking out, the log of the same run without a terminal.
            log = re.sub(rb"\r *\d+% [^\r\n]+ of [^\r\n]+|\r +\r", b"", received)
            self.assertStderr(self.run_lzmulti(*args, cwd=cwd), log.replace(b"\r\n", b"\n"))
        self.assertLess(received.find(b"%"), received.find(b"Creating: a.bin"))


class WildcardTest(CmdlineTestCase):
    def setUp(self):
        super().setUp()
        for name in ("d/a.txt", "d/b.txt", "d/x.bin", "d/sub/deep.txt", "top.txt"):
            self.write_file(name, name)
        harness.os.makedirs(self.path("d", "c.txt"))

    def input_files(self, result):
        """The names of the "Input file" lines, in their order."""
        return re.findall(rb"(?m)^VVerbose\. Program Main Input file: (.*) $", result.stderr)

    def expanded(self, *patterns):
        result = self.lz("-v", "3", "archive.dpc", *patterns)
        self.assertNoUsage(result)
        names = self.input_files(result)
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
        for pattern in ("d/*.zip", "nodir/*.txt", "d/missing.txt", "d/SUB/none"):
            with self.subTest(pattern=pattern):
                result = self.lz("archive.dpc", pattern)
                self.assertStderr(result,
                                  E("ExpandWildcard failed: File not found: " + pattern) +
                                  usage_text(self.program_name(result)))


class BadInputTest(CmdlineTestCase):
    def test_empty_arguments_are_ignored(self):
        self.write_file("a.txt", "a")
        result = self.lz("-v", "2", "", "-e", "", "zz", "", "arc.zz", "", "a.txt", "")
        self.assertStderrStartsWith(
            result,
            V("Option loglevel: 2") + V("Option extension: zz") + V("ExpandWildcard: a.txt") +
            V(b"Program name: " + self.program_name(result)) + I("Compressed file: arc.zz") +
            I("Input files: 1"))
        self.assertNoUsage(result)

    def test_options_without_values_are_dropped_silently(self):
        self.write_file("a.txt", "a")
        for option in ("-v", "-e", "-w", "-h", "-p", "-c", "-x", "--loglevel"):
            with self.subTest(option=option):
                result = self.lz("a.txt", option)
                self.assertStderr(result, usage_text(self.program_name(result)))

    def test_pending_option_takes_the_next_argument_whatever_it_is(self):
        result = self.lz("-v", "2", "-e", "-t", "-w", "-v", "x.-t", "missing")
        self.assertStderr(result,
                          V("Option loglevel: 2") + V("Option extension: -t") +
                          V("Option windowsize: 20") + V("ExpandWildcard: missing") +
                          E("ExpandWildcard failed: File not found: missing") +
                          usage_text(self.program_name(result)))

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
        # Only A-Z fold in the extension test: a Latin-1 capital does not match its small letter.
        result = self.lz(b"-e", b"\xe4", b"x.\xc4", b"\xe4\xf6.txt")
        self.assertStderr(result, E(b"ExpandWildcard failed: File not found: x.\xc4") +
                          usage_text(PROGRAM))

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
