// tvxdisk: puts virtual disks into Wine's removable drives from scripts.
//
//   tvxdisk insert E /unix/folder   the folder's disk goes into E:
//   tvxdisk swap E /unix/folder     E:'s disk comes out, the folder's goes in
//   tvxdisk remove E                E: stays removable and empty
//   tvxdisk info E                  what Windows calls report for E:
//   tvxdisk protect E STATE [PASSWORD]
//                                   E:'s disk gets the protection state (0
//                                   lifts it, with the disk's password)
//   tvxdisk readonly E /unix/folder on|off
//                                   the tmpfs disk in the folder refuses
//                                   writes (as with its switch on) or not
//
// Exit status 0 on success; 2 with one line on standard error otherwise. For
// `info`, a query that fails is part of the answer ("serial: error 3"), not a
// failure of the tool.
#include <windows.h>
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

#include "media/Praxon.h"
#include "tests/disks/VirtualDisk.h"

namespace {

using namespace tvx::testdisks;

std::string ErrorText(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = n && text ? std::wstring(text, n) : std::wstring();
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    return "error " + std::to_string(error) + (message.empty() ? "" : " (" + ToUtf8(message) + ")");
}

int Fail(const std::string& line) {
    fprintf(stderr, "tvxdisk: %s\n", line.c_str());
    return 2;
}

const char* kUsage =
    "usage: tvxdisk insert|swap LETTER /unix/folder | remove LETTER | info LETTER |\n"
    "       protect LETTER STATE [PASSWORD] | readonly LETTER /unix/folder on|off";

// "E", "e" or "E:" -> L'E'; 0 otherwise.
wchar_t ParseLetter(const std::wstring& word) {
    if (word.size() < 1 || word.size() > 2 || (word.size() == 2 && word[1] != L':')) return 0;
    const wchar_t c = static_cast<wchar_t>(towupper(word[0]));
    return c >= L'A' && c <= L'Z' ? c : 0;
}

const char* DriveTypeName(UINT type) {
    switch (type) {
    case DRIVE_UNKNOWN: return "unknown";
    case DRIVE_NO_ROOT_DIR: return "no root dir";
    case DRIVE_REMOVABLE: return "removable";
    case DRIVE_FIXED: return "fixed";
    case DRIVE_REMOTE: return "remote";
    case DRIVE_CDROM: return "cdrom";
    case DRIVE_RAMDISK: return "ramdisk";
    default: return "?";
    }
}

// Prints each query's answer, or the error it failed with.
void PrintInfo(wchar_t letter) {
    const wchar_t root[] = {letter, L':', L'\\', 0};
    printf("drive: %c:\n", static_cast<char>(letter));
    const UINT type = GetDriveTypeW(root);
    printf("type: %u %s\n", type, DriveTypeName(type));

    const DWORD attributes = GetFileAttributesW(root);
    if (attributes == INVALID_FILE_ATTRIBUTES) printf("root: %s\n", ErrorText(GetLastError()).c_str());
    else printf("root: attributes 0x%08lX\n", attributes);

    wchar_t label[MAX_PATH + 1] = {};
    wchar_t fileSystem[MAX_PATH + 1] = {};
    DWORD serial = 0, maxComponent = 0, flags = 0;
    if (GetVolumeInformationW(root, label, MAX_PATH + 1, &serial, &maxComponent, &flags, fileSystem,
                              MAX_PATH + 1)) {
        printf("serial: %08lX\n", serial);
        printf("label: %s\n", ToUtf8(label).c_str());
        printf("filesystem: %s\n", ToUtf8(fileSystem).c_str());
    } else {
        const std::string error = ErrorText(GetLastError());
        printf("serial: %s\nlabel: %s\nfilesystem: %s\n", error.c_str(), error.c_str(), error.c_str());
    }

    ULARGE_INTEGER available{}, total{}, free{};
    if (GetDiskFreeSpaceExW(root, &available, &total, &free))
        printf("free: %llu\ntotal: %llu\n", static_cast<unsigned long long>(available.QuadPart),
               static_cast<unsigned long long>(total.QuadPart));
    else {
        const std::string error = ErrorText(GetLastError());
        printf("free: %s\ntotal: %s\n", error.c_str(), error.c_str());
    }
    printf("protection: %d\n", Praxon::Drive(letter).getProtectState());
}

int Run(const std::vector<std::wstring>& args) {
    if (args.size() < 2) return Fail(kUsage);
    const std::wstring& command = args[0];
    const wchar_t letter = ParseLetter(args[1]);
    if (!letter) return Fail("not a drive letter: " + ToUtf8(args[1]));
    const std::string drive = std::string(1, static_cast<char>(letter)) + ":";
    if (command != L"info" && (letter == L'C' || letter == L'Z'))
        return Fail(drive + " belongs to the Wine prefix and cannot hold a virtual disk");

    if (command == L"insert" || command == L"swap") {
        if (args.size() != 3) return Fail(kUsage);
        const std::string folder = ToUtf8(args[2]);
        const DWORD error = command == L"insert" ? InsertDisk(letter, folder) : SwapDisk(letter, folder);
        if (error) return Fail(ToUtf8(command) + " " + drive + " " + folder + ": " + ErrorText(error));
        return 0;
    }
    if (command == L"protect") {
        if (args.size() != 3 && args.size() != 4) return Fail(kUsage);
        const int state = _wtoi(args[2].c_str());
        const std::wstring password = args.size() == 4 ? args[3] : std::wstring();
        if (const DWORD error = Praxon::Drive(letter).setProtect(state, password))
            return Fail("protect " + drive + ": " + ErrorText(error));
        printf("state: %d\n", Praxon::Drive(letter).getProtectState());
        return 0;
    }
    if (command == L"readonly") {
        if (args.size() != 4 || (args[3] != L"on" && args[3] != L"off")) return Fail(kUsage);
        std::string message;
        const std::string folder = ToUtf8(args[2]);
        if (const DWORD error = SetTmpfsReadOnly(folder, args[3] == L"on", &message))
            return Fail("readonly " + folder + ": " + ErrorText(error) + " " + message);
        // The drive is defined again so that Wine sees the change at once.
        if (const DWORD error = InsertDisk(letter, folder)) return Fail("readonly " + drive + ": " + ErrorText(error));
        return 0;
    }
    if (command == L"remove" || command == L"info") {
        if (args.size() != 2) return Fail(kUsage);
        if (command == L"info") {
            PrintInfo(letter);
            return 0;
        }
        if (const DWORD error = RemoveDisk(letter)) return Fail("remove " + drive + ": " + ErrorText(error));
        return 0;
    }
    return Fail(kUsage);
}

}  // namespace

int main() {
    // Plain "\n" line ends and UTF-8 bytes: the readers are shell scripts.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    int count = 0;
    wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!words) return Fail("cannot read the command line: " + ErrorText(GetLastError()));
    std::vector<std::wstring> args(words + (count > 0 ? 1 : 0), words + count);
    LocalFree(words);
    const int status = Run(args);
    fflush(stdout);
    return status;
}
