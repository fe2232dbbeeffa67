#!/usr/bin/env python3
"""Measures lzmulti against xz's raw LZMA1 with the same settings, interleaved in one run.

    compare.py LZMULTI WORK_DIR DOC PLOT [--quick]

bench/compare.sh builds LZMULTI, makes WORK_DIR on tmpfs and calls this; see docs/performance.md.
Every measurement is one program run: wall time from the monotonic clock, CPU time (user +
system) from wait4 and peak resident set size from /usr/bin/time (see run); both count the
children of a pipeline too, and the peak is then that of the largest single process. Each case runs both programs once to warm up, then
alternately A B A B, and reports the medians, the time ratios as medians of the ratios within
each pair (packing has no warm-up: it reads the corpus just written). The tables go into DOC between the markers of
compare.sh; PLOT gets throughput against input size (gnuplot).
"""
import filecmp
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
LZMA1 = "dict={dict},lc=3,lp=0,pb=2,mode=normal,nice=128,mf=bt4"
BEGIN = "<!-- compare.sh: begin -->"
END = "<!-- compare.sh: end -->"
MIB = 1 << 20


def xz_args(window):
    size = 1 << window
    dictionary = "%dMiB" % (size // MIB) if size >= MIB else "%dKiB" % (size // 1024)
    return ["xz", "--format=raw", "--lzma1=" + LZMA1.format(dict=dictionary)]


def run(argv, cwd=None, stdin=None, stdout=None, shell=False):
    """(wall s, cpu s, peak MiB) of one run; fails on a non-zero exit or an Error line.

    The program runs under /usr/bin/time, whose own report gives the peak: a child forked from
    this (much larger) Python process would carry its peak over the exec into ru_maxrss. Wall
    and CPU time come from wait4 on time, which counts its child and costs both programs alike.
    """
    if shell:
        argv = ["sh", "-c", argv]
    handle, report = tempfile.mkstemp(prefix="lzmulti-compare-time-")
    os.close(handle)
    fin = open(stdin, "rb") if stdin else subprocess.DEVNULL
    fout = open(stdout, "wb") if stdout else subprocess.DEVNULL
    start = time.monotonic()
    proc = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", report] + argv, cwd=cwd,
                            stdin=fin, stdout=fout, stderr=subprocess.PIPE)
    err = proc.stderr.read()
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.monotonic() - start
    code = os.waitstatus_to_exitcode(status)
    for f in (fin, fout):
        if f is not subprocess.DEVNULL:
            f.close()
    with open(report) as f:
        peak_kib = int(f.read().split()[-1])
    os.remove(report)
    if code != 0 or b"Error" in err:
        sys.exit("failed: %s\n%s" % (argv, err.decode(errors="replace")))
    return wall, usage.ru_utime + usage.ru_stime, peak_kib / 1024


def replace_section(doc, begin, end, lines):
    """Puts lines (which start with begin and end with end) in place of the section between the
    two markers of doc, or at its end when it has none."""
    with open(doc) as f:
        text = f.read()
    if begin in text:
        head, rest = text.split(begin, 1)
        tail = rest.split(end, 1)[1]
    else:
        head, tail = text.rstrip("\n") + "\n\n", "\n"
    with open(doc, "w") as f:
        f.write(head + "\n".join(lines) + tail)


def fresh(path):
    if os.path.isdir(path):
        shutil.rmtree(path)
    elif os.path.exists(path):
        os.remove(path)
    if not os.path.splitext(path)[1]:
        os.makedirs(path)


class Pair:
    """Runs two commands A B A B, after one untimed run of each when warm; prepare() runs untimed
    before each run."""

    def __init__(self, reps, warm_up=True):
        self.reps = reps
        self.warm_up = warm_up

    def measure(self, a, b):
        results = {"a": [], "b": []}
        first = 0 if self.warm_up else 1
        for rep in range(first, self.reps + 1):
            for key, job in (("a", a), ("b", b)):
                prepare, command = job
                prepare()
                sample = command()
                if rep > 0:
                    results[key].append(sample)
        return [summarise(results[k]) for k in ("a", "b")]


def summarise(samples):
    return {
        "wall": statistics.median(s[0] for s in samples),
        "cpu": statistics.median(s[1] for s in samples),
        "rss": max(s[2] for s in samples),
        "n": len(samples),
        "samples": samples,
    }


def pair_ratio(a, b, index):
    """The median over the A B pairs of A's value over B's: the two runs of a pair share the
    machine's state of the moment, so slow changes of the load cancel out."""
    return statistics.median(x[index] / y[index] for x, y in zip(a["samples"], b["samples"]))


