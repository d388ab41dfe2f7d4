#!/usr/bin/env python3
"""Checks tvxdb against a table and compound index written by another xBase
engine: for every character-key tag, tvxdb keys gives the keys and record
numbers that Perl XBase::Index listed (perl-walk.txt beside the files), in the
same order, and tvxdb seek of each listed key lands on the first record that
the listing holds for that key.

  fixture_keys.py --tvxdb PATH --fixture DIR [--perl PATH --walker cdxwalk.pl]

perl-walk.txt may list only the first keys of each tag (the walker's LIMIT).
When Perl XBase is at hand the walker is run again without a limit and the
listing must be the start of that walk; otherwise only the listed keys are
compared. Exit 77 (skip) when the fixture folder or tvxdb is absent."""

import argparse
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from interop_common import escape, fail, first_difference, parse_keys, parse_seek, run, skip  # noqa: E402

TAG_LINE = re.compile(rb"^tag (\S+) expr=\[(.*)\] for=\[(.*)\] keylen=(\d+) options=(\S+) order=(\d+)$")
KEY_LINE = re.compile(rb"^  \[(.*)\] -> rec (\d+)$")
FIELD_NAME = re.compile(rb"^(?:[A-Za-z_]\w*->)?([A-Za-z_]\w*)$")


def parse_walk(text: bytes):
    """perl-walk.txt → {tag: {"expr", "keylen", "keys": [(key, recno)]}} in listing order."""
    tags = {}
    order = []
    current = None
    for line in text.split(b"\n"):
        m = TAG_LINE.match(line)
        if m:
            current = {"expr": m.group(2), "keylen": int(m.group(4)), "keys": []}
            tags[m.group(1).decode()] = current
            order.append(m.group(1).decode())
            continue
        m = KEY_LINE.match(line)
        if m and current is not None:
            current["keys"].append((m.group(1), int(m.group(2))))
    return order, tags


def field_types(dbf_path):
    """Field name → type letter, from the table's descriptors."""
    types = {}
    with open(dbf_path, "rb") as f:
        header = f.read(32)
        header_length = struct.unpack("<H", header[8:10])[0]
        while f.tell() + 32 <= header_length:
            desc = f.read(32)
            if desc[0] == 0x0D:
                break
            types[desc[:11].split(b"\0")[0].upper()] = chr(desc[11])
    return types


def is_character(expr: bytes, types):
    """A tag on a bare field takes that field's type; any other expression was
    walked as text, as the listing shows its keys as text."""
    m = FIELD_NAME.match(expr.strip())
    if m:
        return types.get(m.group(1).upper(), "C") == "C"
    return True


def expected_seek(listing, key_length, search: bytes):
    """Where a seek for search must land in a tag whose keys in order are
    listing: the first key whose first len(search) bytes are >= search."""
    n = len(search)
    for key, recno in listing:
        head = key.ljust(key_length, b" ")[:n]
        if head >= search:
            return (0 if head == search else 2), recno
    return 3, None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tvxdb", required=True)
    parser.add_argument("--fixture", required=True)
    parser.add_argument("--perl", default="/usr/bin/perl")
    parser.add_argument("--walker", default=None)
    args = parser.parse_args()

    if not os.path.isdir(args.fixture):
        skip("fixture folder absent: %s" % args.fixture)
    if not os.path.exists(args.tvxdb):
        skip("tvxdb not built: %s" % args.tvxdb)
    files = os.listdir(args.fixture)
    dbf = [f for f in files if f.lower().endswith(".dbf")]
    cdx = [f for f in files if f.lower().endswith(".cdx")]
    if len(dbf) != 1 or len(cdx) != 1 or "perl-walk.txt" not in files:
        skip("%s does not hold one .dbf, one .cdx and perl-walk.txt" % args.fixture)
    base = os.path.splitext(dbf[0])[0].upper()

    with open(os.path.join(args.fixture, "perl-walk.txt"), "rb") as f:
        order, tags = parse_walk(f.read())
    types = field_types(os.path.join(args.fixture, dbf[0]))
    char_tags = [t for t in order if is_character(tags[t]["expr"], types)]
    if not char_tags:
        skip("%s has no character-key tag" % os.path.basename(args.fixture))

    walker = args.walker or os.path.join(args.fixture, "..", "cdxwalk.pl")
    rerun = os.path.exists(args.perl) and os.path.exists(walker) and subprocess.run(
        [args.perl, "-MXBase", "-MXBase::Index", "-e", "1"],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0

    with tempfile.TemporaryDirectory(prefix="tvx-fixture-") as work:
        # tvxdb takes table names in upper case; the copies are ours to change.
        for f in files:
            ext = os.path.splitext(f)[1].upper()
            if ext in (".DBF", ".CDX", ".FPT"):
                shutil.copyfile(os.path.join(args.fixture, f), os.path.join(work, base + ext))
                os.chmod(os.path.join(work, base + ext), 0o644)
        # A table opens its compound index only when header byte 28 flags it;
        # some engines leave the flag off. tvxdb has no switch to open an
        # unflagged index, so the copy gets the flag.
        with open(os.path.join(work, base + ".DBF"), "r+b") as f:
            f.seek(28)
            flags = f.read(1)[0]
            if not flags & 0x01:
                print("note: %s.DBF does not flag its index; the copy is flagged" % base)
                f.seek(28)
                f.write(bytes([flags | 0x01]))

        checked = []
        for tag in char_tags:
            listing = tags[tag]["keys"]
            key_length = tags[tag]["keylen"]
            if rerun:
                env = dict(os.environ, LIMIT="1000000000")
                full = subprocess.run([args.perl, walker, os.path.join(args.fixture, dbf[0]),
                                       os.path.join(args.fixture, cdx[0]), tag],
                                      stdout=subprocess.PIPE, env=env)
                if full.returncode != 0:
                    fail("%s: the walker failed on tag %s" % (args.fixture, tag))
                walked = parse_walk(full.stdout)[1][tag]["keys"]
                if walked[:len(listing)] != listing:
                    fail("%s: perl-walk.txt is not the start of a fresh walk of %s" % (args.fixture, tag))
                listing = walked

            keys = parse_keys(run([args.tvxdb, "keys", base, tag], work))
            # The walker prints keys without their trailing blanks.
            ours = [(k.rstrip(b" "), n) for n, k in keys]
            listing = [(k.rstrip(b" "), n) for k, n in listing]
            if rerun:
                diff = first_difference(ours, listing, repr)
            else:
                diff = first_difference(ours[:len(listing)], listing, repr)
            if diff:
                fail("%s tag %s: tvxdb keys differs from the Perl walk; %s" % (base, tag, diff))

            searches = []
            for key, _ in listing:
                if not searches or searches[-1] != key:
                    searches.append(key)
            stdin = "".join(escape(k) + "\n" for k in searches).encode("ascii")
            out = run([args.tvxdb, "seek", base, tag], work, stdin=stdin).split(b"\n")
            if len(out) < len(searches):
                fail("%s tag %s: tvxdb seek answered %d of %d keys" % (base, tag, len(out), len(searches)))
            for key, line in zip(searches, out):
                got = parse_seek(line)
                want = expected_seek(listing, key_length, key)
                if got != want:
                    fail("%s tag %s: seek %r gives %r, the walk says %r" % (base, tag, key, got, want))
            checked.append("%s (%d keys, %d seeks)" % (tag, len(keys), len(searches)))
    print("PASS: %s: %s" % (base, ", ".join(checked)))


if __name__ == "__main__":
    main()
