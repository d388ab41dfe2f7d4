#include "tests/disks/VirtualDisk.h"

#include <winioctl.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "framework/Handle.h"

namespace tvx::testdisks {
namespace {

// Wine's own extension of the mount manager: (re)defines a drive letter on a
// Unix folder. The request is this header followed by the Unix path as a
// NUL-terminated byte string; offsets count from the start of the header.
// Defining a letter makes the mount manager forget the volume it had cached
// for it, so the next query reads the new folder's serial and label.
struct UnixDriveRequest {
    ULONG size;       // header plus strings, in bytes
    ULONG type;       // a DRIVE_* value; always DRIVE_REMOVABLE here
    ULONG fsType;     // 0: let Wine decide
    DWORD serial;     // not used when defining
    ULONGLONG unixDev;
    WCHAR letter;     // 'a'..'z'
    USHORT mountPointOffset;
    USHORT deviceOffset;  // 0: no Unix device behind the folder
    USHORT labelOffset;   // 0: label comes from the folder
};
static_assert(sizeof(UnixDriveRequest) == 32);
static_assert(offsetof(UnixDriveRequest, serial) == 12);
static_assert(offsetof(UnixDriveRequest, unixDev) == 16);
static_assert(offsetof(UnixDriveRequest, letter) == 24);
static_assert(offsetof(UnixDriveRequest, mountPointOffset) == 26);
static_assert(offsetof(UnixDriveRequest, labelOffset) == 30);

constexpr DWORD kIoctlDefineUnixDrive =
    CTL_CODE('m', 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);

using UniqueHandle = UniqueHandleT<KernelHandleTraits>;
using UniqueFind = UniqueHandleT<FindHandleTraits>;

// How long a Unix helper command may take before we give up on it.
constexpr DWORD kShellTimeoutMs = 30000;
constexpr DWORD kShellPollMs = 20;

// Returns the lower-case drive letter, or 0 when `letter` may not be used:
// C: holds the prefix's Windows folder and Z: is the way to the Unix side.
wchar_t UsableLetter(wchar_t letter) {
    if (letter >= L'A' && letter <= L'Z') letter = static_cast<wchar_t>(letter - L'A' + L'a');
    if (letter < L'a' || letter > L'z' || letter == L'c' || letter == L'z') return 0;
    return letter;
}

bool IsAbsoluteUnixPath(std::string_view path) {
    return !path.empty() && path.front() == '/' && path.find('\0') == std::string_view::npos;
}

DWORD DefineDrive(wchar_t letter, std::string_view unixFolder) {
    const size_t total = sizeof(UnixDriveRequest) + unixFolder.size() + 1;
    if (total > 0xFFFF) return ERROR_FILENAME_EXCED_RANGE;  // offsets are 16-bit

    std::vector<BYTE> buffer(total, 0);
    UnixDriveRequest header{};
    header.size = static_cast<ULONG>(total);
    header.type = DRIVE_REMOVABLE;
    header.letter = letter;
    header.mountPointOffset = sizeof(UnixDriveRequest);
    memcpy(buffer.data(), &header, sizeof header);
    memcpy(buffer.data() + sizeof header, unixFolder.data(), unixFolder.size());

    UniqueHandle manager(CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                     nullptr));
    if (!manager) return GetLastError();
    DWORD returned = 0;
    if (!DeviceIoControl(manager.Get(), kIoctlDefineUnixDrive, buffer.data(), static_cast<DWORD>(total),
                         nullptr, 0, &returned, nullptr))
        return GetLastError();
    return ERROR_SUCCESS;
}

// ERROR_SUCCESS when unixFolder is an existing folder.
DWORD CheckFolder(std::string_view unixFolder) {
    const std::wstring path = WindowsPathOf(unixFolder);
    if (path.empty()) return ERROR_INVALID_PARAMETER;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError();
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return ERROR_DIRECTORY;
    return ERROR_SUCCESS;
}

std::wstring FromUtf8(std::string_view text) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

// Replaces the whole content of the file at `path` with `bytes`. Wine shows
// dot files as hidden, and Windows' CREATE_ALWAYS refuses to overwrite a
// hidden file unless the caller names the attribute; opening with OPEN_ALWAYS
// and truncating after the write works in both.
DWORD WriteWholeFile(const std::wstring& path, std::string_view bytes) {
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return GetLastError();
    DWORD written = 0;
    if (!bytes.empty() &&
        (!WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
         written != bytes.size()))
        return GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
    if (!SetEndOfFile(file.Get())) return GetLastError();
    return ERROR_SUCCESS;
}

DWORD ReadWholeFile(const std::wstring& path, std::string& bytes) {
    bytes.clear();
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return GetLastError();
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file.Get(), chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
    return ERROR_SUCCESS;
}

DWORD CreateFolderTree(const std::wstring& path) {
    // Skip "Z:\" and create each later component in turn.
    if (path.size() <= 3) return ERROR_SUCCESS;
    for (size_t pos = path.find(L'\\', 3);; pos = path.find(L'\\', pos + 1)) {
        const std::wstring part = path.substr(0, pos);
        if (!CreateDirectoryW(part.c_str(), nullptr)) {
            const DWORD error = GetLastError();
            if (error != ERROR_ALREADY_EXISTS) return error;
        }
        if (pos == std::wstring::npos) return ERROR_SUCCESS;
    }
}

DWORD DeleteTree(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ERROR_SUCCESS : error;
    }
    if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return DeleteFileW(path.c_str()) ? ERROR_SUCCESS : GetLastError();

