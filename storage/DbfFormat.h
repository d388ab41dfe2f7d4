// Layout of a table file (.DBF) as this storage writes and reads it.
// All numbers are little-endian.
//
// File header (32 bytes):
//   offset size  content
//   0      1     version: 0x03 written (no memo); 0x30 (and other values) are read
//   1      3     date of the last update: year - 1900, month 1..12, day
//   4      4     record count (unsigned)
//   8      2     header length = offset of record 1; 32 * (fields + 1) + 1 when
//                written here, larger in files that keep extra bytes after the
//                terminator (tables of a database container keep a 263-byte link)
//   10     2     record length = 1 + sum of field lengths
//   12     16    zero
//   28     1     table flags: 0x01 structural compound index (0x02 memo)
//   29     1     code-page mark
//   30     2     zero
// Field descriptors (32 bytes each) from offset 32, ended by 0x0D:
//   0      11    name, upper case, zero padded (at most 10 characters)
//   11     1     type letter
//   12     4     offset in the record; written, but never trusted on read: some
//                writers leave other bytes there, so the layout is rebuilt from
//                the lengths
//   16     1     length (C fields: low byte)
//   17     1     decimals (C fields: high byte of the length)
//   18     1     field flags (0x02 nullable, 0x04 binary)
//   19     13    zero
// Records from the header length on, record N at
//   header length + (N - 1) * record length:
//   byte 0 deletion mark (0x20 live, 0x2A deleted), then the fields' bytes.
// After the last record: the end-of-file byte 0x1A.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tvx::db::dbf {

inline constexpr std::size_t kHeaderSize = 32;
inline constexpr std::size_t kDescriptorSize = 32;
inline constexpr std::uint8_t kVersionPlain = 0x03;
inline constexpr std::uint8_t kTerminator = 0x0D;
inline constexpr std::uint8_t kEndOfFile = 0x1A;
inline constexpr char kLive = ' ';
inline constexpr char kDeleted = '*';
inline constexpr std::uint8_t kFlagStructuralIndex = 0x01;
inline constexpr std::size_t kMaxFieldName = 10;
inline constexpr std::size_t kLimit = 65535;  // record and header lengths stay below

// Header offsets.
inline constexpr std::size_t kOffVersion = 0;
inline constexpr std::size_t kOffDate = 1;
inline constexpr std::size_t kOffCount = 4;
inline constexpr std::size_t kOffHeaderLength = 8;
inline constexpr std::size_t kOffRecordLength = 10;
inline constexpr std::size_t kOffFlags = 28;
inline constexpr std::size_t kOffCodePage = 29;
// Descriptor offsets.
inline constexpr std::size_t kOffFieldType = 11;
inline constexpr std::size_t kOffFieldOffset = 12;
inline constexpr std::size_t kOffFieldLength = 16;
inline constexpr std::size_t kOffFieldDecimals = 17;
inline constexpr std::size_t kOffFieldFlags = 18;

static_assert(kOffCount + 4 == kOffHeaderLength && kOffHeaderLength + 2 == kOffRecordLength);
static_assert(kOffCodePage + 3 == kHeaderSize);
static_assert(kOffFieldFlags + 14 == kDescriptorSize);
static_assert(kMaxFieldName + 1 == kOffFieldType);

// Header length and file size the storage gives a table of n fields.
constexpr std::size_t HeaderLength(std::size_t fields) { return kHeaderSize * (fields + 1) + 1; }
static_assert(HeaderLength(3) == 129 && HeaderLength(2) == 97);  // FILES/REVNS and DESTS

// Field types the storage knows. Only C is interpreted; the others are kept
// as raw bytes so that tables written by other programs can be opened.
constexpr bool KnownType(char t) {
    switch (t) {
    case 'C': case 'N': case 'F': case 'D': case 'L': case 'M': case 'I': case 'T':
    case 'B': case 'Y': case 'G': case 'P': case 'V': case 'W': case 'Q': case '0':
    case '@': case '+': case 'O':
        return true;
    default:
        return false;
    }
}

}  // namespace tvx::db::dbf
