#!/usr/bin/env python3
"""Unpacking over an installation against unpacking into an empty folder, for each build.

    upgrade.py WORK DOC LZMULTI [LZMULTI_EXE]

bench/upgrade.sh builds the programs, makes WORK on tmpfs and calls this. A kit-like payload of
1,259 files (text and code of this machine's Python library, /usr/share/doc and Perl modules, at
most 48 KiB each, in their folders) and one member of 16 MiB are packed once by the Linux build;
then each build unpacks, five times each, alternately: one 16 MiB member, the 1,259 members into
an empty folder, the same 1,259 members over the files that the run before left, and one member
below 160 and below 1,600 existing nested folders (a folder should cost the same at any depth).
LZMULTI_EXE is the 32-bit Windows build, run under Wine with one wineserver kept running, so that
a start costs the same in every run. The medians go into DOC between the markers of upgrade.sh.
"""
import os
import shutil
import statistics
import subprocess
import sys
import time

import compare

BEGIN = "<!-- upgrade.sh: begin -->"
END = "<!-- upgrade.sh: end -->"
SOURCES = ["/usr/lib/python3.11", "/usr/share/doc", "/usr/share/perl5", "/usr/share/i18n"]
FILES = 1259
RUNS = 5
DEPTHS = (160, 1600)  # folders above the one member of the deep-tree runs


def make_payload(root):
    """Copies FILES files of at most 48 KiB from SOURCES below root; returns their names."""
    names = []
    for source in SOURCES:
        for folder, subfolders, files in os.walk(source):
            subfolders.sort()
            for name in sorted(files):
                path = os.path.join(folder, name)
                if os.path.islink(path) or not os.path.isfile(path):
                    continue
                if os.path.getsize(path) > 48 << 10:
                    continue
                relative = os.path.relpath(path, "/usr")
                os.makedirs(os.path.join(root, os.path.dirname(relative)), exist_ok=True)
                shutil.copyfile(path, os.path.join(root, relative))
                names.append(relative)
                if len(names) == FILES:
                    return names
    return names


def unpack(command, archive, folder):
    start = time.monotonic()
    proc = subprocess.run(command + [archive], cwd=folder, stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE)
    took = time.monotonic() - start
    if proc.returncode != 0 or b"Error" in proc.stderr:
        sys.exit("failed: %s\n%s" % (command, proc.stderr.decode(errors="replace")))
    return took


def empty_folder(path, folders):
    shutil.rmtree(path, ignore_errors=True)
    for folder in folders:
        os.makedirs(os.path.join(path, folder), exist_ok=True)
    return path


def measure(command, work, kit, folders, big, deep):
    rows = {"one": [], "empty": [], "over": []}
    rows.update({depth: [] for depth in DEPTHS})
    for _ in range(RUNS):
        rows["one"].append(unpack(command, big, empty_folder(os.path.join(work, "one"), [""])))
        out = empty_folder(os.path.join(work, "out"), folders)
        rows["empty"].append(unpack(command, kit, out))
        rows["over"].append(unpack(command, kit, out))
        for depth in DEPTHS:  # into the tree that the packing left
            rows[depth].append(unpack(command, deep[depth], os.path.join(work, "deep")))
    return {key: statistics.median(values) for key, values in rows.items()}


def deep_archives(work, lz):
    """Archives of one member below 160 and 1,600 nested folders, packed in work/deep, where the
    folders stay for the runs."""
    archives = {}
    for depth in DEPTHS:
        name = "/".join(["d"] * depth + ["x.txt"])
        folder = os.path.join(work, "deep")
        os.makedirs(folder, exist_ok=True)
        for _ in range(depth):  # deeper than os.makedirs goes
            folder = os.path.join(folder, "d")
            if not os.path.isdir(folder):
                os.mkdir(folder)
        with open(os.path.join(work, "deep", name), "wb") as f:
            f.write(b"deep\n")
        archives[depth] = os.path.join(work, "deep%d.dpc" % depth)
        subprocess.run([lz, archives[depth], name], cwd=os.path.join(work, "deep"), check=True)
    return archives


def main():
    work, doc, lz = sys.argv[1:4]
    exe = sys.argv[4] if len(sys.argv) > 4 else None
    payload = os.path.join(work, "payload")
    names = make_payload(payload)
    folders = sorted({os.path.dirname(n) for n in names} | {""})
    kit = os.path.join(work, "kit.dpc")
    subprocess.run([lz, kit] + names, cwd=payload, check=True)
    with open(os.path.join(work, "big.bin"), "wb") as f:
        for name in names:
            with open(os.path.join(payload, name), "rb") as g:
                f.write(g.read())
        f.truncate(16 << 20)
    big = os.path.join(work, "big.dpc")
    subprocess.run([lz, big, "big.bin"], cwd=work, check=True)

    builds = [("Linux build", [lz])]
    if exe:
        subprocess.run(["wineserver", "-p"])  # fails harmlessly when one runs already
        subprocess.run(["wine", "cmd", "/c", "exit", "0"], stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        builds.insert(0, ("32-bit under Wine", ["wine", exe]))
    deep = deep_archives(work, lz)
    results = [(label, measure(command, work, kit, folders, big, deep))
               for label, command in builds]

    size = sum(os.path.getsize(os.path.join(payload, n)) for n in names)
    lines = [BEGIN, "",
             "Run of %s: %d files of %.1f MiB in %d folders (and one member of 16 MiB), medians "
             "of %d runs, 2 cores, on tmpfs." % (time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime()),
                                                 len(names), size / (1 << 20), len(folders) - 1,
                                                 RUNS), "",
             "| run | " + " | ".join(label for label, _ in results) + " |",
             "|---" * (len(results) + 1) + "|"]
    for key, label in (("one", "one 16 MiB member"),
                       ("empty", "%d members into an empty folder" % len(names)),
                       ("over", "the same %d members over the files of a previous run" %
                        len(names))):
        lines.append("| %s | %s |" % (label, " | ".join("%.2f s" % r[key] for _, r in results)))
    lines.append("| over / empty | %s |" % " | ".join("%.2f" % (r["over"] / r["empty"])
                                                       for _, r in results))
    for depth in DEPTHS:
        lines.append("| one member below %d existing folders | %s |" % (
            depth, " | ".join("%.2f s" % r[depth] for _, r in results)))
    lines.append("| %d folders / %d folders | %s |" % (
        DEPTHS[1], DEPTHS[0], " | ".join("%.2f" % (r[DEPTHS[1]] / r[DEPTHS[0]])
                                         for _, r in results)))
    lines += ["", END]
    compare.replace_section(doc, BEGIN, END, lines)
    print("\n".join(lines))


if __name__ == "__main__":
    main()
