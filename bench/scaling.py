#!/usr/bin/env python3
"""Measures how the cost of lzmulti grows with the number of files and with the bytes, against
tar + xz, interleaved in one run.

    scaling.py LZMULTI WORK_DIR DOC PLOT [--quick] [--million]

bench/scaling.sh builds LZMULTI, makes WORK_DIR on tmpfs and calls this; see docs/performance.md.
Two series, each packed, listed and unpacked by both:

- trees of 1,000, 10,000 and 100,000 tiny files (1 to 64 bytes of text, ten folders;
  bench/make_corpus.py --tree), with --million also 1,000,000 files, measured once. lzmulti packs
  them through its own wildcards, `lzmulti A.dpc 'd0/*' ... 'd9/*'`, and unpacks into a folder
  that holds the ten (empty) folders already, since it creates none;
- one large file of 1, 8 and 64 MiB, the installation-kit corpus of bench/make_corpus.py
  concatenated.

The alternative is `tar -cf - ... | xz -6 -T1`, `xz -dc | tar -tf -` and `xz -dc | tar -xf -`.
Runs, medians and ratios are those of compare.py (its run, summarise and pair_ratio): A B A B
after one untimed run of each (none for packing, and none at 1,000,000 files), the medians of
wall time, CPU time (user + system, the pipeline's processes together) and the largest peak
resident set size of a single process. Every unpacked tree is compared with the original, file by
file. The table goes into DOC between the markers of scaling.sh, the plot (wall time against
files and against MiB, log-log) into PLOT (gnuplot).
"""
import filecmp
import os
import shutil
import subprocess
import sys
import time

import compare

BEGIN = "<!-- scaling.sh: begin -->"
END = "<!-- scaling.sh: end -->"
MIB = compare.MIB
FOLDERS = ["d%d" % i for i in range(10)]
XZ = "xz -6 -T1"
DIRECTIONS = ("pack", "list", "unpack")


def interleave(reps, warm_up, a, b):
    """Runs the jobs a and b alternately, A B A B, and summarises each. A job is (prepare,
    command, finish): prepare and finish run untimed around every run of command, which returns
    (wall, cpu, peak) as compare.run does."""
    samples = {"a": [], "b": []}
    for rep in range(0 if warm_up else 1, reps + 1):
        for key, (prepare, command, finish) in (("a", a), ("b", b)):
            prepare()
            sample = command()
            finish(rep == reps)
            if rep > 0:
                samples[key].append(sample)
    return [compare.summarise(samples[k]) for k in ("a", "b")]


def same_files(original, copy, members):
    _, mismatch, errors = filecmp.cmpfiles(original, copy, members, shallow=False)
    return not mismatch and not errors


def measure(lz, work, corpus, reps, warm_up):
    """Packs, lists and unpacks corpus with lzmulti and with tar + xz. corpus: dir, members (the
    paths of its files), patterns (what lzmulti is given), tops (what tar is given), folders (to
    make before lzmulti unpacks)."""
    archive = os.path.join(work, "case.dpc")
    stream = os.path.join(work, "case.tar.xz")
    out = os.path.join(work, "out")
    tops = " ".join(corpus["tops"])
    exact = {"a": True, "b": True}
    nothing = lambda *_: None

    def unpacked(key):
        # The last run's tree is compared with the original; every tree is removed at once, so
        # that no more than one copy of a large tree is held besides the original.
        def finish(last):
            if last:
                exact[key] = same_files(corpus["dir"], out, corpus["members"])
            shutil.rmtree(out)
        return finish

    def lz_out():
        compare.fresh(out)
        for folder in corpus["folders"]:
            os.makedirs(os.path.join(out, folder))

    pack = interleave(reps["pack"], False, (
        lambda: compare.fresh(archive),
        lambda: compare.run([lz, archive] + corpus["patterns"], cwd=corpus["dir"]), nothing), (
        lambda: compare.fresh(stream),
        lambda: compare.run("tar -cf - %s | %s > %s" % (tops, XZ, stream), cwd=corpus["dir"],
                            shell=True), nothing))
    listing = interleave(reps["list"], warm_up, (
        nothing, lambda: compare.run([lz, "-t", archive], stdout=os.devnull), nothing), (
        nothing, lambda: compare.run("xz -dc %s | tar -tf - > /dev/null" % stream, shell=True),
        nothing))
    unpack = interleave(reps["unpack"], warm_up, (
        lz_out, lambda: compare.run([lz, archive], cwd=out), unpacked("a")), (
        lambda: compare.fresh(out),
        lambda: compare.run("xz -dc %s | tar -xf - -C %s" % (stream, out), shell=True),
        unpacked("b")))
    return {"pack": pack, "list": listing, "unpack": unpack, "archive": os.path.getsize(archive),
            "stream": os.path.getsize(stream), "exact": exact["a"] and exact["b"]}


