#!/usr/bin/python3
"""Archives for bench/network.sh.

tail.zip   about 30 MiB, its central directory within the last 64 KiB: small.txt (3 KiB),
           part01..part20.txt (about 100 KiB packed each), big.bin (24 MiB, stored).
save.zip   1 GiB of stored incompressible data in four entries.
needed.py-style figures: `python3 make_network_archives.py --needed ARCHIVE NAME...` prints the
bytes the named entries occupy (local header, name, extra, packed data, descriptor)."""
import os
import random
import struct
import sys
import zipfile


def text(rnd, size):
    words = [bytes(rnd.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rnd.randint(2, 9)))
             for _ in range(3000)]
    out = bytearray()
    while len(out) < size:
        out += b" ".join(rnd.choices(words, k=12)) + b"\n"
    return bytes(out[:size])


def tail_archive(path):
    rnd = random.Random(7)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("small.txt", text(rnd, 3000))
        for i in range(1, 21):
            z.writestr(f"parts/part{i:02d}.txt", text(rnd, 300 * 1024))
        z.writestr(zipfile.ZipInfo("big.bin"), rnd.randbytes(24 * 1024 * 1024),
                   compress_type=zipfile.ZIP_STORED)
        for i in range(300):
            z.writestr(f"notes/note{i:03d}.txt", f"note {i}\n")


def save_archive(path):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as z:
        for i in range(4):
            with z.open(f"block{i}.bin", "w", force_zip64=False) as f:
                for _ in range(16):
                    f.write(os.urandom(16 * 1024 * 1024 - 4096))


def needed(path, names):
    total = 0
    with zipfile.ZipFile(path) as z, open(path, "rb") as raw:
        for name in names:
            info = z.getinfo(name)
            raw.seek(info.header_offset)
            fixed = raw.read(30)
            name_len, extra_len = struct.unpack("<HH", fixed[26:30])
            total += 30 + name_len + extra_len + info.compress_size
            if info.flag_bits & 8:
                total += 16
    return total


if __name__ == "__main__":
    if sys.argv[1] == "--needed":
        print(needed(sys.argv[2], sys.argv[3:]))
        sys.exit(0)
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    if not os.path.exists(f"{out}/tail.zip"):
        tail_archive(f"{out}/tail.zip")
    if not os.path.exists(f"{out}/save.zip"):
        save_archive(f"{out}/save.zip")
