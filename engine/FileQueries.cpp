#include "engine/FileQueries.h"

#include "framework/Handle.h"

namespace tvx::engine {

DWORD GetFileStamp(const std::wstring& path, std::uint64_t& stamp) {
    stamp = 0;
    WIN32_FIND_DATAW data{};
    UniqueFindHandle find(::FindFirstFileExW(path.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0));
    if (!find) return ERROR_FILE_NOT_FOUND;
    stamp = FileStampOf(data.ftCreationTime, data.ftLastWriteTime);
    return 0;
}

std::uint64_t GetFileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

std::wstring VolumeRootOf(const std::wstring& path) {
    std::size_t end;
    if (path.rfind(L"\\\\", 0) == 0) {
        // UNC: the root is \\server\share\ (the fourth backslash).
        end = path.find(L'\\', 2);
        if (end != std::wstring::npos) end = path.find(L'\\', end + 1);
    } else {
        end = path.find(L'\\');
    }
    std::wstring root = path.substr(0, end);
    root.push_back(L'\\');
    return root;
}

bool GetVolumeSpace(const std::wstring& path, std::uint64_t& freeBytes, std::uint64_t& totalBytes) {
    ULARGE_INTEGER available{}, total{}, free{};
    if (!::GetDiskFreeSpaceExW(VolumeRootOf(path).c_str(), &available, &total, &free)) return false;
    freeBytes = available.QuadPart;
    totalBytes = total.QuadPart;
    return true;
}

std::uint64_t GetFreeSpace(const std::wstring& path) {
    std::uint64_t freeBytes = 0, totalBytes = 0;
    return GetVolumeSpace(path, freeBytes, totalBytes) ? freeBytes : kUnknownSpace;
}

std::uint64_t GetCapacity(const std::wstring& path) {
    std::uint64_t freeBytes = 0, totalBytes = 0;
    return GetVolumeSpace(path, freeBytes, totalBytes) ? totalBytes : kUnknownSpace;
}

std::uint64_t GetAllocationUnit(const std::wstring& path) {
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    if (!::GetDiskFreeSpaceW(VolumeRootOf(path).c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                             &clusters))
        return 0;
    return std::uint64_t{sectorsPerCluster} * bytesPerSector;
}

}  // namespace tvx::engine
