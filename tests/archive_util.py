"""Helpers of the archive end-to-end tests: the archive layout written out by hand, raw LZMA1
streams from Python's lzma module, and deterministic test data."""

import lzma
import os
import random
import struct

HEADER_DEFAULT = bytes.fromhex("5D00008000")  # lc 3, lp 0, pb 2, dictionary 8 MiB


def header(window_size=23, lc=3, lp=0, pb=2):
    return bytes([(pb * 5 + lp) * 9 + lc]) + struct.pack("<I", 1 << window_size)


def directory(entries):
    """The directory bytes for (name, size) pairs; names are bytes or str."""
    out = struct.pack("<I", len(entries))
    for name, size in entries:
        name = name if isinstance(name, bytes) else name.encode("latin-1")
        out += struct.pack("<I", len(name)) + name + struct.pack("<I", 0) + struct.pack("<Q", size)
    return out


def raw_lzma1(data, window_size=20):
    """A raw LZMA1 stream with an end marker, made by an independent encoder."""
    filters = [{"id": lzma.FILTER_LZMA1, "dict_size": 1 << window_size, "lc": 3, "lp": 0,
                "pb": 2}]
    return lzma.compress(data, format=lzma.FORMAT_RAW, filters=filters)


def build_archive(entries_with_data, window_size=20):
    """An archive of (name, bytes) members whose data stream comes from Python's lzma module."""
    entries = [(name, len(data)) for name, data in entries_with_data]
    stream = b"".join(data for _, data in entries_with_data)
    return header(window_size) + directory(entries) + raw_lzma1(stream, window_size)


def parse_directory(archive):
    """(entries, offset of the compressed data) of an archive."""
    (count,) = struct.unpack_from("<I", archive, 5)
    pos = 9
    entries = []
    for _ in range(count):
        (length,) = struct.unpack_from("<I", archive, pos)
        pos += 4
        name = archive[pos:pos + length]
        pos += length + 4
        (size,) = struct.unpack_from("<Q", archive, pos)
        pos += 8
        entries.append((name, size))
    return entries, pos


WORDS = [b"alpha", b"beta", b"gamma", b"delta", b"\n", b"lzmulti", b"0123456789"]


def mixed_data(size, seed, words=WORDS, longest=(200, 3000, 4000)):
    """Text runs of words, zero runs and random bytes, the same for the same arguments; longest
    bounds the three kinds of run (words, bytes, bytes)."""
    rng = random.Random(seed)
    parts = []
    total = 0
    while total < size:
        kind = rng.randrange(3)
        if kind == 0:
            part = b" ".join(rng.choice(words) for _ in range(rng.randrange(5, longest[0])))
        elif kind == 1:
            part = bytes(rng.randrange(1, longest[1]))
        else:
            part = rng.randbytes(rng.randrange(1, longest[2]))
        parts.append(part)
        total += len(part)
    return b"".join(parts)[:size]


def tree_snapshot(root):
    """Every path below root with its size, to see what a run wrote."""
    found = {}
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(folder, name)
            found[os.path.relpath(path, root)] = os.path.getsize(path) if name in files else None
    return found
