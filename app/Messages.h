// Private messages and command ids of the hidden main window. The values are
// fixed: another copy of the program posts WM_OPENSETTINGS from its own
// process, and the tray menu and tests post the commands.
#pragma once

#include <windows.h>

#include "framework/MainWindow.h"

namespace tvx {

inline constexpr wchar_t kInstanceMutexName[] = L"Tavrix Dovetrak 3 Mutex";

// Private messages (all posted; wParam and lParam 0 unless said otherwise).
inline constexpr UINT WM_OPENSETTINGS = kOpenSettingsMessage;  // 0x401: run the Open sequence
inline constexpr UINT WM_TRAYCREATE = 0x403;          // create the tray icon unless one exists
inline constexpr UINT WM_TRAYREMOVE = 0x404;          // destroy the tray icon
inline constexpr UINT WM_TRAYANIMATE = 0x405;         // a pass starts: animate the icon
inline constexpr UINT WM_TRAYSTOP = 0x406;            // a pass ended: stop the animation
inline constexpr UINT WM_TRAYNOTIFY = 0x40A;          // mouse events on the tray icon
static_assert(WM_OPENSETTINGS == 0x401);

// Menu commands (WM_COMMAND ids). 40008 to 40012 and ID_APP_ABOUT are the
// items of the tray menu; 40013 and 40014 are on no menu.
inline constexpr UINT ID_OPEN = 40008;
inline constexpr UINT ID_CLOSE = 40009;
inline constexpr UINT ID_COPY_CHANGED = 40010;
inline constexpr UINT ID_COPY_ALL = 40011;
inline constexpr UINT ID_HELP_INDEX = 40012;
inline constexpr UINT ID_PAUSE = 40013;
inline constexpr UINT ID_RESUME = 40014;
inline constexpr UINT ID_APP_ABOUT = 57664;  // 0xE140

// Shown by Windows while the last pass at shutdown holds the session end back.
inline constexpr wchar_t kShutdownReason[] = L"Tavrix Dovetrak 3 is copying your files before Windows shuts down.";

// Start words (compared case-sensitively).
inline constexpr wchar_t kStartWordStartUp[] = L"StartUp";
inline constexpr wchar_t kStartWordNoStartUp[] = L"NoStartUp";

}  // namespace tvx
