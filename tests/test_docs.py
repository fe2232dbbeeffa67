"""lzmulti's manual page: it renders without warnings, and it agrees with the usage text that
lzmulti prints and with the README on the version, the options and flags with their long forms,
and the defaults."""

import os
import re
import shutil
import subprocess
import tempfile
import unittest

import harness

SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
MANUAL = os.path.join(SOURCE, "docs", "lzmulti.1")
README = os.path.join(SOURCE, "README.md")


def groff(*args):
    program = shutil.which("groff")
    if program is None:
        raise AssertionError("groff is not installed; install it with: "
                             "apt-get install -y groff-base")
    return subprocess.run([program, "-man"] + list(args) + [MANUAL], stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, universal_newlines=True)


def usage_entries(text):
    """{(option, long form, default)} of the usage text; flags have the default None."""
    options = re.findall(r"^  (-\w) <\w+> \| (--\w+) \| (\S+) \|", text, re.M)
    flags = re.findall(r"^  (-\w) \| (--\w+) \| ", text, re.M)
    return set(options) | {(short, long, None) for short, long in flags}


def manual_entries(text):
    """The same of the rendered manual page's OPTIONS section (None where it names no default)."""
    section = re.search(r"^OPTIONS\n(.*?)^\S", text, re.M | re.S).group(1)
    found = set()
    for short, long, body in re.findall(r"^ {7}(-\w), (--\w+).*\n((?: {14}.*\n)*)", section, re.M):
        default = re.search(r"default (\w+)", " ".join(body.split()))
        found.add((short, long, default.group(1) if default else None))
    return found


def readme_entries(text):
    """The same of the README's option and flag tables (None for an empty or "off" default)."""
    found = set()
    for short, long, default in re.findall(r"^\| `(-\w)` \| `(--\w+)` \|[^|]*\|([^|]*)\|[^|]*\|$",
                                           text, re.M):
        default = default.strip().strip("`")
        found.add((short, long, default if default not in ("", "off") else None))
    return found | {(short, long, None) for short, long in
                    re.findall(r"^\| `(-\w)` \| `(--\w+)` \| [^|]* \|$", text, re.M)}


@unittest.skipIf(harness.PLATFORM == "win32", "the documents are checked with the native build")
class ManualPageTest(unittest.TestCase):
    def test_renders_without_warnings(self):
        proc = groff("-ww", "-z")
        self.assertEqual((proc.returncode, proc.stderr), (0, ""))

    def test_agrees_with_the_usage_text_and_the_readme(self):
        with tempfile.TemporaryDirectory(prefix="lzmulti-docs-") as folder:
            usage = harness.run_lzmulti([], folder).stderr.decode("latin-1")
        proc = groff("-Tascii", "-P-cbou")
        self.assertEqual(proc.returncode, 0, proc.stderr)
        with open(MANUAL) as f:
            source = f.read()
        with open(README) as f:
            readme = f.read()

        version = re.search(r"^Version: (\S+)$", usage, re.M).group(1)
        self.assertEqual(re.findall(r'^\.TH LZMULTI 1 "[^"]*" "halyard4 (\S+)"', source, re.M),
                         [version])
        self.assertEqual(re.findall(r"^Version: (\S+)$", source, re.M), [version])

        listed = usage_entries(usage)
        manual = manual_entries(proc.stdout)
        self.assertEqual({short for short, _, _ in listed}, {"-e", "-v", "-w", "-t"})
        self.assertEqual(manual, readme_entries(readme))
        self.assertEqual(listed - manual, set())


if __name__ == "__main__":
    unittest.main()
