#include <windows.h>
#include <shellapi.h>

#include <string>

#include "framework/Trace.h"
#include "ui/UserInterface.h"

namespace tvx::ui {
namespace {

// Folder of the running program file, without a trailing backslash.
std::wstring ProgramFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);  // long path: try again with more room
    }
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

}  // namespace

bool OpenHelpIndex(HWND owner) {
    const std::wstring page = ProgramFolder() + L"\\index.html";
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    // No shell error box: a missing page is not worth a dialog of the shell's.
    info.fMask = SEE_MASK_FLAG_NO_UI;
    info.hwnd = owner;
    info.lpVerb = L"open";
    info.lpFile = page.c_str();
    info.nShow = SW_SHOWDEFAULT;
    const bool ok = ::ShellExecuteExW(&info) != FALSE;
    Trace(L"ui: help %ls -> %ls", page.c_str(), ok ? L"opened" : L"failed");
    return ok;
}

}  // namespace tvx::ui
