#!/usr/bin/env python3
"""Builds one of the catalogue's tables with tvxdb (a few hundred records,
bytes above 127, duplicate keys, some records marked deleted and then packed)
and checks that an independent xBase reader sees exactly what tvxdb sees.

  catalogue_interop.py --tvxdb PATH --table FILES|DESTS|REVNS
                       --check perl-records|perl-index|dbfread [--perl PATH]

perl-records  Perl XBase reads the same records and deletion marks as tvxdb dump.
perl-index    Perl XBase::Index walks the tag giving the same keys, in the same
              order, with the same record numbers as tvxdb keys.
dbfread       python3-dbfread reads the same live and deleted records.

Each check runs twice: with records marked deleted, and after tvxdb pack.
Exit 77 (skip) when the reader is not installed."""

import argparse
import os
import random
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from interop_common import (PERL_TRAILING_SPACE, escape, fail, first_difference,  # noqa: E402
                            parse_dump, parse_keys, run, skip)

# The catalogue's tables: fields (name, length), the tag and its field.
TABLES = {
    "FILES": ([("ID", 4), ("PATH", 240), ("PATHEX", 22)], "PATH_TAG", "PATH"),
    "DESTS": ([("ID", 4), ("PATH", 240)], "PATH_TAG", "PATH"),
    "REVNS": ([("ID", 8), ("MODDATE", 8), ("ATTR", 4)], "ID_TAG", "ID"),
}
RECORDS = 300
BATCHES = 3  # appends in several tvxdb runs, so keys go into an existing index

# Path pieces: ASCII, blanks inside names, Latin-1 and UTF-8 bytes above 127.
NAME_PIECES = ["Users", "Documents", "Fotos", "R\xe9sum\xe9".encode("latin-1"),
               "M\u00fcller".encode("utf-8"), "\u65e5\u672c".encode("utf-8"),
               "Program Files", "backup", "a", "Z", "~tmp", "x64", "n0", "t1",
               bytes([0xFF, 0x80, 0xA0]), "\u00c5ngstr\u00f6m".encode("utf-8"), "."]
NAME_PIECES = [p if isinstance(p, bytes) else p.encode("ascii") for p in NAME_PIECES]


def random_path(rng, length):
    """A Windows-like path of exactly length bytes, ending in the end marker '?'."""
    body = bytearray(rng.choice([b"C:\\", b"D:\\", b"\\\\server\\share\\"]))
    while len(body) < length - 1:
        body += rng.choice(NAME_PIECES)
        if rng.random() < 0.3:
            body += b"." + rng.choice([b"txt", b"jpg", b"DOC", b"\xe9t\xe9"])
        body += b"\\"
    body = body[:length - 1].rstrip(b" ")  # a trailing blank would be taken for padding
    return bytes(body) + b"?"


def make_records(table, rng):
    fields, _, _ = TABLES[table]
    records = []
    paths = []
    for n in range(RECORDS):
        if table in ("FILES", "DESTS"):
            if n == 5:
                path = random_path(rng, 240)                  # fills the whole field
            elif paths and rng.random() < 0.12:
                path = rng.choice(paths)                      # a duplicate key
            elif paths and rng.random() < 0.08:
                path = rng.choice(paths)[:-1][:200] + b"\\sub?"      # shares a long prefix
            else:
                path = random_path(rng, rng.randint(21, 231))
            paths.append(path)
            values = [struct.pack("<I", n + 1), path]
            if table == "FILES":
                values.append(rng.choice([b"", b"2024-01-31 12:00", bytes([0xE4, 0x20, 0x41])]))
        else:
            if records and rng.random() < 0.15:
                rid = rng.choice(records)[0]                 # a duplicate key
            else:
                rid = bytes(rng.choice([0, 0x20, 0x7F, 0x80, 0xFF, rng.randrange(256)])
                            for _ in range(8))
            date = b"%04d%02d%02d" % (rng.randint(1990, 2030), rng.randint(1, 12), rng.randint(1, 28))
            attr = bytes(rng.randrange(256) for _ in range(4))
            values = [rid, date, attr]
        records.append([v.ljust(length, b" ") for v, (_, length) in zip(values, fields)])
    return records


def mark_deleted(dbf_path, recnos):
    """Writes the deletion mark "*" into the given records, as any xBase program
    does: the record stays in the file and in the tags until a pack."""
    with open(dbf_path, "r+b") as f:
        header = f.read(12)
        header_length, record_length = struct.unpack("<HH", header[8:12])
        for recno in recnos:
            f.seek(header_length + (recno - 1) * record_length)
            f.write(b"*")


def check_dump(records, deleted, dump, state):
    expected = [(i + 1, (i + 1) in deleted, r) for i, r in enumerate(records)]
    diff = first_difference(dump, expected, repr)
    if diff:
        fail("%s: tvxdb dump differs from the records appended; %s" % (state, diff))


def check_perl_records(args, work, name, dump, state):
    out = run([args.perl, args.perl_script, "records", name + ".DBF"], work)
    lines = out.split(b"\n")
    fields, _, _ = TABLES[args.table]
    want = ",".join("%s:C:%d" % f for f in fields).encode()
    if lines[0] != b"#fields " + want:
        fail("%s: Perl XBase sees the fields %r, not %r" % (state, lines[0], want))
    perl = parse_dump(b"\n".join(lines[1:]))
    # Perl XBase strips trailing white space from character fields.
    ours = [(n, d, [v.rstrip(PERL_TRAILING_SPACE) for v in vals]) for n, d, vals in dump]
    diff = first_difference(ours, perl, repr)
    if diff:
        fail("%s: Perl XBase reads other records than tvxdb dump; %s" % (state, diff))


