// How many disks a complete copy of the source folders will need, for the
// setup wizard's summary: the room left on the disk now in the destination
// drive, then whole disks of the drive's capacity.
#pragma once

#include <windows.h>

#include <cstdint>

namespace tvx::media {

// totalBytes: the size of every file in the source folders (the wizard
// counts it in the background). The medium is held in the drive while it is
// measured.
std::uint64_t EstimateDisksNeeded(wchar_t destinationLetter, std::uint64_t totalBytes);

}  // namespace tvx::media