    // A link to a folder elsewhere goes, not what it points at.
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        WIN32_FIND_DATAW entry;
        UniqueFind find(FindFirstFileW((path + L"\\*").c_str(), &entry));
        if (find) {
            do {
                const std::wstring_view name = entry.cFileName;
                if (name == L"." || name == L"..") continue;
                if (const DWORD error = DeleteTree(path + L"\\" + entry.cFileName)) return error;
            } while (FindNextFileW(find.Get(), &entry));
        }
    }
    return RemoveDirectoryW(path.c_str()) ? ERROR_SUCCESS : GetLastError();
}

// 'it'\''s' quoting for /bin/sh.
std::string ShellQuote(std::string_view text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') out += "'\\''";
        else out += c;
    }
    return out + "'";
}

// Runs `script` with the Unix /bin/sh. Wine starts Unix programs but gives
// back no process handle, so the script's output and exit status come back
// through a result file beside `anchor`, renamed into place when complete.
DWORD RunUnixShell(std::string_view anchor, const std::string& script, int& status, std::string& output) {
    status = -1;
    output.clear();
    while (anchor.size() > 1 && anchor.back() == '/') anchor.remove_suffix(1);  // files go beside, not inside
    const std::string scriptPath = std::string(anchor) + ".tvx-run.sh";
    const std::string resultPath = std::string(anchor) + ".tvx-run.out";
    const std::wstring scriptWin = WindowsPathOf(scriptPath);
    const std::wstring resultWin = WindowsPathOf(resultPath);
    if (scriptWin.empty() || scriptPath.find('"') != std::string::npos) return ERROR_INVALID_NAME;
    if (const DWORD error = CreateFolderTree(scriptWin.substr(0, scriptWin.rfind(L'\\')))) return error;
    DeleteFileW(resultWin.c_str());

    const std::string body = "PATH=/usr/sbin:/usr/bin:/sbin:/bin\n{\n" + script + "\n} >" +
                             ShellQuote(resultPath + ".tmp") + " 2>&1\necho \"$?\" >>" +
                             ShellQuote(resultPath + ".tmp") + "\nmv -f " + ShellQuote(resultPath + ".tmp") +
                             " " + ShellQuote(resultPath) + "\n";
    if (const DWORD error = WriteWholeFile(scriptWin, body)) return error;

    std::wstring commandLine = L"/bin/sh \"" + FromUtf8(scriptPath) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(L"Z:\\bin\\sh", commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        const DWORD error = GetLastError();
        DeleteFileW(scriptWin.c_str());
        return error;
    }
    if (process.hThread) CloseHandle(process.hThread);
    if (process.hProcess) CloseHandle(process.hProcess);

    DWORD waited = 0;
    while (GetFileAttributesW(resultWin.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (waited >= kShellTimeoutMs) {
            DeleteFileW(scriptWin.c_str());
            return WAIT_TIMEOUT;
        }
        Sleep(kShellPollMs);
        waited += kShellPollMs;
    }
    std::string text;
    const DWORD error = ReadWholeFile(resultWin, text);
    DeleteFileW(resultWin.c_str());
    DeleteFileW(scriptWin.c_str());
    if (error) return error;

    // The last line is the exit status; everything before it is the output.
    while (!text.empty() && text.back() == '\n') text.pop_back();
    const size_t cut = text.rfind('\n');
    status = atoi(text.c_str() + (cut == std::string::npos ? 0 : cut + 1));
    output = cut == std::string::npos ? std::string() : text.substr(0, cut);
    return ERROR_SUCCESS;
}

}  // namespace

std::string ToUtf8(std::wstring_view text) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr,
                        nullptr);
    return out;
}

