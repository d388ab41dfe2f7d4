// The volume a destination lives on: its root, and whether it can be reached
// now (a removable drive may have no disk, a USB drive may have gone).
#pragma once

#include <windows.h>

#include <string>

namespace tvx::media {

// The root that a volume query uses for a path: "E:\Data\x" gives "E:\",
// "E:" gives "E:\", "\\server\share\x" gives "\\server\share\".
std::wstring VolumeRootOf(const std::wstring& path);

// Whether the volume holding `path` can be reached: 0 when its root answers.
// A removable drive without a disk gives ERROR_NOT_READY (21), which is what
// Windows answers; Wine answers ERROR_PATH_NOT_FOUND (3) for the root of such
// a drive, and that is taken as 21 too. Anything else gives the query's
// error (ERROR_INVALID_DRIVE, 15, for a letter that names no drive now).
DWORD CheckVolumeReady(const std::wstring& path);

}  // namespace tvx::media