def tree_corpus(work, count):
    out = os.path.join(work, "tree")
    argv = [sys.executable, os.path.join(compare.HERE, "make_corpus.py"), out, "0", "--tree",
            str(count)]
    files, total, digest = subprocess.run(argv, check=True, capture_output=True,
                                          text=True).stdout.split()
    members = [os.path.join(folder, name) for folder in FOLDERS
               for name in sorted(os.listdir(os.path.join(out, folder)))]
    names = sum(len(m) for m in members)
    return {"dir": out, "members": members, "patterns": [f + "/*" for f in FOLDERS],
            "tops": FOLDERS, "folders": FOLDERS, "count": int(files), "bytes": int(total),
            "hash": digest, "names": names}


def file_corpus(work, size_mib):
    """One file, kit.bin: the corpus of size_mib concatenated."""
    corpus = compare.make_corpus(work, "parts", size_mib)
    out = os.path.join(work, "one")
    compare.fresh(out)
    os.rename(corpus["cat"], os.path.join(out, "kit.bin"))
    shutil.rmtree(corpus["dir"])
    digest = corpus["hash"] + " (%d files joined)" % corpus["count"]
    return {"dir": out, "members": ["kit.bin"], "patterns": ["kit.bin"], "tops": ["kit.bin"],
            "folders": [], "count": 1, "bytes": corpus["bytes"], "hash": digest,
            "names": len("kit.bin")}


def table(rows, key, per_file):
    """One row per corpus and direction; the time per file only where there are many."""
    head = ["| %s | direction | runs | lzmulti wall | tar + xz wall | wall lzmulti/tar + xz | "
            "CPU lzmulti/tar + xz | " % key, "|---|---|---|---|---|---|---|"]
    if per_file:
        head[0] += "lzmulti per file | tar + xz per file | "
        head[1] += "---|---|"
    head[0] += "lzmulti per MiB | tar + xz per MiB | peak RSS lzmulti / tar + xz |"
    head[1] += "---|---|---|"
    lines = head
    for label, corpus, case in rows:
        mib = corpus["bytes"] / MIB
        for direction in DIRECTIONS:
            a, b = case[direction]
            cells = [label, direction, "%d" % a["n"], "%.3f s" % a["wall"], "%.3f s" % b["wall"],
                     "%.3f×" % compare.pair_ratio(a, b, 0), "%.3f×" % compare.pair_ratio(a, b, 1)]
            if per_file:
                cells += ["%.1f µs" % (x["wall"] / corpus["count"] * 1e6) for x in (a, b)]
            cells += ["%.3f s" % (x["wall"] / mib) for x in (a, b)]
            cells.append("%.1f / %.1f MiB" % (a["rss"], b["rss"]))
            lines.append("| " + " | ".join(cells) + " |")
    return lines


def corpus_lines(rows):
    lines = ["| corpus | files | bytes | bytes of names | hash | archive | tar.xz | "
             "unpacked byte-exact |", "|---|---|---|---|---|---|---|---|"]
    for label, corpus, case in rows:
        lines.append("| %s | %d | %d | %d | `%s` | %d | %d | %s |" % (
            label, corpus["count"], corpus["bytes"], corpus["names"], corpus["hash"],
            case["archive"], case["stream"], "yes" if case["exact"] else "NO"))
    return lines


def growth(rows):
    """Wall time at ten times the files over the time before, for each direction."""
    parts = []
    for (_, c0, k0), (_, c1, k1) in zip(rows, rows[1:]):
        if c1["count"] != 10 * c0["count"]:
            continue
        cells = []
        for direction in DIRECTIONS:
            cells.append("%s %.1f× / %.1f×" % (
                direction, k1[direction][0]["wall"] / k0[direction][0]["wall"],
                k1[direction][1]["wall"] / k0[direction][1]["wall"]))
        parts.append("{:,} → {:,} files: {}".format(c0["count"], c1["count"], ", ".join(cells)))
    return parts


