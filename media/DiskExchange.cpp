#include "media/DiskExchange.h"

#include "framework/Trace.h"

namespace tvx::media {

DWORD CTVXDiskExchange::DiskFullExchange(std::uint64_t&, std::uint64_t&, std::uint64_t fileSize,
                                         const std::wstring& destinationRoot, std::uint64_t) {
    Trace(L"disk full: %ls has no room for %llu bytes; no disk exchange without the drive library",
          destinationRoot.c_str(), static_cast<unsigned long long>(fileSize));
    return ERROR_OPERATION_ABORTED;
}

}  // namespace tvx::media
