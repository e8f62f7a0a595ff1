"""Product archives for the benchmarks: the demo product's bundle plus incompressible padding.

The archive is laid out like the real one (Corvala.app/Contents/{Info.plist,MacOS/Corvala}) so the
installer takes it through its whole path, and every entry is stored, not deflated, so the bytes on
the wire are the bytes on disk and neither side gains from compression.
"""

import os
import stat
import zipfile
from pathlib import Path

CHUNK = 1 << 20
PAYLOAD_ENTRY = "Corvala.app/Contents/Resources/payload.bin"
PAYLOAD_FOLDER = "Corvala.app/Contents/Resources/payload"
# A fixed time stamp: the archive's bytes then depend on the payload only.
STAMP = (2024, 1, 1, 0, 0, 0)


def _entry(name, mode):
    info = zipfile.ZipInfo(name, STAMP)
    info.compress_type = zipfile.ZIP_STORED
    info.external_attr = (mode & 0xFFFF) << 16
    info.create_system = 3  # Unix, so that the mode bits above are read
    return info


def make_product_archive(bundle, out, payload_bytes, files=1):
    """Write `bundle` (a Corvala.app folder) and `payload_bytes` of random data, spread over `files`
    entries in folders of at most 100, into a stored ZIP."""
    bundle = Path(bundle)
    out = Path(out)
    out.parent.mkdir(parents=True, exist_ok=True)
    partial = out.with_name(out.name + ".partial")
    files = max(1, files)
    with zipfile.ZipFile(partial, "w", compression=zipfile.ZIP_STORED, allowZip64=True) as archive:
        archive.writestr(_entry(bundle.name + "/", stat.S_IFDIR | 0o755), b"")
        for path in sorted(bundle.rglob("*")):
            name = f"{bundle.name}/{path.relative_to(bundle).as_posix()}"
            mode = path.stat().st_mode
            if path.is_dir():
                archive.writestr(_entry(name + "/", stat.S_IFDIR | 0o755), b"")
            else:
                with open(path, "rb") as src, archive.open(_entry(name, stat.S_IFREG | (mode & 0o777)), "w") as dst:
                    while block := src.read(CHUNK):
                        dst.write(block)
        for index in range(files):
            share = payload_bytes // files + (1 if index < payload_bytes % files else 0)
            name = PAYLOAD_ENTRY if files == 1 else f"{PAYLOAD_FOLDER}/{index // 100:03d}/part-{index:05d}.bin"
            info = _entry(name, stat.S_IFREG | 0o644)
            info.file_size = share
            with archive.open(info, "w", force_zip64=share >= 0xFFFFFFFF) as dst:
                left = share
                while left:
                    n = min(CHUNK, left)
                    dst.write(os.urandom(n))
                    left -= n
    os.replace(partial, out)
    return out
