"""The catalogue's files as the catalogue tests left them (one folder per test
under --snapshots, with FILES/DESTS/REVNS .DBF and .CDX and a .keys listing of
each tag in tvxdb keys' format, written by walking the tag through the
storage): Perl XBase::Index must walk every tag giving the same record numbers
and keys in the same order. Exit 77 (skipped) when Perl XBase is missing."""

import argparse
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "native", "interop"))
from interop_common import fail, first_difference, parse_keys, run, skip  # noqa: E402

TAGS = {"FILES": "PATH_TAG", "DESTS": "PATH_TAG", "REVNS": "ID_TAG"}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--snapshots", required=True)
    parser.add_argument("--perl", required=True)
    parser.add_argument("--reader", required=True)
    args = parser.parse_args()

    probe = subprocess.run([args.perl, "-MXBase", "-MXBase::Index", "-e", "1"],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if probe.returncode != 0:
        skip("Perl XBase is not installed (Debian package libdbd-xbase-perl)")
    if not os.path.isdir(args.snapshots):
        fail("no snapshots at %s: the catalogue tests did not run" % args.snapshots)

    walked = 0
    for scenario in sorted(os.listdir(args.snapshots)):
        folder = os.path.join(args.snapshots, scenario)
        for table, tag in TAGS.items():
            listing = os.path.join(folder, table + ".keys")
            index = os.path.join(folder, table + ".CDX")
            if not os.path.exists(listing) or not os.path.exists(index):
                continue
            with open(listing, "rb") as f:
                ours = parse_keys(f.read())
            out = run([args.perl, args.reader, "keys", index, tag], folder)
            theirs = parse_keys(b"\n".join(out.split(b"\n")[1:]))
            # The index keeps keys without trailing blanks; compare them so.
            diff = first_difference([(n, k.rstrip(b" ")) for n, k in ours],
                                    [(n, k.rstrip(b" ")) for n, k in theirs], repr)
            if diff:
                fail("%s: Perl XBase::Index walks %s.%s differently; %s" % (scenario, table, tag, diff))
            walked += 1
    if walked == 0:
        fail("no catalogue tables found under %s" % args.snapshots)
    print("Perl XBase walked %d catalogue tags the way the catalogue's storage does" % walked)


if __name__ == "__main__":
    main()