def plot(trees, files, path, work):
    def write(rows, name, x):
        data = os.path.join(work, name)
        with open(data, "w") as f:
            for _, corpus, case in rows:
                f.write("%g" % x(corpus))
                for direction in DIRECTIONS:
                    f.write(" %.4f %.4f" % (case[direction][0]["wall"],
                                            case[direction][1]["wall"]))
                f.write("\n")
        return data

    tree_data = write(trees, "trees.dat", lambda c: c["count"])
    file_data = write(files, "files.dat", lambda c: c["bytes"] / MIB)
    # Columns: 2/3 pack, 4/5 list, 6/7 unpack (lzmulti / tar + xz).
    curves = []
    for column, title, colour in ((2, "pack", "#1f77b4"), (4, "list", "#2ca02c"),
                                  (6, "unpack", "#d62728")):
        curves.append("'%%s' using 1:%d with linespoints lw 2 pt 7 lc rgb '%s' "
                      "title 'lzmulti %s'" % (column, colour, title))
        curves.append("'%%s' using 1:%d with linespoints lw 1 dt 2 pt 6 lc rgb '%s' "
                      "title 'tar + xz %s'" % (column + 1, colour, title))
    # A line of slope one through lzmulti's first pack: time in proportion to the files (bytes).
    slope = [rows[0][2]["pack"][0]["wall"] / x(rows[0][1])
             for rows, x in ((trees, lambda c: c["count"]), (files, lambda c: c["bytes"] / MIB))]
    reference = "%g * x with lines dt 3 lw 1 lc rgb 'gray40' title 'in proportion'"
    script = """
set terminal pngcairo size 1000,460 font ",10"
set output '%s'
set multiplot layout 1,2
set logscale xy
set format x '10^{%%L}'
set grid
set ylabel 'wall time (s)'
set key top left
set title 'tiny files (1 to 64 bytes each)'
set xlabel 'files'
set xrange [500:*]
plot %s
set format x '%%g'
set title 'one file'
set xlabel 'MiB'
set xrange [0.5:*]
plot %s
unset multiplot
""" % (path, ", ".join([c % tree_data for c in curves] + [reference % slope[0]]),
       ", ".join([c % file_data for c in curves] + [reference % slope[1]]))
    subprocess.run(["gnuplot"], input=script, text=True, check=True)


def main():
    lz, work, doc, png = sys.argv[1:5]
    quick = "--quick" in sys.argv
    million = "--million" in sys.argv
    compare.fresh(work)
    started = time.monotonic()
    started_at = time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime())
    load_before = compare.load()

    trees = []
    counts = [1000, 10000, 100000] + ([1000000] if million else [])
    for count in counts:
        print("%d files ..." % count, flush=True)
        corpus = tree_corpus(work, count)
        if count >= 1000000:
            reps, warm = {"pack": 1, "list": 1, "unpack": 1}, False
        elif quick or count >= 100000:
            reps, warm = {"pack": 1 if quick else 3, "list": 3, "unpack": 3}, True
        else:
            reps, warm = {"pack": 5, "list": 7, "unpack": 7}, True
        trees.append(("{:,}".format(count), corpus, measure(lz, work, corpus, reps, warm)))
        shutil.rmtree(corpus["dir"])
    files = []
    for size in (1, 8, 64):
        print("one file of %d MiB ..." % size, flush=True)
        corpus = file_corpus(work, size)
        pack = 1 if quick or size >= 64 else 3
        reps = {"pack": pack, "list": 3, "unpack": 3}
        files.append(("%d MiB" % size, corpus, measure(lz, work, corpus, reps, True)))
        shutil.rmtree(corpus["dir"])
    load_after = compare.load()
    minutes = (time.monotonic() - started) / 60

    versions = "; ".join(subprocess.run([tool, "--version"], capture_output=True,
                                        text=True).stdout.splitlines()[0]
                         for tool in ("xz", "tar"))
    filesystem = subprocess.run(["stat", "-f", "-c", "%T", work], capture_output=True,
                                text=True).stdout.strip()
    lines = [BEGIN, "",
             "Run of %s: %s, %d cores, files on %s, load average %s before and %s after "
             "(1, 5, 15 min), %.1f minutes%s." % (
                 started_at, versions, os.cpu_count(), filesystem, load_before, load_after,
                 minutes, ", quick run" if quick else ""),
             "", "### Tiny files", ""] + table(trees, "files", True) + [
             "", "Growth of the wall time for ten times the files (lzmulti / tar + xz): " +
             "; ".join(growth(trees)) + ".", "",
             "### One large file", ""] + table(files, "size", False) + [
             "", "### Corpora and results", ""] + corpus_lines(trees + files) + [
             "", "![wall time against files and against MiB, log-log](scaling.png)", "", END]
    compare.replace_section(doc, BEGIN, END, lines)
    plot(trees, files, png, work)
    print("\n".join(lines))
    shutil.rmtree(work)


if __name__ == "__main__":
    main()
