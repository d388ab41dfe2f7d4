#include "ui/Help.h"

#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <iterator>
#include <string>
#include <vector>

#include "framework/Trace.h"

namespace tvx::ui {
namespace {

// Success where no result of the shell says it: above 32, as the shell's successes.
constexpr INT_PTR kStarted = 33;

// Default value of HKEY_CLASSES_ROOT\subKey; false when it cannot be read or is empty.
bool ReadClassesDefault(const std::wstring& subKey, std::wstring& value) {
    // REG_EXPAND_SZ values come expanded, as REG_SZ; their size is known only
    // after an attempt, hence the retries.
    std::vector<wchar_t> buffer(256);
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
        const LSTATUS status = ::RegGetValueW(HKEY_CLASSES_ROOT, subKey.c_str(), nullptr, RRF_RT_REG_SZ, nullptr,
                                              buffer.data(), &bytes);
        if (status == ERROR_SUCCESS) {
            value.assign(buffer.data());
            return !value.empty();
        }
        if (status != ERROR_MORE_DATA) return false;
        buffer.resize(bytes / sizeof(wchar_t) + 64);
    }
    return false;
}

// A Windows error as a reason of the shell's range (0 to 32), for
// HyperlinkFailureText; `otherwise` when no reason there fits.
INT_PTR ShellReason(DWORD error, INT_PTR otherwise) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_ACCESS_DENIED:
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_BAD_FORMAT: return static_cast<INT_PTR>(error);
        case ERROR_OUTOFMEMORY: return ERROR_NOT_ENOUGH_MEMORY;
        case ERROR_BAD_EXE_FORMAT: return ERROR_BAD_FORMAT;
        case ERROR_SHARING_VIOLATION: return SE_ERR_SHARE;
        case ERROR_DDE_FAIL: return SE_ERR_DDEFAIL;
        case ERROR_NO_ASSOCIATION: return SE_ERR_NOASSOC;
        case ERROR_DLL_NOT_FOUND: return SE_ERR_DLLNOTFOUND;
        default: return otherwise;
    }
}

// Starts a command line as the shell would have started the document: a
// result above 32 on success, else a reason of the shell's range.
INT_PTR StartCommandLine(std::wstring commandLine, int showCommand, INT_PTR shellResult) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showCommand);
    PROCESS_INFORMATION process = {};
    if (::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                         &process)) {
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
        return kStarted;
    }
    const DWORD error = ::GetLastError();
    Trace(L"ui: browser command failed (%lu): %ls", error, commandLine.c_str());
    return ShellReason(error, shellResult);  // no fitting reason: keep why the shell failed
}

}  // namespace

const wchar_t* WizardHelpPage(int pageIndex) noexcept {
    static const wchar_t* const pages[] = {kHelpWelcome,  kHelpWelcome, kHelpDestination, kHelpSources,
                                           kHelpRevisions, kHelpReview,  kHelpFinish};
    if (pageIndex < 0 || pageIndex >= static_cast<int>(std::size(pages))) return kHelpWelcome;
    return pages[pageIndex];
}

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

bool OpenHelpPage(HWND owner, const wchar_t* relativePage) {
    const std::wstring page = ProgramFolder() + L"\\" + relativePage;
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

bool OpenHelpIndex(HWND owner) { return OpenHelpPage(owner, kHelpIndex); }

std::wstring DisksPageAddress() { return ProgramFolder() + L"\\" + kHelpDisks; }

std::wstring BrowserCommandLine(const std::wstring& commandTemplate, const std::wstring& address) {
    std::wstring line = commandTemplate;
    size_t cut = line.find(L"\"%1\"");
    if (cut == std::wstring::npos) cut = line.find(L"%1");
    if (cut != std::wstring::npos) line.erase(cut);
    while (!line.empty() && (line.back() == L' ' || line.back() == L'\t')) line.pop_back();
    line += L' ';
    const bool quote = address.find(L' ') != std::wstring::npos && address.front() != L'"';
    line += quote ? L"\"" + address + L"\"" : address;
    return line;
}

INT_PTR OpenAddress(const std::wstring& address, int showCommand) {
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    // The caller tells the user why an address did not open; the shell's own box would say it twice.
    info.fMask = SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"open";
    info.lpFile = address.c_str();
    info.nShow = showCommand;
    const bool opened = ::ShellExecuteExW(&info) != FALSE;
    INT_PTR shellResult = reinterpret_cast<INT_PTR>(info.hInstApp);
    if (opened) return shellResult > 32 ? shellResult : kStarted;
    // A failure leaves its reason in hInstApp; should it not, the error code tells it.
    if (shellResult > 32) shellResult = ShellReason(::GetLastError(), SE_ERR_ASSOCINCOMPLETE);

    // The shell could not: start the program registered for .htm documents.
    std::wstring documentType;
    std::wstring commandTemplate;
    if (!ReadClassesDefault(L".htm", documentType) ||
        !ReadClassesDefault(documentType + L"\\shell\\open\\command", commandTemplate)) {
        Trace(L"ui: %ls not opened (%d), no browser registered", address.c_str(), static_cast<int>(shellResult));
        return shellResult;
    }
    return StartCommandLine(BrowserCommandLine(commandTemplate, address), showCommand, shellResult);
}

std::wstring HyperlinkFailureText(INT_PTR result) {
    const wchar_t* reason = nullptr;
    switch (result) {
        case 0: reason = L"The operating system is out\nof memory or resources."; break;
        case 2: reason = L"The specified file was not found."; break;
        case 3: reason = L"The specified path was not found."; break;
        case 5: reason = L"The operating system denied\naccess to the specified file."; break;
        case 8: reason = L"There was not enough memory to complete the operation."; break;
        case 11: reason = L"The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image)."; break;
        case 26: reason = L"A sharing violation occurred. "; break;
        case 27: reason = L"The filename association is\nincomplete or invalid."; break;
        case 28: reason = L"The DDE transaction could not\nbe completed because the request timed out."; break;
        case 29: reason = L"The DDE transaction failed."; break;
        case 30:
            reason = L"The DDE transaction could not\nbe completed because other DDE transactions\n"
                     L"were being processed.";
            break;
        case 31: reason = L"There is no application associated\nwith the given filename extension."; break;
        case 32: reason = L"The specified dynamic-link library was not found."; break;
        default: break;
    }
    std::wstring text = L"Unable to open hyperlink:\n\n";
    if (reason) return text + reason;
    wchar_t unknown[64];
    std::swprintf(unknown, std::size(unknown), L"Unknown Error (%d) occurred.", static_cast<int>(result));
    return text + unknown;
}

}  // namespace tvx::ui
