#!/usr/bin/python3
"""Makes archives of every compression method and encryption, with independent writers.

Usage: /usr/bin/python3 make_method_archives.py OUTDIR

Writes the plain files to OUTDIR/src/ and OUTDIR/<name>.zip for each archive below. Every
archive holds some of src/'s files under their own names, so a reader's output can be
compared with them. Encrypted archives use the password "SECRET".

  deflate64        7-Zip, Deflate64 (method 9): distances past 32 KiB, matches past 258
  bzip2_7z         7-Zip, bzip2 (12)
  bzip2_py         Python's zipfile, bzip2 (12)
  lzma_eos         7-Zip, LZMA (14) with an end marker (flag bit 1)
  lzma_noeos       7-Zip, LZMA (14) without an end marker
  lzma_py          Python's zipfile, LZMA (14)
  xz_7z            7-Zip, xz (95)
  xz_tool          the xz tool's output in a zip written here (95)
  zstd_tool        the zstd tool's output in a zip written here (93), two frames
  ppmd             7-Zip, PPMd (98): not read by Marrowglen
  odd_methods      implode (6), shrink (1) and an unknown method (77), written here
  aes128 aes192 aes256   7-Zip, WinZip AES (AE-2) over deflate (and stored for random data)
  aes128_lzma      7-Zip, AES-128 over LZMA
  aes_ppmd         7-Zip, AES-256 over PPMd
  ae1              aes256 relabelled AE-1 with the real CRC-32s (the encryption is 7-Zip's)
  zipcrypto_7z     7-Zip, traditional encryption (check byte from the CRC)
  zipcrypto_info   Info-ZIP zip -e, traditional encryption with data descriptors (check byte
                   from the time)
"""

import os
import random
import struct
import subprocess
import sys
import zipfile
import zlib

SEVEN_ZIP = "7zz"
PASSWORD = "SECRET"


def sources(src):
    rng = random.Random(20240613)
    block40 = rng.randbytes(40000)
    block50 = rng.randbytes(50000)
    files = {
        "text.txt": b"".join(b"line %d %s\n" % (i, b"abc" * (i % 7)) for i in range(20000)),
        # Repeats 40,000 and 50,000 bytes back: Deflate64's distance codes 30 and 31.
        "repeat.bin": block40 * 3 + block50 * 3,
        "zeros.bin": bytes(300000),
        "random.bin": rng.randbytes(70000),
        "tiny.txt": b"hi\n",
        "empty.txt": b"",
    }
    os.makedirs(src, exist_ok=True)
    for name, data in files.items():
        with open(os.path.join(src, name), "wb") as f:
            f.write(data)
    return files


def seven_zip(out, name, src, files, *options):
    target = os.path.join(out, name + ".zip")
    subprocess.run([SEVEN_ZIP, "a", "-tzip", "-bd", *options, target, *files], cwd=src,
                   check=True, stdout=subprocess.DEVNULL)


def python_zip(out, name, files, compression):
    with zipfile.ZipFile(os.path.join(out, name + ".zip"), "w", compression) as z:
        for file_name, data in files:
            z.writestr(file_name, data)


def raw_zip(out, name, entries):
    """entries: (name, method, packed, plain); plain None for data nobody here can make."""
    body, central = bytearray(), bytearray()
    for file_name, method, packed, plain in entries:
        encoded = file_name.encode()
        crc = zlib.crc32(plain) if plain is not None else 0x12345678
        size = len(plain) if plain is not None else 3 * len(packed)
        offset = len(body)
        fields = (20, 0, method, 0x6B20, 0x52CF, crc, len(packed), size, len(encoded))
        body += struct.pack("<IHHHHHIIIHH", 0x04034B50, *fields, 0) + encoded + packed
        central += struct.pack("<IH", 0x02014B50, 0x031E) + struct.pack("<HHHHHIIIH", *fields)
        central += struct.pack("<HHHHII", 0, 0, 0, 0, 0o100644 << 16, offset) + encoded
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries), len(central),
                      len(body), 0)
    with open(os.path.join(out, name + ".zip"), "wb") as f:
        f.write(bytes(body) + bytes(central) + end)


def tool_output(command, data):
    return subprocess.run(command, input=data, check=True, stdout=subprocess.PIPE).stdout


