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
  zip64_infozip      Info-ZIP zip -fz: ZIP64 extra fields in local and central headers
  zip64_python       Python with force_zip64: ZIP64 local headers, sizes known after writing
  zip64_7z           7-Zip: NTFS time stamps (0x000A) of an odd second, deflated and stored
  zip64_raw          every size and offset in the ZIP64 extra field, with the ZIP64 end record
  zip64_prepended    the same with 1,000 bytes in front (the ZIP64 record found by position)
  zip64_many         70,000 entries (Python: the count only in the ZIP64 end record)
  unicode_path       CP437 names with Info-ZIP Unicode path fields, one of them stale
  timestamps         Info-ZIP extended time stamps (0x5455) of an odd second
  zip64_extra_missing   central sizes of 0xFFFFFFFF without a ZIP64 extra field (taken as
                        they stand: larger than the archive)
  zip64_extra_short     a ZIP64 extra field too short for the values it must hold
  zip64_size_max        a ZIP64 size of 2^64-1
  zip64_count_too_large a ZIP64 entry count the central directory cannot hold
  zip64_directory_outside a ZIP64 directory offset past the end of the archive
  zip64_record_missing  a damaged ZIP64 end record, the classic fields at their maximum
  zip64_packed_past_end a ZIP64 compressed size larger than the archive
  zip64_local_mismatch  a local ZIP64 extra field whose sizes differ from the directory's
  split              the last part of a split archive (Info-ZIP zip -s); its other parts
                     are left out, as a server holding only that part would serve it
"""

import io
import os
import struct
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile
import zlib

DOS_TIME = (2021, 6, 15, 13, 45, 30)
ODD_SECOND = 1623764731  # 2021-06-15 13:45:31 UTC: a time MS-DOS fields cannot hold


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
        extra = e.get("central_extra", b"")
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, e.get("made_by", 20), 20,
                               flags, method, time, date, crc, len(packed), size,
                               len(name), len(extra), 0, 0, 0, e.get("external", 0),
                               e.get("offset", offset))
        central += name + extra
    count = len(entries) if count is None else count
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, count, count,
                      len(central), len(body) + cd_offset_shift, len(comment))
    return prefix + bytes(body) + bytes(central) + end + comment


def zip64_block(values):
    """A ZIP64 extra field block with the given (width, value) pairs, in order."""
    data = b"".join(struct.pack("<Q" if w == 8 else "<I", v) for w, v in values)
    return struct.pack("<HH", 0x0001, len(data)) + data


def raw_zip64(entries, prefix=b"", record=None, locator_offset=None, classic=None):
    """A ZIP64 archive written by hand. Each entry: name, data, and optionally extra (the
    central ZIP64 values, default: size, packed and offset all in the block), local_sizes
    (the sizes in the local ZIP64 block), crc. `record` overrides fields of the ZIP64 end
    record (count, size, offset); `classic` overrides the classic end record's fields."""
    body = bytearray()
    central = bytearray()
    time, date = dos_fields()
    for e in entries:
        data = e.get("data", b"")
        name = e["name"]
        crc = e.get("crc", zlib.crc32(data))
        offset = len(body)
        local_sizes = e.get("local_sizes", (len(data), len(data)))
        local_extra = zip64_block([(8, local_sizes[0]), (8, local_sizes[1])])
        body += struct.pack("<IHHHHHIIIHH", 0x04034B50, 45, 0, 0, time, date, crc,
                            0xFFFFFFFF, 0xFFFFFFFF, len(name), len(local_extra))
        body += name + local_extra + data
        values = e.get("extra", [(8, len(data)), (8, len(data)), (8, offset)])
        extra = zip64_block(values) if values is not None else b""
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 0x031E, 45, 0, 0, time, date,
                               crc, 0xFFFFFFFF, 0xFFFFFFFF, len(name), len(extra), 0, 0, 0,
                               0o644 << 16, 0xFFFFFFFF)
        central += name + extra
    rec = {"count": len(entries), "size": len(central), "offset": len(body)}
    rec.update(record or {})
    record_at = len(body) + len(central)
    zip64_end = struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, rec["count"],
                            rec["count"], rec["size"], rec["offset"])
    locator = struct.pack("<IIQI", 0x07064B50, 0,
                          record_at if locator_offset is None else locator_offset, 1)
    fields = {"count": 0xFFFF, "size": 0xFFFFFFFF, "offset": 0xFFFFFFFF}
    fields.update(classic or {})
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, fields["count"], fields["count"],
                      fields["size"], fields["offset"], 0)
    return prefix + bytes(body) + bytes(central) + zip64_end + locator + end


