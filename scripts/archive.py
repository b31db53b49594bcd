#!/usr/bin/env python3
"""Packs a folder into a .tar.gz or a .zip that is the same, byte for byte,
every time it is made from the same files: members sorted by name, every
timestamp SOURCE_DATE_EPOCH, owner root, modes 755 or 644.

    archive.py FOLDER ARCHIVE.tar.gz|ARCHIVE.zip

The archive holds the folder itself, under its own name.
"""
import gzip
import io
import os
import sys
import tarfile
import time
import zipfile


def members(folder):
    """(name in the archive, path on disk) of every file and directory."""
    base = os.path.dirname(os.path.abspath(folder))
    found = []
    for root, directories, files in os.walk(folder):
        for name in directories + files:
            path = os.path.join(root, name)
            found.append((os.path.relpath(path, base), path))
    found.append((os.path.basename(os.path.abspath(folder)), folder))
    return sorted(found)


def mode(path):
    return 0o755 if os.path.isdir(path) or os.access(path, os.X_OK) else 0o644


def make_tar(folder, archive, stamp):
    buffer = io.BytesIO()
    with tarfile.open(fileobj=buffer, mode="w", format=tarfile.GNU_FORMAT) as tar:
        for name, path in members(folder):
            info = tar.gettarinfo(path, arcname=name)
            info.mtime, info.mode = stamp, mode(path)
            info.uid = info.gid = 0
            info.uname = info.gname = "root"
            if info.isfile():
                with open(path, "rb") as file:
                    tar.addfile(info, file)
            else:
                tar.addfile(info)
    with open(archive, "wb") as out, gzip.GzipFile(filename="", mode="wb", fileobj=out,
                                                   compresslevel=9, mtime=stamp) as packed:
        packed.write(buffer.getvalue())


def make_zip(folder, archive, stamp):
    date = time.gmtime(max(stamp, 315532800))[:6]  # zip dates start in 1980
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as packed:
        for name, path in members(folder):
            directory = os.path.isdir(path)
            info = zipfile.ZipInfo(name + ("/" if directory else ""), date_time=date)
            info.create_system = 3  # Unix, so that the modes below are read
            info.external_attr = ((0o040000 if directory else 0o100000) | mode(path)) << 16
            info.compress_type = zipfile.ZIP_STORED if directory else zipfile.ZIP_DEFLATED
            if directory:
                packed.writestr(info, b"")
            else:
                with open(path, "rb") as file:
                    packed.writestr(info, file.read())


def main():
    folder, archive = sys.argv[1], sys.argv[2]
    stamp = int(os.environ.get("SOURCE_DATE_EPOCH", "0"))
    (make_zip if archive.endswith(".zip") else make_tar)(folder, archive, stamp)


if __name__ == "__main__":
    main()
