// Layout of a compound index file (.CDX): compact tags in 512-byte blocks.
// Every stored position is a byte offset from the start of the file and a
// multiple of 512. Numbers are little-endian except where marked BE.
//
// File: bytes 0..1023 hold the tag directory's header; the headers of the
// tags follow (this storage writes tag i at 1024 * i), then the B-tree nodes
// of the directory and of every tag, 512 bytes each. The directory is a tree
// like any tag: its keys are the tag names (upper case, blank padded to 10
// bytes) and the record number of each key is the byte offset of that tag's
// header. Readers must take that offset as given: other writers put the
// headers after nodes or at odd multiples of 512 (1536 is common).
//
// Tag header (1024 bytes):
//   offset size  content
//   0      4     offset of the root node
//   4      4     head of the free-node list (-1 none; 0 is also read as none,
//                which some writers store)
//   8      4     change counter, BE
//   12     2     key length (10 for the directory; at most 240)
//   14     1     options: 0x20 compact, 0x40 compound, 0x80 directory,
//                0x01 unique, 0x04 candidate, 0x08 filter. Written: 0xE0 for
//                the directory, 0x60 for tags
//   15     1     signature 1
//   16     478   zero (other writers leave it zero and readers ignore it),
//                except for the change marker in the directory's header
//   494    8     collating sequence name: zeros = machine order
//   502    2     descending (0 / 1)
//   504    2     filter position in the pool (= key expression length)
//   506    2     filter length with its zero byte (1 when none)
//   508    2     key expression position in the pool (0)
//   510    2     key expression length with its zero byte (at most 255)
//   512    512   expression pool: key expression, 0, filter, 0
//
// Change marker: bytes 256..259 of the directory's header (the first header
// of the file) hold "TVX!" while pages of the index are being rewritten in
// place, and zero otherwise. It is written and pushed to the file before the
// first page of a flush cycle and cleared as the cycle's last write, after the
// table file (whose records and count the index describes) is written too. A
// file found with it set may not match its table: a writer rebuilds the index
// from the table, a reader refuses it as damaged. Offset 256 lies in the
// middle of the reserved bytes, clear of the defined fields at either end,
// where a writer that gave the reserved bytes a meaning would most likely
// start; a four-byte value instead of a flag bit keeps a stray non-zero byte
// from reading as set. Tag headers never carry it.
//
// Node (512 bytes):
//   0      2     kind: 0 interior, 1 root, 2 leaf, 3 root leaf; one writer
//                also sets 0x04 on leaves (read as if clear, never written)
//   2      2     number of keys
//   4      4     left neighbour on the same level (-1 none)
//   8      4     right neighbour (-1 none)
//   12     500   contents
// Interior contents: per key, key length + 8 bytes: the key, its record
// number (BE), the child holding the keys up to this key (BE). The key of an
// entry is the last key of its child.
// Leaf contents:
//   12     2     free bytes in the key area
//   14     4     record-number mask (2^r - 1)
//   18     1     duplicate-count mask (2^d - 1)
//   19     1     trailing-count mask (2^t - 1)
//   20     1     r;  21  d;  22  t
//   23     1     bytes per entry = (r + d + t) / 8
//   24     488   key area: from its start one little-endian entry per key
//                (record number in the low r bits, then the duplicate count,
//                then the trailing count); from its end backwards each key's
//                bytes that are neither shared with the previous key of the
//                node nor trailing pad bytes (blank for character keys, zero
//                for the other key types).
// The widths r, d and t belong to each node: writers choose them per node
// (one writer shrinks r to what the node's own record numbers need, 4 bits in
// a three-record table; another uses 18 or 20 bits), so a reader takes them
// from every leaf it reads and checks them there.
//
// Tables of that writer carry version byte 0x30 (not 0x03) and a 263-byte
// link after the field terminator, counted in the header length; the reader
// takes the header length as given and stops the descriptors at 0x0D.
//
// Widths this storage writes: d = t = binary digits of the key length;
// r = binary digits of the table's record count, at least 12, grown until
// r + d + t is a multiple of 8.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tvx::db::cdx {

inline constexpr std::size_t kBlock = 512;
inline constexpr std::size_t kHeaderSize = 1024;
inline constexpr std::uint32_t kNone = 0xFFFFFFFFu;

