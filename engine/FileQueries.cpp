#include "engine/FileQueries.h"

#include "framework/Handle.h"

namespace tvx::engine {

std::wstring ExtendedPath(const std::wstring& path) {
    constexpr std::size_t kLongest = MAX_PATH - 12;
    if (path.size() < kLongest) return path;
    if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') return L"\\\\?\\" + path;
    if (path.rfind(L"\\\\", 0) == 0 && path.rfind(L"\\\\?\\", 0) != 0 && path.rfind(L"\\\\.\\", 0) != 0)
        return L"\\\\?\\UNC" + path.substr(1);
    return path;
}

DWORD GetFileStamp(const std::wstring& path, std::uint64_t& stamp) {
    stamp = 0;
    WIN32_FIND_DATAW data{};
    UniqueFindHandle find(::FindFirstFileExW(ExtendedPath(path).c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0));
    if (!find) return ERROR_FILE_NOT_FOUND;
    stamp = FileStampOf(data.ftCreationTime, data.ftLastWriteTime);
    return 0;
}

std::uint64_t GetFileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(ExtendedPath(path).c_str(), GetFileExInfoStandard, &data)) return 0;
    return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
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
