#!/usr/bin/env python3
"""Packs the release zip from a finished build: the four programs, the help file, the Windows
README, the licence and a SHA-256 list. The same files give the same zip bytes: entries in a fixed
order with a fixed date and attributes, texts with CR LF.

    release_zip.py BIN_FOLDER RELEASE_TEXT_FOLDER OUTPUT_ZIP
"""
import hashlib
import os
import sys
import zipfile

PROGRAMS = ["KORVANE.EXE", "QS.EXE", "KORVTASK.EXE", "KORVLOG.EXE", "KORVANE.CHM"]
TEXTS = ["README.txt", "LICENSE.txt"]
SUMS = "SHA256SUMS.txt"
# The earliest date a zip can hold: no build time leaks into the package.
FIXED_DATE = (1980, 1, 1, 0, 0, 0)


def windows_text(data):
    return data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")


def contents(bin_folder, text_folder):
    """[(name, bytes)] in the order they are packed, the SHA-256 list last."""
    files = []
    for name in PROGRAMS:
        with open(os.path.join(bin_folder, name), "rb") as file:
            files.append((name, file.read()))
    for name in TEXTS:
        with open(os.path.join(text_folder, name), "rb") as file:
            files.append((name, windows_text(file.read())))
    files.sort()
    sums = "".join(f"{hashlib.sha256(data).hexdigest()} *{name}\r\n" for name, data in files)
    files.append((SUMS, sums.encode("ascii")))
    return files


def pack(files, output):
    os.makedirs(os.path.dirname(os.path.abspath(output)), exist_ok=True)
    temporary = output + ".tmp"
    with zipfile.ZipFile(temporary, "w") as archive:
        for name, data in files:
            entry = zipfile.ZipInfo(name, FIXED_DATE)
            entry.compress_type = zipfile.ZIP_DEFLATED
            entry.create_system = 0  # MS-DOS: no Unix permissions in the entry
            entry.external_attr = 0x20  # FILE_ATTRIBUTE_ARCHIVE
            archive.writestr(entry, data, compress_type=zipfile.ZIP_DEFLATED, compresslevel=9)
    os.replace(temporary, output)


def main(bin_folder, text_folder, output):
    pack(contents(bin_folder, text_folder), output)
    print(output)
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
