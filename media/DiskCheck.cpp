#include "media/DiskCheck.h"

#include "framework/Trace.h"
#include "settings/Settings.h"

#include <string>

namespace tvx::media {

int CheckDestinationDisk() {
    std::wstring diskId;
    settings::ReadDiskID(diskId);
    if (diskId.rfind(L"NotTavrix", 0) == 0) return 1;
    Trace(L"disk check: disk identity \"%ls\" cannot be checked without the drive library; no copy", diskId.c_str());
    return 0;
}

void RunFillWarning() {}

void RunAfterPass() {}

}  // namespace tvx::media
