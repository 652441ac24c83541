#!/usr/bin/python3
"""Makes the zip archives the tests read, with Info-ZIP zip and Python's zipfile.

Usage: /usr/bin/python3 make_archives.py OUTDIR

Writes OUTDIR/<name>.zip for every archive below and OUTDIR/manifest.tsv, which lists
what Python's zipfile reads in each archive it can open, one entry per line:

    archive  name  isdir  size  packed  crc32(8 hex)  method  YYYY-MM-DDTHH:MM:SS  mode

`isdir` follows Marrowglen's rule (MS-DOS folder bit, trailing "/" or a Unix folder
mode). `name` is the entry name as Marrowglen shows it: the stored bytes as UTF-8 when flag bit
11 is set or they are valid UTF-8, else decoded from code page 437. `mode` is the Unix
mode (octal) when the entry was made on Unix, else "-".

Archives (the file name says what each one holds):
  folders            Info-ZIP tree: folders, an empty folder, deflated and stored files
  mixed              Python: deflated, stored, 0-byte stored, 0-byte deflated, 300 KB
  comment_max        a 65,535-byte archive comment
  comment_signature  the end-record signature inside the archive comment
  trailing_bytes     bytes appended after the end record (comment length stops short)
  empty              an empty archive (22 bytes)
  ten_bytes          a 10-byte file that is no archive
  case_names         two names differing only in case
  bzip2              an entry compressed with bzip2 (method 12), Info-ZIP -Z bzip2
  descriptor         every entry followed by a data descriptor (flag bit 3)
  prepended          1,000 bytes in front of the archive (offsets not adjusted)
  many_entries       65,535 entries
  names              a UTF-8-flagged name, an unflagged UTF-8 name and a CP437 name
  hostile            names that would leave the destination ("..", absolute, "C:")
  symlink            a symbolic-link entry (Info-ZIP -y)
  permissions        Unix modes 4755 and 0600, an MS-DOS read-only entry
  slash_folders      folders marked only by a trailing "/" (as jar and bsdtar write)
  stored_short       a stored entry whose packed size is smaller than its size
  directory_outside  an end record whose directory offset points past the archive
  bad_crc            an entry whose stored CRC-32 is wrong
  entry_outside      a local header offset past the end of the archive
  count_too_large    an entry count the central directory cannot hold
  encrypted          an entry with the encryption flag
  corrupt_deflate    deflated data that does not inflate
  unsupported_method an entry packed with PPMd (method 98), which Marrowglen does not read
"""

import io
import os
import struct
import subprocess
import sys
import tempfile
import zipfile
import zlib

DOS_TIME = (2021, 6, 15, 13, 45, 30)


def dos_fields(when=DOS_TIME):
    year, month, day, hour, minute, second = when
    date = ((year - 1980) << 9) | (month << 5) | day
    time = (hour << 11) | (minute << 5) | (second // 2)
    return time, date


def raw_zip(entries, comment=b"", prefix=b"", cd_offset_shift=0, count=None):
    """A zip written by hand, for what the usual writers refuse to make.

    Each entry is a dict: name (bytes), data (bytes), and optionally flags, method,
    packed (bytes stored as data), size, crc, external, made_by.
    """
    body = bytearray()
    central = bytearray()
    time, date = dos_fields()
    for e in entries:
        data = e.get("data", b"")
        packed = e.get("packed", data)
        method = e.get("method", 0)
        flags = e.get("flags", 0)
        crc = e.get("crc", zlib.crc32(data))
        size = e.get("size", len(data))
        name = e["name"]
        offset = len(body)
        body += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, flags, method, time, date,
                            crc, len(packed), size, len(name), 0)
        body += name + packed
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, e.get("made_by", 20), 20,
                               flags, method, time, date, crc, len(packed), size,
                               len(name), 0, 0, 0, 0, e.get("external", 0),
                               e.get("offset", offset))
        central += name
    count = len(entries) if count is None else count
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, count, count,
                      len(central), len(body) + cd_offset_shift, len(comment))
    return prefix + bytes(body) + bytes(central) + end + comment


def run(cmd, cwd):
    subprocess.run(cmd, cwd=cwd, check=True, stdout=subprocess.DEVNULL)


def write(out, name, data):
    with open(os.path.join(out, name + ".zip"), "wb") as f:
        f.write(data)


