#include "media/Volume.h"

namespace tvx::media {

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

DWORD CheckVolumeReady(const std::wstring& path) {
    const std::wstring root = VolumeRootOf(path);
    if (::GetFileAttributesW(root.c_str()) != INVALID_FILE_ATTRIBUTES) return 0;
    DWORD error = ::GetLastError();
    if (error == 0) error = ERROR_NOT_READY;
    if (error == ERROR_PATH_NOT_FOUND && ::GetDriveTypeW(root.c_str()) == DRIVE_REMOVABLE) error = ERROR_NOT_READY;
    return error;
}

}  // namespace tvx::media