// Tag header offsets.
inline constexpr std::size_t kOffRoot = 0;
inline constexpr std::size_t kOffFree = 4;
inline constexpr std::size_t kOffCounter = 8;
inline constexpr std::size_t kOffKeyLength = 12;
inline constexpr std::size_t kOffOptions = 14;
inline constexpr std::size_t kOffSignature = 15;
inline constexpr std::size_t kOffCollation = 494;
inline constexpr std::size_t kCollationSize = 8;
inline constexpr std::size_t kOffDescending = 502;
inline constexpr std::size_t kOffFilterPos = 504;
inline constexpr std::size_t kOffFilterLen = 506;
inline constexpr std::size_t kOffExprPos = 508;
inline constexpr std::size_t kOffExprLen = 510;
inline constexpr std::size_t kOffChanging = 256;
inline constexpr std::size_t kChangingSize = 4;
inline constexpr std::uint8_t kChangingValue[kChangingSize] = {'T', 'V', 'X', '!'};
inline constexpr std::size_t kOffPool = 512;
inline constexpr std::size_t kPoolSize = 512;

inline constexpr std::uint8_t kOptUnique = 0x01;
inline constexpr std::uint8_t kOptCandidate = 0x04;
inline constexpr std::uint8_t kOptFilter = 0x08;
inline constexpr std::uint8_t kOptCompact = 0x20;
inline constexpr std::uint8_t kOptCompound = 0x40;
inline constexpr std::uint8_t kOptDirectory = 0x80;
inline constexpr std::uint8_t kOptionsDirectory = 0xE0;
inline constexpr std::uint8_t kOptionsTag = 0x60;

inline constexpr std::size_t kDirectoryKeyLength = 10;
inline constexpr std::size_t kMaxKeyLength = 240;
inline constexpr std::size_t kMaxExpression = 254;

// Node offsets.
inline constexpr std::size_t kOffKind = 0;
inline constexpr std::size_t kOffCount = 2;
inline constexpr std::size_t kOffLeft = 4;
inline constexpr std::size_t kOffRight = 8;
inline constexpr std::size_t kOffContents = 12;
inline constexpr std::size_t kOffFreeBytes = 12;
inline constexpr std::size_t kOffRecMask = 14;
inline constexpr std::size_t kOffDupMask = 18;
inline constexpr std::size_t kOffTrailMask = 19;
inline constexpr std::size_t kOffRecBits = 20;
inline constexpr std::size_t kOffDupBits = 21;
inline constexpr std::size_t kOffTrailBits = 22;
inline constexpr std::size_t kOffEntryBytes = 23;
inline constexpr std::size_t kOffKeyArea = 24;
inline constexpr std::size_t kKeyArea = 488;
inline constexpr std::size_t kInteriorArea = 500;

inline constexpr std::uint16_t kKindRoot = 1;
inline constexpr std::uint16_t kKindLeaf = 2;

static_assert(kOffPool + kPoolSize == kHeaderSize);
// The marker lies wholly inside the reserved bytes 16..493 of the header.
static_assert(kOffChanging >= kOffSignature + 1 && kOffChanging + kChangingSize <= kOffCollation);
static_assert(kOffExprLen + 2 == kOffPool);
static_assert(kOffCollation + kCollationSize == kOffDescending);
static_assert(kOffContents + kInteriorArea == kBlock);
static_assert(kOffKeyArea + kKeyArea == kBlock);
static_assert(kOffEntryBytes + 1 == kOffKeyArea);
static_assert(kHeaderSize % kBlock == 0);

constexpr unsigned BinaryDigits(std::uint64_t v) {
    unsigned n = 0;
    while (v) {
        ++n;
        v >>= 1;
    }
    return n;
}

struct LeafWidths {
    unsigned r, d, t;
    constexpr unsigned Bytes() const { return (r + d + t) / 8; }
};
// Widths for a tag of the given key length in a table of `records` records.
constexpr LeafWidths WidthsFor(std::size_t keyLength, std::uint64_t records) {
    LeafWidths w{BinaryDigits(records), BinaryDigits(keyLength), BinaryDigits(keyLength)};
    if (w.r < 12) w.r = 12;
    while ((w.r + w.d + w.t) % 8 != 0) ++w.r;
    return w;
}
static_assert(WidthsFor(240, 1000).r == 16 && WidthsFor(240, 1000).Bytes() == 4);
static_assert(WidthsFor(8, 1000).r == 16 && WidthsFor(8, 1000).Bytes() == 3);
static_assert(WidthsFor(240, 70000).r == 24 && WidthsFor(240, 70000).Bytes() == 5);

}  // namespace tvx::db::cdx
