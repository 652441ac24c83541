#!/usr/bin/python3
"""Writes a large ZIP64 archive as a sparse file: entries of zeros take no disk space and no
time to write, so archives of many gigabytes and of a million entries are made in seconds.

Usage: /usr/bin/python3 make_large_archive.py OUT.zip [--big BYTES] [--pad BYTES]
                                                      [--small COUNT] [--deflate-big]

Entries, in this order: big.bin (BYTES of zeros, stored or with --deflate-big deflated),
pad.bin (zeros, stored), then COUNT small stored files small/NNNNNNN.txt holding "N\\n".
Every size or offset that does not fit 32 bits goes into the ZIP64 extra field (local and
central), and the ZIP64 end record and locator are written when any value needs them.
Prints one line: the archive's length.
"""

import argparse
import struct
import zlib

CRC_POLY = 0xEDB88320
CHUNK = 1 << 20
MAX32 = 0xFFFFFFFF
DOS_TIME, DOS_DATE = (13 << 11) | (45 << 5) | 15, ((2021 - 1980) << 9) | (6 << 5) | 15


def matrix_times(matrix, vector):
    total = 0
    i = 0
    while vector:
        if vector & 1:
            total ^= matrix[i]
        vector >>= 1
        i += 1
    return total


def matrix_square(matrix):
    return [matrix_times(matrix, column) for column in matrix]


def crc_of_zeros(n):
    """CRC-32 of n zero bytes without touching them: the register's update over zeros is
    linear, so its matrix is squared for each bit of n (as zlib's crc32_combine does)."""
    register = 0xFFFFFFFF
    one_bit = [CRC_POLY] + [1 << i for i in range(31)]  # one zero bit
    step = matrix_square(matrix_square(matrix_square(one_bit)))  # one zero byte
    while n:
        if n & 1:
            register = matrix_times(step, register)
        n >>= 1
        if n:
            step = matrix_square(step)
    return register ^ 0xFFFFFFFF


def deflated_zeros(n):
    """A raw deflate stream of n zeros, built from one compressed megabyte repeated: after a
    full flush the compressor starts afresh, so each megabyte compresses to the same bytes."""
    c = zlib.compressobj(9, zlib.DEFLATED, -15)
    zeros = bytes(CHUNK)
    whole, rest = divmod(n, CHUNK)
    block = c.compress(zeros) + c.flush(zlib.Z_FULL_FLUSH) if whole else b""
    tail = c.compress(bytes(rest)) + c.flush(zlib.Z_FINISH)
    return block, whole, tail


class Writer:
    def __init__(self, path):
        self.f = open(path, "wb")
        self.central = []

    def tell(self):
        return self.f.tell()

    def entry(self, name, size, crc, method=0, packed_size=None, write_data=None):
        packed_size = size if packed_size is None else packed_size
        offset = self.tell()
        big = size >= MAX32 or packed_size >= MAX32
        local_extra = struct.pack("<HHQQ", 1, 16, size, packed_size) if big else b""
        self.f.write(struct.pack("<IHHHHHIIIHH", 0x04034B50, 45 if big else 20, 0, method,
                                 DOS_TIME, DOS_DATE, crc, MAX32 if big else packed_size,
                                 MAX32 if big else size, len(name), len(local_extra)))
        self.f.write(name + local_extra)
        if write_data:
            write_data(self.f)
        else:
            self.f.seek(packed_size, 1)  # zeros: a hole in the file
        self.central.append((name, size, packed_size, crc, method, offset))

    def finish(self):
        cd_start = self.tell()
        out = bytearray()
        for name, size, packed, crc, method, offset in self.central:
            values = []
            fields = []
            for value in (size, packed, offset):
                if value >= MAX32:
                    values.append(value)
                    fields.append(MAX32)
                else:
                    fields.append(value)
            extra = struct.pack("<HH", 1, 8 * len(values)) + struct.pack(
                "<%dQ" % len(values), *values) if values else b""
            out += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 0x031E, 45, 0, method,
                               DOS_TIME, DOS_DATE, crc, fields[1], fields[0], len(name),
                               len(extra), 0, 0, 0, 0o644 << 16, fields[2])
            out += name + extra
        self.f.write(out)
        count, cd_size = len(self.central), len(out)
        record_at = self.tell()
        if count >= 0xFFFF or cd_start >= MAX32 or cd_size >= MAX32:
            self.f.write(struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, count, count,
                                     cd_size, cd_start))
            self.f.write(struct.pack("<IIQI", 0x07064B50, 0, record_at, 1))
        self.f.write(struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, min(count, 0xFFFF),
                                 min(count, 0xFFFF), min(cd_size, MAX32),
                                 min(cd_start, MAX32), 0))
        length = self.tell()
        self.f.close()
        return length


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("out")
    parser.add_argument("--big", type=int, default=5 << 30)
    parser.add_argument("--pad", type=int, default=1 << 30)
    parser.add_argument("--small", type=int, default=70000)
    parser.add_argument("--deflate-big", action="store_true")
    args = parser.parse_args()
    w = Writer(args.out)
    if args.big:
        if args.deflate_big:
            block, whole, tail = deflated_zeros(args.big)

            def write(f):
                for _ in range(whole):
                    f.write(block)
                f.write(tail)
            w.entry(b"big.bin", args.big, crc_of_zeros(args.big), 8,
                    len(block) * whole + len(tail), write)
        else:
            w.entry(b"big.bin", args.big, crc_of_zeros(args.big))
    if args.pad:
        w.entry(b"pad.bin", args.pad, crc_of_zeros(args.pad))
    for i in range(args.small):
        data = b"%d\n" % i
        w.entry(b"small/%07d.txt" % i, len(data), zlib.crc32(data), 0, None,
                lambda f, d=data: f.write(d))
    print(w.finish())


if __name__ == "__main__":
    main()