def zip_with_python(entries, comment=b"", stream=False):
    """entries: (name, data, compression). With `stream` the writer cannot seek, so every
    entry gets a data descriptor."""
    buffer = io.BytesIO()

    class Unseekable(io.RawIOBase):
        def writable(self):
            return True

        def write(self, b):
            return buffer.write(b)

    target = Unseekable() if stream else buffer
    with zipfile.ZipFile(target, "w") as z:
        for name, data, compression in entries:
            info = zipfile.ZipInfo(name, DOS_TIME)
            info.compress_type = compression
            info.external_attr = 0o644 << 16
            z.writestr(info, data)
        z.comment = comment
    return buffer.getvalue()


def sample_text(n):
    line = b"The quick brown fox jumps over the lazy dog. 0123456789\n"
    return (line * (n // len(line) + 1))[:n]


def make_info_zip_archives(out, work):
    tree = os.path.join(work, "tree")
    os.makedirs(os.path.join(tree, "Dir", "Sub"))
    os.makedirs(os.path.join(tree, "EmptyDir"))
    files = {
        "Dir/a.txt": sample_text(5000),
        "Dir/Sub/b.bin": bytes(range(256)) * 40,
        "top.txt": b"top level\n",
    }
    for name, data in files.items():
        with open(os.path.join(tree, name), "wb") as f:
            f.write(data)
        os.utime(os.path.join(tree, name), (1623764730, 1623764730))
    # Without -X: local and central extra fields differ in length.
    run(["zip", "-q", "-r", os.path.join(out, "folders.zip"), "."], tree)
    run(["zip", "-q", "-0", os.path.join(out, "folders.zip"), "top.txt"], tree)

    with open(os.path.join(work, "big.txt"), "wb") as f:
        f.write(sample_text(200000))
    run(["zip", "-q", "-X", "-Z", "bzip2", os.path.join(out, "bzip2.zip"), "big.txt"], work)

    links = os.path.join(work, "links")
    os.makedirs(links)
    with open(os.path.join(links, "target.txt"), "wb") as f:
        f.write(b"target\n")
    os.symlink("target.txt", os.path.join(links, "link.txt"))
    run(["zip", "-q", "-y", "-X", os.path.join(out, "symlink.zip"), "target.txt", "link.txt"],
        links)

    perms = os.path.join(work, "perms")
    os.makedirs(perms)
    for name, mode in (("setuid.sh", 0o4755), ("private.txt", 0o600)):
        path = os.path.join(perms, name)
        with open(path, "wb") as f:
            f.write(b"#!/bin/sh\n" if name.endswith(".sh") else b"secret\n")
        os.chmod(path, mode)
    run(["zip", "-q", "-X", os.path.join(out, "permissions.zip"), "setuid.sh", "private.txt"],
        perms)
    with open(os.path.join(out, "permissions.zip"), "rb") as f:
        unix = f.read()
    # An MS-DOS entry with the read-only bit, appended by rewriting with zipfile.
    buffer = io.BytesIO(unix)
    with zipfile.ZipFile(buffer, "a") as z:
        info = zipfile.ZipInfo("readonly.txt", DOS_TIME)
        info.create_system = 0
        info.external_attr = 0x01
        z.writestr(info, b"read only\n")
    write(out, "permissions", buffer.getvalue())


def make_python_archives(out):
    D, S = zipfile.ZIP_DEFLATED, zipfile.ZIP_STORED
    write(out, "mixed", zip_with_python([
        ("deflated.txt", sample_text(10000), D),
        ("stored.txt", b"stored data\n", S),
        ("empty.txt", b"", S),
        ("empty_deflated.txt", b"", D),
        ("large.bin", os.urandom(150000) + sample_text(150000), D),
    ]))
    write(out, "comment_max", zip_with_python([("a.txt", b"hello\n", D)],
                                              comment=b"c" * 65535))
    fake = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 1, 1, 46, 0, 0)
    write(out, "comment_signature", zip_with_python(
        [("a.txt", b"hello\n", D)], comment=b"before " + fake + b" after the fake record"))
    plain = zip_with_python([("a.txt", b"hello\n", D)])
    write(out, "trailing_bytes", plain + b"\0" * 100)
    write(out, "empty", zip_with_python([]))
    with open(os.path.join(out, "ten_bytes.zip"), "wb") as f:
        f.write(b"not a zip!")
    write(out, "case_names", zip_with_python([("Readme.txt", b"upper\n", D),
                                              ("README.txt", b"capitals\n", D)]))
    write(out, "descriptor", zip_with_python([
        ("first.txt", sample_text(70000), D),
        ("second.txt", b"second\n", S),
        ("third.txt", sample_text(1000), D),
    ], stream=True))
    write(out, "prepended", b"#!/bin/sh\n" + b"x" * 990 + zip_with_python(
        [("inner.txt", sample_text(3000), D), ("inner2.txt", b"two\n", S)]))
    write(out, "many_entries", zip_with_python(
        [("e%05d.txt" % i, b"%d\n" % i, S) for i in range(65535)]))


def make_raw_archives(out):
    unix_dir = (0o40755 << 16) | 0x10
    write(out, "names", raw_zip([
        {"name": "naïve-flagged.txt".encode(), "flags": 0x800, "data": b"flagged\n"},
        {"name": "日本-unflagged.txt".encode(), "data": b"unflagged utf-8\n"},
        {"name": b"caf\x82-\x9c.txt", "data": b"cp437\n"},
    ]))
    write(out, "hostile", raw_zip([
        {"name": b"../evil.txt", "data": b"evil\n"},
        {"name": b"/abs-marrowglen-test.txt", "data": b"abs\n"},
        {"name": b"C:/drive.txt", "data": b"drive\n"},
        {"name": b"a/../../up.txt", "data": b"up\n"},
        {"name": b"ok/fine.txt", "data": b"fine\n"},
    ]))
    write(out, "slash_folders", raw_zip([
        {"name": b"META-INF/"},
        {"name": b"META-INF/MANIFEST.MF", "data": b"Manifest-Version: 1.0\n"},
        {"name": b"unixdir", "made_by": 0x0314, "external": unix_dir & ~0x10},
    ]))
    write(out, "stored_short", raw_zip([
        {"name": b"short.txt", "data": b"0123456789" * 10, "packed": b"0123456789"},
    ]))
    write(out, "directory_outside", raw_zip([{"name": b"a.txt", "data": b"a\n"}],
                                            cd_offset_shift=0x7FFFFF00))
    write(out, "bad_crc", raw_zip([{"name": b"bad.txt", "data": b"data\n", "crc": 0x12345678}]))
    write(out, "entry_outside", raw_zip([{"name": b"far.txt", "data": b"far\n",
                                          "offset": 0xFFFFFF00}]))
    write(out, "count_too_large", raw_zip([{"name": b"one.txt", "data": b"one\n"}], count=1000))
    write(out, "encrypted", raw_zip([{"name": b"secret.txt", "data": b"0123456789ab",
                                      "flags": 1}]))
    write(out, "unsupported_method", raw_zip([{"name": b"ppmd.txt", "data": b"x" * 30,
                                               "packed": b"\x01\x02\x03", "method": 98}]))
    write(out, "corrupt_deflate", raw_zip([{"name": b"corrupt.txt", "data": b"x" * 100,
                                            "packed": b"\xff" * 20, "method": 8}]))


def shown_name(info):
    raw = info.filename.encode("utf-8" if info.flag_bits & 0x800 else "cp437")
    try:
        return raw.decode("utf-8")
    except UnicodeDecodeError:
        return raw.decode("cp437")


def is_folder(info):
    """Marrowglen's rule, wider than zipfile's trailing "/": the MS-DOS folder bit, or a
    Unix mode that says folder."""
    unix_dir = info.create_system == 3 and (info.external_attr >> 16) & 0o170000 == 0o040000
    return info.is_dir() or bool(info.external_attr & 0x10) or unix_dir


def write_manifest(out):
    lines = []
    for file in sorted(os.listdir(out)):
        if not file.endswith(".zip"):
            continue
        try:
            with zipfile.ZipFile(os.path.join(out, file)) as z:
                infos = z.infolist()
        except (zipfile.BadZipFile, ValueError):
            continue
        for info in infos:
            mode = "%o" % (info.external_attr >> 16) if info.create_system == 3 else "-"
            when = "%04d-%02d-%02dT%02d:%02d:%02d" % info.date_time
            lines.append("\t".join([
                file[:-4], shown_name(info), "1" if is_folder(info) else "0",
                str(info.file_size), str(info.compress_size), "%08x" % info.CRC,
                str(info.compress_type), when, mode]))
    with open(os.path.join(out, "manifest.tsv"), "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = os.path.abspath(sys.argv[1])
    os.makedirs(out, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        make_info_zip_archives(out, work)
    make_python_archives(out)
    make_raw_archives(out)
    write_manifest(out)


if __name__ == "__main__":
    main()
