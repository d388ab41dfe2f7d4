// The protection record: how the drive library remembers that a disk is
// write-protected, and with which password.
//
// The record is a small hidden file in the disk's root. It holds the
// protection state and a salted hash of the password (PBKDF2 with
// HMAC-SHA-256), never the password itself. Where Windows lets the program,
// the volume is also made read-only for every program; where it does not
// (that needs administrator rights on most systems), the record alone keeps
// this program from writing until the protection is lifted.
//
// File layout, 64 bytes, integers little-endian:
//
//   offset  size  field
//        0     8  magic "DT3PROT" and format version 1
//        8     4  protection state (1 to 7)
//       12     4  PBKDF2 iterations (1 to kMostIterations)
//       16    16  salt
//       32    32  derived key (the password's hash)
//
// A file of another size, with another magic or version, or with a state or
// an iteration count out of range is damaged: it is ignored (the disk counts
// as unprotected), so that a damaged record never locks the user out.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Praxon {

inline constexpr wchar_t kProtectionRecordName[] = L"Tavrix Dovetrak 3 Protection.dat";
inline constexpr std::size_t kRecordBytes = 64;
inline constexpr std::uint32_t kRecordIterations = 100000;
// A crafted record must not make a password check run for minutes.
inline constexpr std::uint32_t kMostIterations = 1000000;

struct ProtectionRecord {
    std::uint32_t state = 0;
    std::uint32_t iterations = kRecordIterations;
    std::array<std::uint8_t, 16> salt{};
    std::array<std::uint8_t, 32> key{};
};

std::vector<std::uint8_t> EncodeRecord(const ProtectionRecord& record);
// Empty for a damaged record (see above).
std::optional<ProtectionRecord> DecodeRecord(const std::vector<std::uint8_t>& bytes);

// A record for the state and password, with a fresh random salt. Empty when
// the system's cryptography is not available.
std::optional<ProtectionRecord> MakeRecord(std::uint32_t state, const std::wstring& password);
// Whether the password is the one the record was made with (compared in
// constant time).
bool PasswordMatches(const ProtectionRecord& record, const std::wstring& password);

// The record in the root of a volume ("E:\"); empty when there is none or it
// is damaged.
std::optional<ProtectionRecord> ReadRecord(const std::wstring& root);
// Writes the record beside itself first and then moves it into place, so a
// failed write never leaves half a record. A Windows error code.
DWORD WriteRecord(const std::wstring& root, const ProtectionRecord& record);
// Removes the record; 0 also when there was none.
DWORD RemoveRecord(const std::wstring& root);

}  // namespace Praxon
