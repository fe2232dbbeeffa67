"""The documents: lzmulti's manual page renders without warnings and agrees with the usage text
that lzmulti prints and with the README on the version, the options and flags with their long
forms, and the defaults; every file or folder of the tree that a document names exists."""

import glob
import os
import re
import shutil
import subprocess
import tempfile
import unittest

import harness

SOURCE = harness.SOURCE
MANUAL = os.path.join(SOURCE, "docs", "lzmulti.1")
README = os.path.join(SOURCE, "README.md")
DOCUMENTS = ["README.md", "docs/*.md", "scripts/README.md", "fuzz/README.md",
             "tests/files/README.md"]
# What the build makes (build/, build-win32/kit/, dist/, ...) lies beside the sources but is none
# of them.
BUILD_OUTPUT = re.compile(r"^(build[^/]*|demo-out|dist)(/|$)")
SOURCE_SUFFIXES = (".cpp", ".h", ".py", ".sh", ".cmake", ".md", ".rc", ".def", ".nsi", ".manifest",
                   ".in")


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


def expand_braces(text):
    """x.{h,cpp} -> [x.h, x.cpp]; other texts stand for themselves."""
    match = re.search(r"\{([^{}]*)\}", text)
    if match is None:
        return [text]
    return [expanded for choice in match.group(1).split(",")
            for expanded in expand_braces(text[:match.start()] + choice + text[match.end():])]


def named_paths(text):
    """The paths of the tree that a Markdown text names in backticks outside code blocks.

    A path is one word with a "/" whose first part is a top-level file or folder of the tree
    (other words with a "/" name installed files, members of an archive, build output or the
    system's files), or a bare file name with a source suffix; a bare name counts when a file of
    the tree has it. Placeholders (<name>, ...), absolute and parent paths are no paths."""
    top = {name for name in os.listdir(SOURCE) if not BUILD_OUTPUT.match(name)}
    text = re.sub(r"^```.*?^```", "", text, flags=re.M | re.S)
    for span in re.findall(r"`([^`\n]+)`", text):
        if re.search(r"\s|[<>$=\\:…]", span) or span.startswith(("/", "../", "-")):
            continue
        for path in expand_braces(span):
            if "/" in path and path.split("/")[0] in top:
                yield path, False
            elif "/" not in path and path.endswith(SOURCE_SUFFIXES):
                yield path, True


def source_names():
    """The names of the files of the tree, build output left out (and links not followed: a Wine
    prefix in a build folder links to the root of the file system)."""
    names = set()
    for folder, dirs, files in os.walk(SOURCE):
        if folder == SOURCE:
            dirs[:] = [name for name in dirs if not BUILD_OUTPUT.match(name) and name != ".git"]
        names.update(files)
    return names


def exists(path, bare, names=None):
    """Whether the tree holds path (a bare name anywhere; wildcards must match something)."""
    if bare:
        return path in (names if names is not None else source_names())
    return bool(glob.glob(os.path.join(SOURCE, path)))


@unittest.skipIf(harness.PLATFORM == "win32", "the documents are checked with the native build")
class DocumentPathsTest(unittest.TestCase):
    def test_every_named_path_exists(self):
        documents = [glob.glob(os.path.join(SOURCE, pattern)) for pattern in DOCUMENTS]
        self.assertNotIn([], documents)
        names = source_names()
        for document in sorted(sum(documents, [])):
            with open(document) as f:
                text = f.read()
            with self.subTest(document=os.path.relpath(document, SOURCE)):
                self.assertEqual([path for path, bare in named_paths(text)
                                  if not exists(path, bare, names)], [])

    def test_what_counts_as_a_path(self):
        text = ("`archive/file.{h,c}` `platform/<service>.h` `build-win32/kit/` "
                "`bin/lzmulti` `/usr/lib/wine/wine` `x.h` `lzmulti.exe` `cmake --install build`\n"
                "```sh\nscripts/nothere.sh\n```\n")
        self.assertEqual(list(named_paths(text)),
                         [("archive/file.h", False), ("archive/file.c", False),
                          ("x.h", True)])
        self.assertEqual([exists(path, bare) for path, bare in named_paths(text)],
                         [True, False, False])
        self.assertTrue(exists("tests/test_*.py", False))


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
