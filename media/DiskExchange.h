// The program's disk-full handler: when the disk in the destination drive
// has no room for the next file, it asks for a new disk. The exchange needs
// the drive library (eject, identity of the new disk); until then it answers
// that the user declined, so the pass stops copying and the files not copied
// stay listed for the next pass.
#pragma once

#include "media/DiskFullHandler.h"

namespace tvx::media {

class CTVXDiskExchange final : public CTVXDiskFullHandler {
public:
    DWORD DiskFullExchange(std::uint64_t& diskStartStamp, std::uint64_t& newestCopiedStamp, std::uint64_t fileSize,
                           const std::wstring& destinationRoot, std::uint64_t bytesCopied) override;
};

}  // namespace tvx::media
