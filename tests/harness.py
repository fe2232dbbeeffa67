"""Shared helpers of the end-to-end tests: run the built lzmulti in a scratch directory."""

import os
import re
import shlex
import shutil
import subprocess
import tempfile
import unittest

import archive_util

# The top of the source tree, and its scripts.
SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
SCRIPTS = os.path.join(SOURCE, "scripts")
PLATFORM = os.environ.get("HALYARD_PLATFORM", "linux")
# The project's version, which CMake hands to every test (tests/CMakeLists.txt).
VERSION = os.environ.get("HALYARD_VERSION", "")
EMULATOR = shlex.split(os.environ.get("HALYARD_EMULATOR", "").replace(";", " "))


def lzmulti_path():
    path = os.environ.get("LZMULTI")
    if not path:
        raise unittest.SkipTest("LZMULTI is not set; run the tests through ctest")
    return path


class Result:
    def __init__(self, returncode, stdout, stderr):
        self.returncode = returncode
        self.stdout = stdout
        self.stderr = stderr

    def lines(self):
        """The log lines on standard error, each with its line feed: a line ends at a line feed
        only, whatever other bytes a name in it holds."""
        return re.findall(r"[^\n]*\n|[^\n]+\Z", self.stderr.decode("latin-1"))

    def errors(self):
        """The Error lines of the log, in order."""
        return [line for line in self.lines() if line.startswith("Error")]

    def input_files(self):
        """The names of the "Input file" lines (log level 3), in their order, as bytes."""
        return re.findall(rb"(?m)^VVerbose\. Program Main Input file: (.*) $", self.stderr)


def run_lzmulti(args, cwd, argv0=None, timeout=300, limits=None):
    """Runs lzmulti with the argument list in cwd. Arguments may be str or bytes. limits maps
    resource limits (resource.RLIMIT_*) to the values the program runs under; a write beyond
    RLIMIT_FSIZE then fails as on a full disk instead of ending the program.

    Standard error and output are returned as bytes with the Windows console line ends folded
    to line feeds, so that expectations hold on both platforms.
    """
    exe = lzmulti_path()
    cmd = EMULATOR + [exe] + list(args)
    kwargs = {}
    if argv0 is not None and not EMULATOR:
        kwargs["executable"] = exe
        cmd[0] = argv0
    if limits:
        def limit():
            import resource
            import signal
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            for resource_id, value in limits.items():
                resource.setrlimit(resource_id, (value, value))
        kwargs["preexec_fn"] = limit
    proc = subprocess.run(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          timeout=timeout, **kwargs)
    out, err = proc.stdout, proc.stderr
    if PLATFORM == "win32":
        out = out.replace(b"\r\n", b"\n")
        err = err.replace(b"\r\n", b"\n")
    return Result(proc.returncode, out, err)


class ScratchDirTestCase(unittest.TestCase):
    """Gives each test a fresh directory, removed afterwards."""

    def setUp(self):
        self._tmp = tempfile.TemporaryDirectory(prefix="lzmulti-e2e-")
        self.dir = self._tmp.name

    def tearDown(self):
        self._tmp.cleanup()

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def write_file(self, name, data):
        full = self.path(name)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as f:
            f.write(data if isinstance(data, bytes) else data.encode())
        return full

    def read_file(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def run_lzmulti(self, *args, cwd=None, **kwargs):
        return run_lzmulti(list(args), cwd or self.dir, **kwargs)

    def run_lzmulti_within(self, folder, *args, **kwargs):
        """Runs lzmulti in folder, a folder below the scratch folder, and checks that the run
        ended with exit status 0 and changed nothing in the scratch folder outside folder."""
        before = archive_util.tree_snapshot(self.dir)
        result = self.run_lzmulti(*args, cwd=os.path.join(self.dir, folder), **kwargs)
        self.assertEqual(result.returncode, 0)
        after = archive_util.tree_snapshot(self.dir)
        outside = {path for path in set(after) ^ set(before)
                   if path != folder and not path.startswith(folder + os.sep)}
        self.assertEqual(outside, set(), "written outside " + folder + "\n" +
                         result.stderr.decode("latin-1"))
        return result


def copy_scripts(folder, names):
    """Copies the named files of scripts/ into folder, made first: scripts run outside the tree."""
    os.makedirs(folder)
    for name in names:
        shutil.copy(os.path.join(SCRIPTS, name), folder)


# --- lzmulti's console log and usage text, as the tests expect them ---

LOG_MESSAGE_LIMIT = 2047  # characters of a formatted message
LOG_LINE_BUFFER = 2048  # bytes of an assembled line, terminator included


def _to_bytes(text):
    return text if isinstance(text, bytes) else text.encode("latin-1")


def log_line(label, class_name, method, message):
    """One log line as lzmulti writes it: label, class, method field and message, each followed by
    a blank, then a line feed. The message is cut at 2047 characters; a field that does not fit
    the 2048-byte line buffer is cut and ends the line."""
    fields = [_to_bytes(label), _to_bytes(class_name), _to_bytes(method),
              _to_bytes(message)[:LOG_MESSAGE_LIMIT]]
    line = b""
    for field in fields:
        if len(line) + len(field) + 3 < LOG_LINE_BUFFER:
            line += field + b" "
        else:
            line += field[:LOG_LINE_BUFFER - len(line) - 3] + b" "
            break
    return line + b"\n"


def program_error(method, message):
    """An Error line of the program's log (class Program), as Result.lines() gives it."""
    return log_line("Error....", "Program", method, message).decode("latin-1")


def stream_error(class_name, method, message):
    """An Error line of the streams' log, as Result.lines() gives it."""
    return log_line("Error....", class_name, method, message).decode("latin-1")


def version_line():
    """The first line of the usage text."""
    if not VERSION:
        raise AssertionError("HALYARD_VERSION is not set; run the tests through ctest")
    return b"Version: " + VERSION.encode() + b"\n"


def usage_text(program_name):
    """The usage text of lzmulti for the program name as invoked."""
    name = _to_bytes(program_name)
    return (version_line() +
            b"Usage:\n"
            b"  compression:   " + name + b" [options] compressed-file [input-file]+\n"
            b"  decompression: " + name + b" [options] compressed-file\n"
            b"  example compression:   " + name + b" compressed.dpc file1 file2\n"
            b"  example decompression: " + name + b" compressed.dpc\n"
            b"Options:  option arg | alternate | default | description\n"
            b"  -e <extension> | --extension | dpc | extension of the compressed file\n"
            b"  -v <loglevel> | --loglevel | 0 | verbosity (0-4, 0 = errors only)\n"
            b"  -w <windowsize> | --windowsize | 23 | length history window: 2^n bytes (20-26)\n"
            b"Flags:  flag | alternate | description\n"
            b"  -t | --toc | show table of contents\n"
            b"\n")
