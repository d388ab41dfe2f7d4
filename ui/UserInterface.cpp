// The windows that are not built yet: each leaves a trace and answers Cancel.
#include "ui/UserInterface.h"

#include "framework/Trace.h"

namespace tvx::ui {

INT_PTR ShowSettingsSheet(HWND) {
    Trace(L"ui: settings sheet -> cancel");
    return IDCANCEL;
}

INT_PTR RunSetupWizard(HWND, SetupChoices&) {
    Trace(L"ui: setup wizard -> cancel");
    return IDCANCEL;
}

INT_PTR AskTurnOff(HWND) {
    Trace(L"ui: turning-off question -> cancel");
    return IDCANCEL;
}

void ShowAbout(HWND) { Trace(L"ui: about window"); }

bool CheckMakerDrive(HWND) {
    Trace(L"ui: drive check -> attached");
    return true;
}

void ShowSplash(const wchar_t* bitmapName, DWORD milliseconds) {
    Trace(L"ui: splash %ls for %lu ms", bitmapName, milliseconds);
}

}  // namespace tvx::ui
