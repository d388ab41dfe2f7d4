"""Helpers shared by the interoperability drivers: the escaped line format of
tvxdb's input and output, running tvxdb, and the skip convention of CTest."""

import os
import subprocess
import sys

SKIP = 77  # CTest treats this exit code as "skipped" (SKIP_RETURN_CODE)

# Characters Perl XBase strips from the end of a character field (its \s).
PERL_TRAILING_SPACE = b" \t\n\r\f\v"


def skip(message):
    print("SKIP: " + message)
    sys.exit(SKIP)


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def escape(data: bytes) -> str:
    """Bytes to tvxdb's line format: printable ASCII as is, backslash doubled,
    everything else as \\xHH. Safe both for tvxdb append and seek input."""
    out = []
    for b in data:
        if b == 0x5C:
            out.append("\\\\")
        elif 0x20 <= b <= 0x7E:
            out.append(chr(b))
        else:
            out.append("\\x%02X" % b)
    return "".join(out)


def unescape(text: bytes) -> bytes:
    """The inverse of the line format: \\xHH, \\\\, \\t and \\n."""
    out = bytearray()
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if c == 0x5C and i + 1 < n:
            nxt = text[i + 1]
            if nxt in (0x78, 0x58) and i + 3 < n and _is_hex(text[i + 2:i + 4]):
                out.append(int(text[i + 2:i + 4], 16))
                i += 4
                continue
            if nxt == 0x5C:
                out.append(0x5C)
                i += 2
                continue
            if nxt == 0x74:
                out.append(0x09)
                i += 2
                continue
            if nxt == 0x6E:
                out.append(0x0A)
                i += 2
                continue
        out.append(c)
        i += 1
    return bytes(out)


def _is_hex(two: bytes) -> bool:
    return len(two) == 2 and all(ch in b"0123456789abcdefABCDEF" for ch in two)


def run(cmd, cwd, stdin=None, ok=(0,)):
    """Runs a command; its stdout as bytes. A return code outside ok fails
    the test with the command's output."""
    proc = subprocess.run(cmd, cwd=cwd, input=stdin, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE)
    if proc.returncode not in ok:
        fail("%s exited with %d\nstdout: %s\nstderr: %s" % (
            " ".join(str(c) for c in cmd), proc.returncode,
            proc.stdout[:2000].decode("latin-1"), proc.stderr[:2000].decode("latin-1")))
    return proc.stdout


def parse_dump(out: bytes):
    """tvxdb dump → list of (record number, deleted, [field bytes])."""
    records = []
    for line in out.split(b"\n"):
        if not line:
            continue
        parts = line.split(b"\t")
        if len(parts) < 2:
            fail("dump line without a deletion mark: %r" % line)
        mark = parts[1]
        if mark not in (b"*", b" ", b""):
            fail("dump line with a bad deletion mark: %r" % line)
        records.append((int(parts[0]), mark == b"*", [unescape(p) for p in parts[2:]]))
    return records


def parse_keys(out: bytes):
    """tvxdb keys → list of (record number, key bytes)."""
    keys = []
    for line in out.split(b"\n"):
        if not line:
            continue
        recno, _, key = line.partition(b"\t")
        keys.append((int(recno), unescape(key)))
    return keys


def parse_seek(line: bytes):
    """One line of tvxdb seek → (result code, record number or None)."""
    parts = line.split(b"\t")
    code = int(parts[0])
    recno = int(parts[1]) if len(parts) > 1 and parts[1] else None
    return code, recno


def first_difference(a, b, describe):
    """A readable note of where two lists part, or None when equal."""
    if a == b:
        return None
    for i, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return "first difference at entry %d:\n  tvxdb:  %s\n  other:  %s" % (
                i + 1, describe(x), describe(y))
    return "lengths differ: tvxdb %d, other %d" % (len(a), len(b))


def need_executable(path, what):
    if not path or not os.path.exists(path):
        skip("%s not found (%s)" % (what, path))
