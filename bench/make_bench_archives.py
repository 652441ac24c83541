#!/usr/bin/python3
"""Archives for the benchmarks: many small entries, and one large compressible entry."""
import os, random, sys, zipfile

def many_entries(path, count=65535):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for i in range(count):
            z.writestr(f"d{i // 1000:03d}/file{i:05d}.txt", f"entry {i}\n")

def large_entry(path, size):
    # Text-like data: compresses about 3:1, so inflate does real work.
    rnd = random.Random(1)
    words = [bytes(rnd.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rnd.randint(2, 9)))
             for _ in range(5000)]
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=6) as z:
        z.writestr("small.txt", "before the large entry\n")
        with z.open("large.txt", "w", force_zip64=False) as f:
            written = 0
            while written < size:
                chunk = b"".join(b" ".join(rnd.choices(words, k=12)) + b"\n" for _ in range(256))
                chunk = chunk[: size - written]
                f.write(chunk)
                written += len(chunk)

if __name__ == "__main__":
    out = sys.argv[1]
    mb = int(sys.argv[2]) if len(sys.argv) > 2 else 256
    os.makedirs(out, exist_ok=True)
    if not os.path.exists(f"{out}/many.zip"):
        many_entries(f"{out}/many.zip")
    if not os.path.exists(f"{out}/large.zip"):
        large_entry(f"{out}/large.zip", mb * 1024 * 1024)
