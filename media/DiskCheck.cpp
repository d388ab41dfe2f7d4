#include "media/DiskCheck.h"

#include "framework/Trace.h"
#include "settings/Settings.h"

namespace tvx::media {

int CheckDestinationDisk(DiskCheckContext& context) {
    if (context.destination.empty()) return 0;
    std::wstring diskId;
    settings::ReadDiskID(diskId);
    if (diskId.rfind(L"NotTavrix", 0) == 0) return 1;
    Trace(L"disk check: disk identity \"%ls\" cannot be checked without the drive library; no copy", diskId.c_str());
    return 0;
}

void RunFillWarning(const DiskCheckContext&) {}

void RunAfterPass(const DiskCheckContext&) {}

}  // namespace tvx::media
