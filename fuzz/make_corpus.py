#!/usr/bin/env python3
"""Makes the seed corpus of storage_fuzz from small valid tables written by
tvxdb: the catalogue's FILES, DESTS and REVNS shapes, empty and with a few
records (bytes above 127, duplicate keys, a deleted record), plus a table with
no index. Each seed is 4 bytes of table length (little-endian), the table
file, then the index file.

  fuzz/make_corpus.py TVXDB [OUTDIR]   (OUTDIR defaults to fuzz/corpus)"""

import os
import struct
import subprocess
import sys
import tempfile

SHAPES = {
    "FILES": ("ID:C:4,PATH:C:240,PATHEX:C:22", "PATH_TAG=PATH"),
    "DESTS": ("ID:C:4,PATH:C:240", "PATH_TAG=PATH"),
    "REVNS": ("ID:C:8,MODDATE:C:8,ATTR:C:4", "ID_TAG=ID"),
}

ROWS = {
    "FILES": [r"\x01\x00\x00\x00	C:\\Users\\M\xFCller\\a.txt?	",
              r"\x02\x00\x00\x00	C:\\Users\\M\xFCller\\?	x",
              r"\x03\x00\x00\x00	C:\\Users\\M\xFCller\\a.txt?	dup",
              r"\x04\x00\x00\x00	D:\\R\xC3\xA9sum\xC3\xA9\\2024\\?	"],
    "DESTS": [r"\x01\x00\x00\x00	E:\\Backup\\?",
              r"\x02\x00\x00\x00	\\\\server\\share\\?"],
    "REVNS": [r"\x00\x01\x02\x03\xFF\x80  	20240131	\x20\x00\x00\x00",
              r"\x00\x01\x02\x03\xFF\x80  	20240201	\x01\x00\x00\x00",
              r"AAAAAAAA	19991231	\xFF\xFF\xFF\xFF",
              r"\x7F\x7F\x7F\x7F\x00\x00\x00\x00	20000229	    "],
}


def tvxdb(tool, work, *args, stdin=None):
    subprocess.run([tool, *args], cwd=work, input=stdin, check=True, stdout=subprocess.DEVNULL)


def seed(work, name, with_index=True):
    with open(os.path.join(work, name + ".DBF"), "rb") as f:
        table = f.read()
    index = b""
    if with_index:
        with open(os.path.join(work, name + ".CDX"), "rb") as f:
            index = f.read()
    return struct.pack("<I", len(table)) + table + index


def main():
    tool = os.path.abspath(sys.argv[1])
    out = sys.argv[2] if len(sys.argv) > 2 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
    os.makedirs(out, exist_ok=True)
    seeds = {}
    with tempfile.TemporaryDirectory(prefix="tvx-corpus-") as work:
        for name, (fields, tag) in SHAPES.items():
            tvxdb(tool, work, "create", name, fields, tag)
            seeds["%s-empty" % name.lower()] = seed(work, name)
            tvxdb(tool, work, "append", name, stdin=("\n".join(ROWS[name]) + "\n").encode("ascii"))
            seeds["%s-few" % name.lower()] = seed(work, name)
            # The first record marked deleted, as a pack would find it.
            path = os.path.join(work, name + ".DBF")
            with open(path, "r+b") as f:
                header_length = struct.unpack("<H", f.read(10)[8:10])[0]
                f.seek(header_length)
                f.write(b"*")
            seeds["%s-deleted" % name.lower()] = seed(work, name)
        # Enough long keys for several leaves under an interior root.
        tvxdb(tool, work, "create", "TREE", SHAPES["FILES"][0], SHAPES["FILES"][1])
        rows = "".join("\\x%02X\\x00\\x00\\x00\tC:\\\\%s\\\\%s?\t\n" % (i, i * 7919, "Verzeichnis" * (i % 5 + 10))
                       for i in range(1, 15))
        tvxdb(tool, work, "append", "TREE", stdin=rows.encode("ascii"))
        seeds["files-tree"] = seed(work, "TREE")
        tvxdb(tool, work, "create", "MANY", SHAPES["REVNS"][0], SHAPES["REVNS"][1])
        rows = "".join("\\x%02X\\x%02X\\x00\\x00\\x00\\x00\\x00\\x01\t2024%04d\t\n" % (i * 37 % 256, i % 7, i % 1231)
                       for i in range(300))
        tvxdb(tool, work, "append", "MANY", stdin=rows.encode("ascii"))
        seeds["revns-many"] = seed(work, "MANY")
        tvxdb(tool, work, "create", "PLAIN", "NAME:C:10,NOTE:C:30")
        tvxdb(tool, work, "append", "PLAIN", stdin=b"one\tfirst\ntwo\t\xE9\n")
        seeds["plain-noindex"] = seed(work, "PLAIN", with_index=False)
    for name, data in seeds.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
    print("%d seeds, %d bytes in %s" % (len(seeds), sum(len(d) for d in seeds.values()), out))


if __name__ == "__main__":
    main()