std::wstring WindowsPathOf(std::string_view unixPath) {
    if (!IsAbsoluteUnixPath(unixPath)) return {};
    std::wstring path = FromUtf8(unixPath);
    if (path.empty()) return {};
    for (auto& c : path)
        if (c == L'/') c = L'\\';
    while (path.size() > 1 && path.back() == L'\\') path.pop_back();
    return L"Z:" + path;
}

DWORD InsertDisk(wchar_t letter, std::string_view unixFolder) {
    const wchar_t drive = UsableLetter(letter);
    if (!drive || !IsAbsoluteUnixPath(unixFolder)) return ERROR_INVALID_PARAMETER;
    if (const DWORD error = CheckFolder(unixFolder)) return error;
    return DefineDrive(drive, unixFolder);
}

DWORD SwapDisk(wchar_t letter, std::string_view unixFolder) {
    const wchar_t drive = UsableLetter(letter);
    if (!drive || !IsAbsoluteUnixPath(unixFolder)) return ERROR_INVALID_PARAMETER;
    // Check the new disk first so that a failed swap leaves the old one in.
    if (const DWORD error = CheckFolder(unixFolder)) return error;
    if (const DWORD error = RemoveDisk(drive)) return error;
    return DefineDrive(drive, unixFolder);
}

DWORD RemoveDisk(wchar_t letter) {
    const wchar_t drive = UsableLetter(letter);
    if (!drive) return ERROR_INVALID_PARAMETER;
    if (GetFileAttributesW(WindowsPathOf(kNoDiskFolder).c_str()) != INVALID_FILE_ATTRIBUTES)
        return ERROR_ALREADY_EXISTS;
    return DefineDrive(drive, kNoDiskFolder);
}

DWORD MakeDiskFolder(std::string_view unixPath, DWORD serial, std::wstring_view label) {
    const std::wstring folder = WindowsPathOf(unixPath);
    if (folder.empty()) return ERROR_INVALID_PARAMETER;
    if (const DWORD error = CreateFolderTree(folder)) return error;
    char hex[16];
    snprintf(hex, sizeof hex, "%08lX\n", static_cast<unsigned long>(serial));
    if (const DWORD error = WriteWholeFile(folder + L"\\.windows-serial", hex)) return error;
    return WriteWholeFile(folder + L"\\.windows-label", ToUtf8(label));
}

DWORD DeleteDiskFolder(std::string_view unixPath) {
    const std::wstring folder = WindowsPathOf(unixPath);
    // Refuse "/" and top-level folders such as /tmp: too much to lose to a typo.
    if (folder.empty() || folder.find(L'\\', 3) == std::wstring::npos) return ERROR_INVALID_PARAMETER;
    return DeleteTree(folder);
}

DWORD MountTmpfsDisk(std::string_view unixPath, ULONGLONG bytes, std::string* message) {
    if (!IsAbsoluteUnixPath(unixPath) || bytes == 0) return ERROR_INVALID_PARAMETER;
    const std::string path = ShellQuote(unixPath);
    const std::string script = "mkdir -p -- " + path + " && mount -t tmpfs -o size=" + std::to_string(bytes) +
                               ",mode=0777 tmpfs " + path;
    int status = -1;
    std::string output;
    if (const DWORD error = RunUnixShell(unixPath, script, status, output)) return error;
    if (message) *message = output;
    return status == 0 ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

DWORD SetTmpfsReadOnly(std::string_view unixPath, bool readOnly, std::string* message) {
    if (!IsAbsoluteUnixPath(unixPath)) return ERROR_INVALID_PARAMETER;
    const std::string script = std::string("mount -o remount,") + (readOnly ? "ro " : "rw ") + ShellQuote(unixPath);
    int status = -1;
    std::string output;
    if (const DWORD error = RunUnixShell(unixPath, script, status, output)) return error;
    if (message) *message = output;
    return status == 0 ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

DWORD UnmountDisk(std::string_view unixPath, std::string* message) {
    if (!IsAbsoluteUnixPath(unixPath)) return ERROR_INVALID_PARAMETER;
    const std::string path = ShellQuote(unixPath);
    const std::string script =
        "if mountpoint -q " + path + "; then umount " + path + " 2>/dev/null || umount -l " + path + "; fi";
    int status = -1;
    std::string output;
    if (const DWORD error = RunUnixShell(unixPath, script, status, output)) return error;
    if (message) *message = output;
    return status == 0 ? ERROR_SUCCESS : ERROR_GEN_FAILURE;
}

}  // namespace tvx::testdisks
