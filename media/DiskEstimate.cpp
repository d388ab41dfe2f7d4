#include "media/DiskEstimate.h"

#include "media/DiskRules.h"
#include "media/Praxon.h"

namespace tvx::media {

std::uint64_t EstimateDisksNeeded(wchar_t destinationLetter, std::uint64_t totalBytes) {
    Praxon::Drive drive(destinationLetter);
    const bool wasRemovable = drive.isRemovable();
    drive.makeNonRemovable();
    const std::wstring root = drive.getDrvRootPath();
    ULARGE_INTEGER available = {}, total = {};
    const bool measured = drive.hasDisk() && ::GetDiskFreeSpaceExW(root.c_str(), &available, &total, nullptr);
    const std::uint64_t room = measured ? available.QuadPart : 0;
    std::uint64_t diskSize = drive.isTavrixDrive() ? drive.getMaxRawCapacity() : (measured ? total.QuadPart : 0);
    if (diskSize == 0 && drive.getFamily() == Praxon::kMakerFamily) diskSize = kAssumedDiskBytes;
    if (wasRemovable) drive.makeRemovable();
    return DisksNeeded(room >> 20, totalBytes >> 20, diskSize >> 20);
}

}  // namespace tvx::media
