// tvxauto: drives the program's windows from a script.
//
//   tvxauto find CLASS [TIMEOUT_MS]          prints the window handle (exit 1: none)
//   tvxauto wait-gone CLASS TIMEOUT_MS       exit 0 when no window of CLASS remains
//   tvxauto post CLASS MSG [WPARAM [LPARAM]] posts a message (numbers: decimal or 0x..)
//   tvxauto command CLASS ID                 posts WM_COMMAND with the id
//   tvxauto windows [PID]                    lists top-level windows
//   tvxauto click HWND ID                    clicks a dialog's control
//   tvxauto screenshot FILE.bmp              saves the screen
//
// Errors print one line and exit 2.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "tests/support/Automation.h"

namespace {

bool ParseNumber(const wchar_t* text, unsigned long long& value) {
    wchar_t* end = nullptr;
    value = std::wcstoull(text, &end, 0);
    return end && end != text && *end == L'\0';
}

int Fail(const wchar_t* message) {
    std::fwprintf(stderr, L"tvxauto: %ls\n", message);
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    using namespace tvx::test;
    if (argc < 2) return Fail(L"usage: see the comment at the top of tvxauto.cpp");
    const std::wstring verb = argv[1];
    unsigned long long a = 0, b = 0, c = 0;

    if (verb == L"find" && argc >= 3) {
        const DWORD timeout = argc >= 4 && ParseNumber(argv[3], a) ? static_cast<DWORD>(a) : 0;
        const HWND hwnd = WaitForWindow(argv[2], nullptr, timeout);
        if (!hwnd) return 1;
        std::wprintf(L"0x%llx\n", reinterpret_cast<unsigned long long>(hwnd));
        return 0;
    }
    if (verb == L"wait-gone" && argc >= 4 && ParseNumber(argv[3], a))
        return WaitForNoWindow(argv[2], static_cast<DWORD>(a)) ? 0 : 1;
    if ((verb == L"post" && argc >= 4 && ParseNumber(argv[3], a)) ||
        (verb == L"command" && argc >= 4 && ParseNumber(argv[3], b))) {
        const HWND hwnd = ::FindWindowW(argv[2], nullptr);
        if (!hwnd) return Fail(L"no such window");
        UINT message = WM_COMMAND;
        WPARAM wParam = static_cast<WPARAM>(b);
        LPARAM lParam = 0;
        if (verb == L"post") {
            message = static_cast<UINT>(a);
            wParam = argc >= 5 && ParseNumber(argv[4], b) ? static_cast<WPARAM>(b) : 0;
            lParam = argc >= 6 && ParseNumber(argv[5], c) ? static_cast<LPARAM>(c) : 0;
        }
        return ::PostMessageW(hwnd, message, wParam, lParam) ? 0 : Fail(L"PostMessage failed");
    }
    if (verb == L"windows") {
        const DWORD pid = argc >= 3 && ParseNumber(argv[2], a) ? static_cast<DWORD>(a) : 0;
        for (const WindowInfo& w : ListTopLevelWindows(pid))
            std::wprintf(L"0x%llx\t%lu\t%ls\t%ls\t%ls\n", reinterpret_cast<unsigned long long>(w.hwnd), w.processId,
                         w.visible ? L"visible" : L"hidden", w.className.c_str(), w.title.c_str());
        return 0;
    }
    if (verb == L"click" && argc >= 4 && ParseNumber(argv[2], a) && ParseNumber(argv[3], b))
        return ClickButton(reinterpret_cast<HWND>(a), static_cast<int>(b)) ? 0 : Fail(L"click failed");
    if (verb == L"screenshot" && argc >= 3) return SaveScreenshot(argv[2]) ? 0 : Fail(L"screenshot failed");
    return Fail(L"unknown command or missing argument");
}