def unicode_path_block(raw_name, name, crc=None):
    data = b"\x01" + struct.pack("<I", zlib.crc32(raw_name) if crc is None else crc)
    data += name.encode()
    return struct.pack("<HH", 0x7075, len(data)) + data


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

    # -fz: ZIP64 extra fields although nothing needs them; -X off keeps the time stamps.
    run(["zip", "-q", "-fz", os.path.join(out, "zip64_infozip.zip"), "big.txt"], work)
    run(["zip", "-q", "-fz", "-0", os.path.join(out, "zip64_infozip.zip"), "links/target.txt"],
        work)

    stamps = os.path.join(work, "stamps")
    os.makedirs(stamps)
    for name, when in (("odd.txt", ODD_SECOND), ("even.txt", ODD_SECOND + 1)):
        path = os.path.join(stamps, name)
        with open(path, "wb") as f:
            f.write(name.encode() + b"\n")
        os.utime(path, (when, when))
    run(["zip", "-q", os.path.join(out, "timestamps.zip"), "odd.txt", "even.txt"], stamps)
    if shutil.which("7zz"):
        path = os.path.join(stamps, "odd.txt")
        os.utime(path, ns=(ODD_SECOND * 10**9 + 250_000_000,) * 2)
        run(["7zz", "a", "-bso0", "-bsp0", "-tzip", "-mtc=on", "-mx=5",
             os.path.join(out, "zip64_7z.zip"), "odd.txt", "../big.txt"], stamps)

    split = os.path.join(work, "split")
    os.makedirs(split)
    names = ["part%d.bin" % i for i in range(3)] + ["last.txt"]
    for name in names:
        with open(os.path.join(split, name), "wb") as f:
            f.write(b"last\n" if name == "last.txt" else os.urandom(40000))
    run(["zip", "-q", "-0", "-s", "64k", os.path.join(split, "set.zip")] + names, split)
    shutil.copy(os.path.join(split, "set.zip"), os.path.join(out, "split.zip"))


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
    write(out, "zip64_many", zip_with_python(
        [("m%05d.txt" % i, b"%d\n" % i, S) for i in range(70000)]))
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as z:
        for name, data, compression in (("forced.txt", sample_text(20000), D),
                                        ("forced_stored.txt", b"stored\n", S)):
            info = zipfile.ZipInfo(name, DOS_TIME)
            info.compress_type = compression
            with z.open(info, "w", force_zip64=True) as f:
                f.write(data)
    write(out, "zip64_python", buffer.getvalue())


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
    make_zip64_archives(out)
    write(out, "unicode_path", raw_zip([
        {"name": b"caf\x82.txt", "data": b"unicode\n",
         "central_extra": unicode_path_block(b"caf\x82.txt", "café-ünïcode.txt")},
        {"name": b"stale\x82.txt", "data": b"stale\n",
         "central_extra": unicode_path_block(b"stale\x82.txt", "renamed.txt", crc=1)},
    ]))


def make_zip64_archives(out):
    two = [{"name": b"one.txt", "data": b"first entry\n"},
           {"name": b"dir/two.txt", "data": sample_text(3000)}]
    write(out, "zip64_raw", raw_zip64(two))
    write(out, "zip64_prepended", b"x" * 1000 + raw_zip64(two))
    write(out, "zip64_extra_missing", raw_zip64([dict(two[0], extra=None)]))
    write(out, "zip64_extra_short", raw_zip64([dict(two[0], extra=[(8, 12)])]))
    write(out, "zip64_size_max", raw_zip64([dict(two[0], extra=[(8, 2**64 - 1), (8, 12),
                                                                 (8, 0)])]))
    write(out, "zip64_count_too_large", raw_zip64(two, record={"count": 10**12}))
    write(out, "zip64_directory_outside", raw_zip64(two, record={"offset": 2**40}))
    broken = raw_zip64(two)
    at = broken.rindex(b"PK\x06\x06")
    write(out, "zip64_record_missing", broken[:at] + b"XX" + broken[at + 2:])
    write(out, "zip64_packed_past_end", raw_zip64([dict(two[0], extra=[(8, 12), (8, 2**40),
                                                                        (8, 0)])]))
    write(out, "zip64_local_mismatch", raw_zip64([dict(two[0], local_sizes=(12, 11))]))


def extra_blocks(extra):
    pos = 0
    while pos + 4 <= len(extra):
        tag, size = struct.unpack_from("<HH", extra, pos)
        yield tag, extra[pos + 4:pos + 4 + size]
        pos += 4 + size


def shown_name(info):
    raw = info.filename.encode("utf-8" if info.flag_bits & 0x800 else "cp437")
    for tag, data in extra_blocks(info.extra):
        if tag == 0x7075 and data[:1] == b"\x01" and \
                struct.unpack_from("<I", data, 1)[0] == zlib.crc32(raw):
            return data[5:].decode("utf-8")
    try:
        return raw.decode("utf-8")
    except UnicodeDecodeError:
        return raw.decode("cp437")


def stamp(info):
    """The local time of the UTC modification time in an extra field, as the list shows it."""
    blocks = dict(extra_blocks(info.extra))
    seconds = None
    ut = blocks.get(0x5455, b"")
    if len(ut) >= 5 and ut[0] & 1:
        seconds = struct.unpack_from("<i", ut, 1)[0]
    elif 0x000A in blocks and len(blocks[0x000A]) >= 32:
        ticks = struct.unpack_from("<Q", blocks[0x000A], 8)[0]
        seconds = ticks // 10**7 - 11644473600
    return time.localtime(seconds)[:6] if seconds is not None else None


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
            when = "%04d-%02d-%02dT%02d:%02d:%02d" % (stamp(info) or info.date_time)
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
