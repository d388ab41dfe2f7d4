// The disk-full exchange: how the copy engine asks for a new disk when the
// one in the destination drive has no room left for the next file.
//
// The mirror controller owns the one handler and hands it to the copy engine;
// the engine calls it on its worker thread whenever a copy ends with
// ERROR_DISK_FULL or ERROR_HANDLE_DISK_FULL, and copies the same file again
// when the answer is 0.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace tvx::media {

class CTVXDiskFullHandler {
public:
    virtual ~CTVXDiskFullHandler() = default;

    // Puts away the full disk and gets one with room into the drive.
    //   diskStartStamp     in/out: file stamp of the first file copied to the
    //                      full disk (0 for none)
    //   newestCopiedStamp  in/out: greatest file stamp copied so far (0 for none)
    //   fileSize           size in bytes of the file that did not fit
    //   destinationRoot    the destination without a trailing backslash ("E:")
    //   bytesCopied        bytes of recorded copies so far in this pass
    // Returns 0 when a disk with room is in the drive, ERROR_OPERATION_ABORTED
    // (995) when the user declined, or another Windows error code; any answer
    // but 0 ends the copy loop.
    virtual DWORD DiskFullExchange(std::uint64_t& diskStartStamp, std::uint64_t& newestCopiedStamp,
                                   std::uint64_t fileSize, const std::wstring& destinationRoot,
                                   std::uint64_t bytesCopied) = 0;

protected:
    CTVXDiskFullHandler() = default;
    CTVXDiskFullHandler(const CTVXDiskFullHandler&) = default;
    CTVXDiskFullHandler& operator=(const CTVXDiskFullHandler&) = default;
};

}  // namespace tvx::media