def make_corpus(work, name, size_mib, small=0):
    out = os.path.join(work, name)
    argv = [sys.executable, os.path.join(HERE, "make_corpus.py"), out, str(size_mib)]
    if small:
        argv += ["--small", str(small)]
    count, total, digest = subprocess.run(argv, check=True, capture_output=True,
                                          text=True).stdout.split()
    names = sorted(os.listdir(out))
    concat = out + ".cat"
    with open(concat, "wb") as f:
        for n in names:
            with open(os.path.join(out, n), "rb") as g:
                f.write(g.read())
    return {"dir": out, "names": names, "cat": concat, "count": int(count), "bytes": int(total),
            "hash": digest}


def compare_case(lz, work, corpus, window, reps_pack, reps_extract, tar=False):
    """Packs and extracts corpus with lzmulti and with xz (or tar | xz); returns the rows."""
    xz = xz_args(window)
    archive = os.path.join(work, "case.dpc")
    stream = os.path.join(work, "case.raw")
    out_lz = os.path.join(work, "out-lz")
    out_xz = os.path.join(work, "out-xz")
    xz_out = os.path.join(out_xz, "data")
    lz_pack = ([lz, "-w", str(window), archive] + corpus["names"], corpus["dir"])
    if tar:
        xz_pack = "tar -cf - -C %s . | %s -c > %s" % (corpus["dir"], " ".join(xz), stream)
        xz_extract = "%s -dc < %s | tar -xf - -C %s" % (" ".join(xz), stream, out_xz)
    # Packing reads the corpus that was just written, so it needs no warm-up.
    pack = Pair(reps_pack, warm_up=False).measure(
        (lambda: fresh(archive), lambda: run(lz_pack[0], cwd=lz_pack[1])),
        (lambda: fresh(stream),
         (lambda: run(xz_pack, shell=True)) if tar else
         (lambda: run(xz + ["-c"], stdin=corpus["cat"], stdout=stream))))
    extract = Pair(reps_extract).measure(
        (lambda: fresh(out_lz), lambda: run([lz, archive], cwd=out_lz)),
        (lambda: fresh(out_xz),
         (lambda: run(xz_extract, shell=True)) if tar else
         (lambda: run(xz + ["-dc"], stdin=stream, stdout=xz_out))))
    # Byte for byte: lzmulti's members against the corpus, xz's output against its input.
    _, mismatch, errors = filecmp.cmpfiles(corpus["dir"], out_lz, corpus["names"], shallow=False)
    exact = not mismatch and not errors and len(os.listdir(out_lz)) == len(corpus["names"])
    if tar:
        _, m2, e2 = filecmp.cmpfiles(corpus["dir"], out_xz, corpus["names"], shallow=False)
        exact = exact and not m2 and not e2
    else:
        exact = exact and filecmp.cmp(corpus["cat"], xz_out, shallow=False)
    return {"pack": pack, "extract": extract, "archive": os.path.getsize(archive),
            "stream": os.path.getsize(stream), "exact": exact}


def ratio(a, b):
    return a / b if b > 0 else float("inf")


def mibs(corpus, seconds):
    return corpus["bytes"] / MIB / seconds if seconds > 0 else float("inf")


def main_table(case, other="xz"):
    lines = ["| direction | program | runs | wall (median) | CPU (median) | peak RSS | "
             "wall lzmulti/%s | CPU lzmulti/%s | RSS lzmulti/%s |" % (other, other, other),
             "|---|---|---|---|---|---|---|---|---|"]
    for direction in ("pack", "extract"):
        a, b = case[direction]
        for name, r in (("lzmulti", a), (other, b)):
            tail = ("%.3f× | %.3f× | %.3f× |" % (pair_ratio(a, b, 0), pair_ratio(a, b, 1),
                                                ratio(a["rss"], b["rss"]))
                    if name == "lzmulti" else " | | |")
            lines.append("| %s | %s | %d | %.3f s | %.3f s | %.1f MiB | %s" % (
                direction, name, r["n"], r["wall"], r["cpu"], r["rss"], tail))
    lines.append("")
    lines.append("Archive %d bytes against %d bytes from %s (%.3f×); extracted files "
                 "byte-exact: %s." % (case["archive"], case["stream"], other,
                                      ratio(case["archive"], case["stream"]),
                                      "yes" if case["exact"] else "NO"))
    return lines


