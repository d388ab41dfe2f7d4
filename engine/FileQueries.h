// Small questions the copy engine asks the file system: a file's stamp and
// size, and a volume's free space, capacity and allocation unit. All sizes
// are 64-bit. Paths may be of any length the file system allows.
#pragma once

#include "media/Volume.h"

#include <windows.h>

#include <cstdint>
#include <string>

// winbase.h still carries a 16-bit era macro GetFreeSpace(w) that would
// swallow every call of the function below.
#ifdef GetFreeSpace
#undef GetFreeSpace
#endif

namespace tvx::engine {

// What GetFreeSpace and GetCapacity answer when no query of the volume works.
inline constexpr std::uint64_t kUnknownSpace = 0xFFFFFFFFFFFFFFFFull;

// A FILETIME as one 64-bit file time.
inline std::uint64_t FileTimeValue(const FILETIME& time) noexcept {
    return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

// The file stamp: the later of the creation time and the last-write time.
inline std::uint64_t FileStampOf(const FILETIME& created, const FILETIME& written) noexcept {
    const std::uint64_t c = FileTimeValue(created), w = FileTimeValue(written);
    return c > w ? c : w;
}

// The path as the file functions should be given it: a path too long for
// the classic limit (MAX_PATH, less the 12 characters a folder creation
// keeps free) in the form Windows takes at any length, "\\?\C:\..." or
// "\\?\UNC\server\share\..."; any other path (shorter, relative, or in
// that form already) unchanged. Paths here are built from full, normalised
// ones (the settings' folders and the names a folder listing gives), which
// the long form requires.
std::wstring ExtendedPath(const std::wstring& path);

// The file stamp as directory enumeration reports it. 0 on success;
// ERROR_FILE_NOT_FOUND with stamp 0 when the file cannot be found.
DWORD GetFileStamp(const std::wstring& path, std::uint64_t& stamp);

// The file's size in bytes; 0 when it cannot be found.
std::uint64_t GetFileSize(const std::wstring& path);

using media::VolumeRootOf;

// Bytes free for the caller, and total bytes, of the volume holding the path;
// kUnknownSpace when the volume cannot be asked.
std::uint64_t GetFreeSpace(const std::wstring& path);
std::uint64_t GetCapacity(const std::wstring& path);
// Both in one query; false (and neither set) when the volume cannot be asked.
bool GetVolumeSpace(const std::wstring& path, std::uint64_t& freeBytes, std::uint64_t& totalBytes);
// The bytes of one cluster of the volume holding the path: every file takes a
// whole number of them. 0 when the volume cannot be asked.
std::uint64_t GetAllocationUnit(const std::wstring& path);

}  // namespace tvx::engine