def relabel_ae1(source, target):
    """Turns 7-Zip's AE-2 entries into AE-1 ones: vendor version 1 and the real CRC-32s in
    both headers. Only header bytes change; the encrypted data stays 7-Zip's."""
    data = bytearray(open(source, "rb").read())
    with zipfile.ZipFile(source) as z:
        infos = z.infolist()
    crcs = {}
    for info in infos:
        with open(os.path.join(os.path.dirname(target), "src", info.filename), "rb") as f:
            crcs[info.filename] = zlib.crc32(f.read())
    at = 0
    while True:
        local = data.find(b"PK\x03\x04", at)
        central = data.find(b"PK\x01\x02", at)
        hits = [h for h in (local, central) if h >= 0]
        if not hits:
            break
        at = min(hits)
        is_local = at == local
        crc_at, name_len_at = (at + 14, at + 26) if is_local else (at + 16, at + 28)
        name_len, extra_len = struct.unpack_from("<HH", data, name_len_at)
        name_at = name_len_at + (4 if is_local else 18)
        name = bytes(data[name_at:name_at + name_len]).decode()
        struct.pack_into("<I", data, crc_at, crcs[name])
        extra = data.find(b"\x01\x99\x07\x00", name_at + name_len)
        struct.pack_into("<H", data, extra + 4, 1)
        at = name_at + name_len + extra_len
        if is_local:
            at += next(i.compress_size for i in infos if i.filename == name)
    with open(target, "wb") as f:
        f.write(bytes(data))


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = os.path.abspath(sys.argv[1])
    src = os.path.join(out, "src")
    files = sources(src)
    everything = ["text.txt", "repeat.bin", "zeros.bin", "random.bin", "tiny.txt", "empty.txt"]
    seven_zip(out, "deflate64", src, everything, "-mm=Deflate64", "-mx=9")
    seven_zip(out, "bzip2_7z", src, everything, "-mm=BZip2")
    python_zip(out, "bzip2_py", [(n, files[n]) for n in everything], zipfile.ZIP_BZIP2)
    seven_zip(out, "lzma_eos", src, everything, "-mm=LZMA")
    seven_zip(out, "lzma_noeos", src, everything, "-mm=LZMA:eos=off")
    python_zip(out, "lzma_py", [(n, files[n]) for n in everything], zipfile.ZIP_LZMA)
    seven_zip(out, "xz_7z", src, everything, "-mm=XZ")
    raw_zip(out, "xz_tool", [(n, 95, tool_output(["xz", "-c", "-6"], files[n]), files[n])
                             for n in ("text.txt", "zeros.bin", "tiny.txt")])
    zstd_two_frames = (tool_output(["zstd", "-c", "-q", "-19"], files["text.txt"]) +
                       tool_output(["zstd", "-c", "-q"], files["repeat.bin"]))
    raw_zip(out, "zstd_tool", [
        ("text.txt", 93, tool_output(["zstd", "-c", "-q"], files["text.txt"]), files["text.txt"]),
        ("both.bin", 93, zstd_two_frames, files["text.txt"] + files["repeat.bin"]),
        ("tiny.txt", 93, tool_output(["zstd", "-c", "-q"], files["tiny.txt"]), files["tiny.txt"]),
    ])
    seven_zip(out, "ppmd", src, ["text.txt", "tiny.txt"], "-mm=PPMd")
    raw_zip(out, "odd_methods", [("imploded.txt", 6, b"\x01\x02\x03", None),
                                 ("shrunk.txt", 1, b"\x04\x05\x06", None),
                                 ("future.txt", 77, b"\x07\x08\x09", None),
                                 ("plain.txt", 0, b"plain\n", b"plain\n")])
    for bits in (128, 192, 256):
        seven_zip(out, "aes%d" % bits, src, everything, "-mem=AES%d" % bits, "-p" + PASSWORD)
    seven_zip(out, "aes128_lzma", src, ["text.txt", "repeat.bin"], "-mem=AES128", "-mm=LZMA",
              "-p" + PASSWORD)
    seven_zip(out, "aes_ppmd", src, ["text.txt"], "-mem=AES256", "-mm=PPMd", "-p" + PASSWORD)
    relabel_ae1(os.path.join(out, "aes256.zip"), os.path.join(out, "ae1.zip"))
    def zipcrypto_7z():
        seven_zip(out, "zipcrypto_7z", src, everything, "-mem=ZipCrypto", "-p" + PASSWORD)

    def zipcrypto_info():
        target = os.path.join(out, "zipcrypto_info.zip")
        if os.path.exists(target):
            os.unlink(target)
        subprocess.run(["zip", "-q", "-X", "-e", "-P", PASSWORD, target, *everything], cwd=src,
                       check=True)

    for make, name in ((zipcrypto_7z, "zipcrypto_7z"), (zipcrypto_info, "zipcrypto_info")):
        refusing_wrong_passwords(make, os.path.join(out, name + ".zip"))


# The passwords the tests give as wrong ones.
WRONG_PASSWORDS = (b"hunter2", b"hunter2-not-it", b"wrong", b"not-it", b"wrong-guess")


def refuses_at_check_byte(path):
    """True when every encrypted entry refuses each wrong password at its check byte."""
    with zipfile.ZipFile(path) as z:
        for info in z.infolist():
            if not info.flag_bits & 1 or info.file_size == 0:
                continue
            for wrong in WRONG_PASSWORDS:
                try:
                    z.open(info, pwd=wrong).close()
                    return False
                except RuntimeError:
                    pass
    return True


def refusing_wrong_passwords(make, path):
    """The traditional encryption's check byte lets one wrong password in 256 through, and
    its header is random: the archive is made again until the tests' wrong passwords are
    refused at once, so that what they check does not depend on chance."""
    for _ in range(100):
        if os.path.exists(path):
            os.unlink(path)
        make()
        if refuses_at_check_byte(path):
            return
    raise SystemExit("could not make %s refuse the wrong passwords" % path)


if __name__ == "__main__":
    main()
