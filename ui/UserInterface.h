// The program's windows as the application shell calls them: each is one
// function here, so the shell's flow stays the same whatever the window does.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace tvx::ui {

// What the setup wizard gathered when it ended with OK.
struct SetupChoices {
    std::wstring destination;          // root of the destination drive, e.g. "E:\"
    std::vector<std::wstring> sources; // source folders, in the user's order
    DWORD revisions = 0;               // revision limit
    DWORD iconStatus = 1;              // 1: show the tray icon
};

struct SettingsOutcome;

// The settings window, modal. IDOK or IDCANCEL; on IDOK the outcome (may be
// null) says what the application still has to do.
INT_PTR ShowSettingsSheet(HWND owner, SettingsOutcome* outcome = nullptr);

// The setup wizard, modal. IDOK (choices filled in) or IDCANCEL.
INT_PTR RunSetupWizard(HWND owner, SetupChoices& choices);

// The turning-off question. IDOK when the user confirmed turning the program off.
INT_PTR AskTurnOff(HWND owner);

// The about window, modal.
void ShowAbout(HWND owner);

// Checks that a removable drive of the maker is attached. When none is, the
// no-drive notice is shown and the result is false once it is dismissed.
bool CheckMakerDrive(HWND owner);

// The splash picture (bitmap resource name), shown for the given time.
void ShowSplash(const wchar_t* bitmapName, DWORD milliseconds);

}  // namespace tvx::ui
