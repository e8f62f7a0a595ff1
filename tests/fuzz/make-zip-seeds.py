#!/usr/bin/env python3
"""Writes the ZIP seeds in seeds/zip/: a small product bundle and the hostile archives that the
extraction tests build (parent paths, absolute paths, links that leave, special files, set-id bits,
a lying size, a truncated archive). Run it again after changing the list; the output is stable."""
import io
import os
import stat
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "seeds", "zip")
STAMP = (2024, 5, 1, 10, 20, 30)


def info(name, mode, compress=zipfile.ZIP_DEFLATED):
    entry = zipfile.ZipInfo(name, STAMP)
    entry.create_system = 3  # unix: the upper half of external_attr holds st_mode
    entry.external_attr = mode << 16
    entry.compress_type = compress
    return entry


def regular(name, data, perm=0o644, compress=zipfile.ZIP_DEFLATED):
    return info(name, stat.S_IFREG | perm, compress), data


def folder(name):
    return info(name, stat.S_IFDIR | 0o755, zipfile.ZIP_STORED), b""


def link(name, target):
    return info(name, stat.S_IFLNK | 0o777, zipfile.ZIP_STORED), target.encode()


def special(name, kind):
    return info(name, kind | 0o644, zipfile.ZIP_STORED), b""


def archive(entries):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as z:
        for entry, data in entries:
            z.writestr(entry, data)
    return buffer.getvalue()


PRODUCT = [
    folder("Corvala.app/"),
    regular("Corvala.app/Contents/Info.plist", b"<plist version=\"1.0\"><dict><key>CFBundleExecutable</key>"
            b"<string>Corvala</string></dict></plist>"),
    regular("Corvala.app/Contents/MacOS/Corvala", b"#!/bin/sh\necho hi\n", 0o755),
    link("Corvala.app/Contents/Resources/current", "../MacOS/Corvala"),
]

SEEDS = {
    "product.zip": archive(PRODUCT),
    "stored.zip": archive([regular("a/b/c.txt", b"stored " * 20, compress=zipfile.ZIP_STORED)]),
    "parent-path.zip": archive([regular("../evil.txt", b"x")]),
    "nested-parent.zip": archive([regular("a/../../evil.txt", b"x")]),
    "absolute-path.zip": archive([regular("/tmp/tiny-installer-fuzz-evil.txt", b"x")]),
    "backslash.zip": archive([regular("a\\..\\..\\evil.txt", b"x")]),
    "link-leaving.zip": archive([link("a/escape", "../../..")]),
    "absolute-link.zip": archive([link("passwd", "/etc/passwd")]),
    "write-through-link.zip": archive([link("dir", "."), regular("dir/dir/x", b"x"), link("up", "dir/..")]),
    "fifo.zip": archive([special("pipe", stat.S_IFIFO)]),
    "device.zip": archive([special("dev", stat.S_IFCHR)]),
    "setuid.zip": archive([regular("tool", b"#!/bin/sh\n", 0o4755)]),
    "duplicate.zip": archive([regular("same", b"one"), regular("same", b"two"), folder("same/")]),
    "many-small.zip": archive([regular("d%d/f%d" % (i % 4, i), b"%d" % i) for i in range(24)]),
    "compressible.zip": archive([regular("zeros.bin", bytes(200000))]),
}


def truncated(data):
    return data[: len(data) // 2]


def lying_size(data):
    # The local header's uncompressed size says 4 bytes; the data holds more.
    out = bytearray(data)
    at = out.find(b"PK\x03\x04")
    out[at + 22:at + 26] = (4).to_bytes(4, "little")
    return bytes(out)


SEEDS["truncated.zip"] = truncated(SEEDS["product.zip"])
SEEDS["lying-size.zip"] = lying_size(archive([regular("big.bin", b"b" * 1000, compress=zipfile.ZIP_STORED)]))
SEEDS["not-a-zip.zip"] = b"this is not a zip archive"

os.makedirs(OUT, exist_ok=True)
for name, data in sorted(SEEDS.items()):
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)
print("wrote %d seeds to %s" % (len(SEEDS), OUT))