def growth_table(rows, key_title):
    lines = ["| %s | files | bytes | corpus hash | pack lzmulti | pack xz | CPU lzmulti/xz | "
             "extract lzmulti | extract xz | CPU lzmulti/xz | RSS extract lzmulti / xz |" % key_title,
             "|---|---|---|---|---|---|---|---|---|---|---|"]
    for key, corpus, case in rows:
        pa, pb = case["pack"]
        ea, eb = case["extract"]
        lines.append("| %s | %d | %d | `%s` | %.2f MiB/s | %.2f MiB/s | %.3f× | %.1f MiB/s | "
                     "%.1f MiB/s | %.3f× | %.1f / %.1f MiB |" % (
                         key, corpus["count"], corpus["bytes"], corpus["hash"],
                         mibs(corpus, pa["cpu"]), mibs(corpus, pb["cpu"]),
                         pair_ratio(pa, pb, 1), mibs(corpus, ea["cpu"]),
                         mibs(corpus, eb["cpu"]), pair_ratio(ea, eb, 1), ea["rss"],
                         eb["rss"]))
    return lines


def plot(rows, path, work):
    data = os.path.join(work, "plot.dat")
    with open(data, "w") as f:
        for _, corpus, case in rows:
            f.write("%.2f %.3f %.3f %.3f %.3f\n" % (
                corpus["bytes"] / MIB, mibs(corpus, case["pack"][0]["cpu"]),
                mibs(corpus, case["pack"][1]["cpu"]), mibs(corpus, case["extract"][0]["cpu"]),
                mibs(corpus, case["extract"][1]["cpu"])))
    script = """
set terminal pngcairo size 900,420 font ",10"
set output '%s'
set multiplot layout 1,2
set xlabel 'input size (MiB)'
set ylabel 'MiB of input per CPU second'
set key bottom right
set yrange [0:*]
set title 'extraction'
plot '%s' using 1:4 with linespoints title 'lzmulti', '' using 1:5 with linespoints title 'xz -d'
set title 'packing'
plot '%s' using 1:2 with linespoints title 'lzmulti', '' using 1:3 with linespoints title 'xz'
unset multiplot
""" % (path, data, data)
    subprocess.run(["gnuplot"], input=script, text=True, check=True)


def load():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def main():
    lz, work, doc, png = sys.argv[1:5]
    quick = "--quick" in sys.argv
    reps_pack, reps_extract = (1, 5) if quick else (5, 21)
    fresh(work)
    started = time.monotonic()
    started_at = time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime())
    load_before = load()

    print("corpus 16 MiB ...", flush=True)
    c16 = make_corpus(work, "c16", 16)
    main_case = compare_case(lz, work, c16, 23, reps_pack, reps_extract)
    print("sizes ...", flush=True)
    sizes = []
    for size in (4, 32):
        corpus = make_corpus(work, "c%d" % size, size)
        sizes.append(("%d MiB" % size, corpus,
                      compare_case(lz, work, corpus, 23, 1, reps_extract // 2)))
        shutil.rmtree(corpus["dir"])
    sizes.insert(1, ("16 MiB", c16, main_case))
    print("windows ...", flush=True)
    windows = []
    for window in (20, 26):
        windows.append((str(window), c16, compare_case(lz, work, c16, window, 1,
                                                      reps_extract // 2)))
    windows.insert(1, ("23", c16, main_case))
    print("small files ...", flush=True)
    small = make_corpus(work, "small", 0, small=10000)
    small_case = compare_case(lz, work, small, 23, 1, reps_extract, tar=True)
    load_after = load()
    minutes = (time.monotonic() - started) / 60

    version = subprocess.run(["xz", "--version"], capture_output=True,
                             text=True).stdout.splitlines()[0]
    filesystem = subprocess.run(["stat", "-f", "-c", "%T", work], capture_output=True,
                                text=True).stdout.strip()
    lines = [BEGIN, "",
             "Run of %s: %s, %d cores, files on %s, load average %s before and %s after "
             "(1, 5, 15 min), %.1f minutes%s." % (
                 started_at, version, os.cpu_count(),
                 filesystem, load_before, load_after, minutes, ", quick run" if quick else ""),
             "",
             "### 16 MiB kit, window size 23",
             "",
             "Corpus: %d files, %d bytes, hash `%s`." % (c16["count"], c16["bytes"], c16["hash"]),
             ""] + main_table(main_case) + [
             "", "### Input size (window size 23; throughput per CPU second)", ""] + growth_table(
                 sizes, "size") + [
             "", "![throughput against input size](performance.png)", "",
             "### Window size (16 MiB kit; throughput per CPU second)", ""] + growth_table(
                 windows, "window") + [
             "", "### 10,000 small files against `tar | xz` (window size 23)", "",
             "Corpus: %d files, %d bytes, hash `%s`; the alternative is `tar -cf - . | xz ...` "
             "and `xz -dc ... | tar -xf -` with the same LZMA1 settings." % (
                 small["count"], small["bytes"], small["hash"]), ""] + main_table(
                     small_case, "tar + xz") + ["", END]
    replace_section(doc, BEGIN, END, lines)
    plot(sizes, png, work)
    print("\n".join(lines))
    shutil.rmtree(work)


if __name__ == "__main__":
    main()
