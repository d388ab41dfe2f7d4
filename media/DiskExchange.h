// The program's disk-full handler: when the disk in the destination drive
// has no room for the next file, the full disk is put away and a new one
// asked for.
//
// For a drive of the program: the full disk is left to settle (the system
// finishes its writes), unlocked, given back a protection lifted for the
// pass, and ejected; the user is asked for a new disk (the question names
// the dates of the files the full disk holds) until one with room for the
// file is in the drive or the user declines. The new disk becomes the
// program's disk ("DiskID"), is locked in the drive and, when protected,
// made writable after asking. For any other destination the user is asked
// to make room.
//
// Drives that cannot eject (Wine's) leave the flow going: the user takes the
// disk out and the question still comes.
#pragma once

#include "media/DiskFullHandler.h"

namespace tvx::media {

// The date of a file stamp (UTC file time) in the user's short date format,
// in local time; a stamp of 0 gives today's date.
std::wstring StampDateText(std::uint64_t stamp);

class CTVXDiskExchange final : public CTVXDiskFullHandler {
public:
    DWORD DiskFullExchange(std::uint64_t& diskStartStamp, std::uint64_t& newestCopiedStamp, std::uint64_t fileSize,
                           const std::wstring& destinationRoot, std::uint64_t bytesCopied) override;
};

}  // namespace tvx::media
