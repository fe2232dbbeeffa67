#!/usr/bin/env python3
"""Makes the benchmark corpus: an installation-kit-like set of files taken from Debian packages.

    make_corpus.py OUT_DIR SIZE_MIB [--small COUNT | --tree COUNT]

The files come from the packages of CORPUS_PACKAGES (all of them installed by the native build's
dependencies), in the order of their installed paths. Each file falls into one of four kinds by
a fixed rule: executables (ELF, not a shared object), shared objects (ELF with ".so" in the name),
already-compressed files (".gz", ".xz", ".bz2", ".zst", ".png") and text (everything else). Each
kind gets a quarter of SIZE_MIB, filled in path order with the files that still fit (see choose);
the chosen files are then copied, in path order, to OUT_DIR as 00000_name, 00001_name, ... so that
the names sort in archive order and no member needs a folder. The same package versions give the
same bytes; the script prints the file count, the byte count and a SHA-256 over names and
contents, which the benchmark tables record.

With --small COUNT it makes the many-small-files case instead: the text files, in path order,
cut into pieces of at most 1 KiB, of which the first COUNT become the files (SIZE_MIB is ignored).

With --tree COUNT it makes a tree of COUNT tiny files (SIZE_MIB is ignored): the text files, in
path order, cut into pieces of 1 to 64 bytes (lengths from a seeded generator, so that the pieces
of a smaller tree are the first of a larger one), in ten folders d0 ... d9 of a tenth each, named
0000000_name, 0000001_name, ... so that the names sort in the order of the pieces.
"""
import gzip
import hashlib
import os
import random
import shutil
import subprocess
import sys

CORPUS_PACKAGES = [
    "coreutils",
    "libc6:amd64",
    "libstdc++6:amd64",
    "cmake",
    "cmake-data",
    "perl-modules-5.36",
    "libpython3.11-stdlib:amd64",
    "groff-base",
    "cpp-12",
    "binutils-x86-64-linux-gnu",
]
COMPRESSED = (".gz", ".xz", ".bz2", ".zst", ".png")
PIECE = 1024
TINY_PIECE = 64
FOLDERS = 10


def package_files():
    paths = set()
    for package in CORPUS_PACKAGES:
        listing = subprocess.run(["dpkg-query", "-L", package], check=True,
                                 capture_output=True, text=True).stdout
        for path in listing.splitlines():
            if os.path.isfile(path) and not os.path.islink(path):
                paths.add(path)
    return sorted(paths)


def kind_of(path):
    base = os.path.basename(path)
    if base.endswith(COMPRESSED):
        return "compressed"
    with open(path, "rb") as f:
        elf = f.read(4) == b"\x7fELF"
    if elf:
        return "shared" if ".so" in base else "executable"
    return "text"


def choose(paths, size):
    """(name, bytes) of every file, in path order, that still fits into the quarter of its kind.

    The packages hold only about 1 MiB of compressed files; the compressed quarter is topped up
    with gzip copies (level 9, no name, no time) of the text files that the text quarter left.
    """
    quarter = size // 4
    left = {"executable": quarter, "shared": quarter, "compressed": quarter,
            "text": size - 3 * quarter}
    chosen = {}
    spare_text = []
    for path in paths:
        kind = kind_of(path)
        length = os.path.getsize(path)
        if length <= left[kind]:
            left[kind] -= length
            with open(path, "rb") as f:
                chosen[path] = (os.path.basename(path), f.read())
        elif kind == "text":
            spare_text.append(path)
    for path in spare_text:
        with open(path, "rb") as f:
            packed = gzip.compress(f.read(), compresslevel=9, mtime=0)
        if len(packed) <= left["compressed"]:
            left["compressed"] -= len(packed)
            chosen[path + ".gz"] = (os.path.basename(path) + ".gz", packed)
    return [chosen[key] for key in sorted(chosen)]


def choose_small(paths, count):
    chosen = []
    for path in paths:
        if kind_of(path) != "text":
            continue
        with open(path, "rb") as f:
            data = f.read()
        for offset in range(0, len(data), PIECE):
            if len(chosen) == count:
                return chosen
            chosen.append(("%s.%d" % (os.path.basename(path), offset // PIECE),
                           data[offset:offset + PIECE]))
    return chosen


def choose_tree(paths, count):
    """(relative name, bytes) of count pieces of 1 to TINY_PIECE bytes; the text runs out only
    beyond about a million pieces, and then starts again."""
    texts = [p for p in paths if kind_of(p) == "text"]
    lengths = random.Random(TINY_PIECE)
    chosen = []
    while len(chosen) < count:
        for path in texts:
            with open(path, "rb") as f:
                data = f.read()
            offset = 0
            while offset < len(data) and len(chosen) < count:
                length = lengths.randint(1, TINY_PIECE)
                index = len(chosen)
                name = "d%d/%07d_%s" % (index * FOLDERS // count, index,
                                        os.path.basename(path)[:24])
                chosen.append((name, data[offset:offset + length]))
                offset += length
            if len(chosen) == count:
                break
    return chosen


def main():
    out, size_mib = sys.argv[1], int(sys.argv[2])
    paths = package_files()
    tree = len(sys.argv) > 4 and sys.argv[3] == "--tree"
    if len(sys.argv) > 4 and sys.argv[3] == "--small":
        chosen = choose_small(paths, int(sys.argv[4]))
    elif tree:
        chosen = choose_tree(paths, int(sys.argv[4]))
    else:
        chosen = choose(paths, size_mib << 20)
    if os.path.exists(out):
        shutil.rmtree(out)
    os.makedirs(out)
    if tree:
        for folder in range(FOLDERS):
            os.makedirs(os.path.join(out, "d%d" % folder))
    digest = hashlib.sha256()
    total = 0
    for index, (base, data) in enumerate(chosen):
        name = base if tree else "%05d_%s" % (index, base)
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
        digest.update(name.encode() + b"\0" + len(data).to_bytes(8, "little") + data)
        total += len(data)
    print(len(chosen), total, digest.hexdigest()[:16])


if __name__ == "__main__":
    main()
