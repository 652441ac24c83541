#!/usr/bin/python3
"""Writes the built-in sample archive: a few folders, text, a picture-like binary, a stored entry."""
import sys, zipfile, random

def main(path):
    rnd = random.Random(7)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("README.txt", "Marrowglen sample archive.\nEvery entry here is fetched alone.\n")
        z.writestr("docs/", "")
        z.writestr("docs/guide.txt", "".join(f"Line {i}: the quick brown fox\n" for i in range(2000)))
        z.writestr("docs/notes.md", "# Notes\n\n- ranged reads\n- CRC-checked\n")
        z.writestr("data/numbers.csv", "\n".join(f"{i},{i*i}" for i in range(5000)))
        z.writestr(zipfile.ZipInfo("data/random.bin"), bytes(rnd.getrandbits(8) for _ in range(40000)),
                   compress_type=zipfile.ZIP_STORED)
    print(path)

if __name__ == "__main__":
    main(sys.argv[1])
