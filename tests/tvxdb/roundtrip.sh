#!/usr/bin/env bash
# The Windows build of tvxdb under Wine: a FILES-shaped table made, filled
# from standard input, read back in record and key order, sought, packed and
# checked. Usage: roundtrip.sh WINE_RUN TVXDB_EXE
set -uo pipefail
run=$1 exe=$2
dir=$(mktemp -d /tmp/tvxdb-win.XXXXXX) || exit 1
trap 'rm -rf "$dir"' EXIT
name="Z:${dir//\//\\}\\files"
fail() { echo "FAIL: $*"; exit 1; }
tvxdb() { "$run" "$exe" "$@" | tr -d '\r'; return "${PIPESTATUS[0]}"; }

tvxdb create "$name" ID:C:4,PATH:C:240,PATHEX:C:22 PATH_TAG=PATH || fail "create"
printf 'A001\tC:\\\\b\\\\letter.doc?\tx\nA002\tC:\\\\a.txt?\ty\nA003\tC:\\\\\\xe9t\\xe9.txt?\tz\n' |
    tvxdb append "$name" || fail "append"
[ "$(tvxdb dump "$name" | wc -l)" -eq 3 ] || fail "dump does not list 3 records"
keys=$(tvxdb keys "$name" PATH_TAG | cut -f1 | tr '\n' ' ')
[ "$keys" = "2 1 3 " ] || fail "key order is '$keys', expected '2 1 3 '"
[ "$(tvxdb seek "$name" PATH_TAG 'C:\\a.txt?')" = "$(printf '0\t2')" ] || fail "seek of an existing key"
[ "$(tvxdb seek "$name" PATH_TAG 'C:\\a.t?')" = "$(printf '2\t2')" ] || fail "seek of a shorter text must land on the next key"
tvxdb check "$name" || fail "check of the new table"
tvxdb pack "$name" || fail "pack"
tvxdb check "$name" || fail "check after pack"
[ -f "$dir/FILES.DBF" ] && [ -f "$dir/FILES.CDX" ] || fail "file names are not FILES.DBF and FILES.CDX"
echo "tvxdb round trip under Wine: OK"