def check_perl_index(args, work, name, records, state):
    fields, tag, key_field = TABLES[args.table]
    keys = parse_keys(run([args.tvxdb, "keys", name, tag], work))
    key_index = [f for f, _ in fields].index(key_field)
    expected = sorted(((r[key_index], i + 1) for i, r in enumerate(records)))
    diff = first_difference(keys, [(n, k) for k, n in expected], repr)
    if diff:
        fail("%s: tvxdb keys is not the tag's keys in key order; %s" % (state, diff))

    out = run([args.perl, args.perl_script, "keys", name + ".CDX", tag], work)
    lines = out.split(b"\n")
    key_length = dict(fields)[key_field]
    head = lines[0].split(b" ")
    facts = dict(p.split(b"=", 1) for p in head[2:])
    if facts.get(b"expr", b"").upper() != key_field.encode() or int(facts[b"keylen"]) != key_length:
        fail("%s: Perl XBase::Index reads the tag header as %r" % (state, lines[0]))
    perl = parse_keys(b"\n".join(lines[1:]))
    # The index stores keys without their trailing blanks; XBase::Index gives
    # them back as stored, tvxdb as full-length keys.
    ours = [(n, k.rstrip(b" ")) for n, k in keys]
    theirs = [(n, k.rstrip(b" ")) for n, k in perl]
    diff = first_difference(ours, theirs, repr)
    if diff:
        fail("%s: Perl XBase::Index walks %s differently from tvxdb keys; %s" % (state, tag, diff))

    result = subprocess.run([args.tvxdb, "check", name], cwd=work, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT)
    if result.returncode != 0:
        fail("%s: tvxdb check finds problems:\n%s" % (state, result.stdout.decode("latin-1")))


def check_dbfread(args, work, name, dump, state):
    import dbfread
    table = dbfread.DBF(os.path.join(work, name + ".DBF"), raw=True, load=True)
    fields, _, _ = TABLES[args.table]
    seen = [(f.name, f.type, f.length) for f in table.fields]
    if seen != [(n, "C", length) for n, length in fields]:
        fail("%s: dbfread sees the fields %r" % (state, seen))
    live = [vals for _, d, vals in dump if not d]
    gone = [vals for _, d, vals in dump if d]
    for what, ours, theirs in (("live", live, table.records), ("deleted", gone, table.deleted)):
        theirs = [list(r.values()) for r in theirs]
        diff = first_difference(ours, theirs, repr)
        if diff:
            fail("%s: dbfread reads other %s records than tvxdb dump; %s" % (state, what, diff))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tvxdb", required=True)
    parser.add_argument("--table", required=True, choices=sorted(TABLES))
    parser.add_argument("--check", required=True, choices=["perl-records", "perl-index", "dbfread"])
    parser.add_argument("--perl", default="/usr/bin/perl")
    args = parser.parse_args()
    args.perl_script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "xbase_read.pl")

    if not os.path.exists(args.tvxdb):
        skip("tvxdb not built: %s" % args.tvxdb)
    if args.check.startswith("perl"):
        if not os.path.exists(args.perl):
            skip("perl not found: %s" % args.perl)
        probe = subprocess.run([args.perl, "-MXBase", "-MXBase::Index", "-e", "1"],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if probe.returncode != 0:
            skip("Perl XBase is not installed (Debian package libdbd-xbase-perl)")
    else:
        try:
            import dbfread  # noqa: F401
        except ImportError:
            skip("python3-dbfread is not installed for %s" % sys.executable)

    fields, tag, key_field = TABLES[args.table]
    rng = random.Random("interop-" + args.table)
    records = make_records(args.table, rng)
    deleted = {1, len(records)} | {n for n in range(2, len(records)) if rng.random() < 0.15}

    with tempfile.TemporaryDirectory(prefix="tvx-interop-") as work:
        name = args.table
        run([args.tvxdb, "create", name, ",".join("%s:C:%d" % f for f in fields),
             "%s=%s" % (tag, key_field)], work)
        per_batch = (len(records) + BATCHES - 1) // BATCHES
        for start in range(0, len(records), per_batch):
            lines = "".join("\t".join(escape(v.rstrip(b" ")) for v in r) + "\n"
                            for r in records[start:start + per_batch])
            run([args.tvxdb, "append", name], work, stdin=lines.encode("ascii"))
        mark_deleted(os.path.join(work, name + ".DBF"), sorted(deleted))

        for state in ("with deleted records", "after pack"):
            if state == "after pack":
                run([args.tvxdb, "pack", name], work)
                records = [r for i, r in enumerate(records) if (i + 1) not in deleted]
                deleted = set()
            dump = parse_dump(run([args.tvxdb, "dump", name], work))
            if args.check == "perl-index":
                check_perl_index(args, work, name, records, state)
                continue
            check_dump(records, deleted, dump, state)
            if args.check == "perl-records":
                check_perl_records(args, work, name, dump, state)
            else:
                check_dbfread(args, work, name, dump, state)
    print("PASS: %s, %s: %d records, %d deleted then packed" % (
        args.table, args.check, RECORDS, RECORDS - len(records)))


if __name__ == "__main__":
    main()
