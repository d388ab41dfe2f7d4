// File helpers of the Windows tests. Paths are absolute, with backslashes;
// those too long for the classic limit are reached in their "\\?\" form, as
// the program reaches them.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace tvx::test {

inline std::wstring LongPath(const std::wstring& path) {
    const bool drivePath = path.size() >= 3 && path[1] == L':' && path[2] == L'\\';
    return drivePath && path.size() >= MAX_PATH - 12 ? L"\\\\?\\" + path : path;
}

inline bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(LongPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Makes the file's folders, then writes the bytes as its whole content (over
// a read-only or hidden file too). False when the file could not be written.
inline bool Write(const std::wstring& path, std::string_view bytes) {
    for (std::size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1))
        ::CreateDirectoryW(LongPath(path.substr(0, at)).c_str(), nullptr);
    const std::wstring full = LongPath(path);
    ::SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
    const HANDLE file = ::CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = bytes.empty() || (::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                                                  nullptr) && written == bytes.size());
    ::CloseHandle(file);
    return ok;
}

// The file's bytes, or "<missing>" when it cannot be opened.
inline std::string Read(const std::wstring& path) {
    const HANDLE file = ::CreateFileW(LongPath(path).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got) bytes.append(buffer, got);
    ::CloseHandle(file);
    return bytes;
}

// Deletes a folder with everything in it, read-only files and any depth too.
inline void RemoveTree(const std::wstring& folder) {
    const std::wstring root = folder.rfind(L"\\\\?\\", 0) == 0 ? folder : L"\\\\?\\" + folder;
    WIN32_FIND_DATAW entry{};
    const HANDLE find = ::FindFirstFileW((root + L"\\*").c_str(), &entry);
    for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = ::FindNextFileW(find, &entry)) {
        const std::wstring name = entry.cFileName, child = root + L"\\" + name;
        if (name == L"." || name == L"..") continue;
        ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            RemoveTree(child);
        else
            ::DeleteFileW(child.c_str());
    }
    if (find != INVALID_HANDLE_VALUE) ::FindClose(find);
    ::RemoveDirectoryW(root.c_str());
}

}  // namespace tvx::test
