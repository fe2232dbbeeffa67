"""End-to-end test of a member beyond 4 GiB: a sparse input of 2^32 + 1 bytes round-trips with
its 64-bit size. Slow (minutes): labelled "slow" for CTest."""

import os
import struct
import unittest

import archive_util as au
import harness
from test_archive import ArchiveTestCase

SIZE = 2**32 + 1


@unittest.skipIf(harness.PLATFORM == "win32", "4 GiB through Wine: the native run covers it")
class BigFileTest(ArchiveTestCase):
    def test_sparse_input_beyond_four_gigabytes_round_trips(self):
        os.makedirs(self.path("src"))
        with open(self.path("src", "big.bin"), "wb") as f:
            f.seek(SIZE - 1)
            f.write(b"Z")
        self.assert_no_errors(self.pack("../a.dpc", ["big.bin"], cwd=self.path("src")))
        os.remove(self.path("src", "big.bin"))
        with open(self.path("a.dpc"), "rb") as f:
            archive = f.read()
        self.assertEqual(au.parse_directory(archive)[0], [(b"big.bin", SIZE)])
        self.assertEqual(archive[9 + 4 + 7 + 4:9 + 4 + 7 + 12], struct.pack("<Q", SIZE))
        self.assert_no_errors(self.unpack("../a.dpc", self.path("out")))
        path = self.path("out", "big.bin")
        self.assertEqual(os.path.getsize(path), SIZE)
        zeros = bytes(1 << 24)
        with open(path, "rb") as f:
            for _ in range((SIZE - 1) // len(zeros)):
                self.assertEqual(f.read(len(zeros)), zeros)
            self.assertEqual(f.read(), bytes((SIZE - 1) % len(zeros)) + b"Z")
