// How any thread or layer of the program reaches the hidden main window: by
// its window class name, and only by posting.
#pragma once

#include <windows.h>

namespace tvx {

inline constexpr wchar_t kMainWindowClass[] = L"Thisisthedovetrak3wndclassname";
// Asks the main window to open the settings (another copy of the program at
// its start posts it too, so its value is fixed).
inline constexpr UINT kOpenSettingsMessage = WM_USER + 1;

// Posts the message to the main window of this session; false when there is
// no main window (or the post failed).
inline bool PostToMainWindow(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) noexcept {
    const HWND main = ::FindWindowW(kMainWindowClass, nullptr);
    return main && ::PostMessageW(main, message, wParam, lParam);
}

}  // namespace tvx
