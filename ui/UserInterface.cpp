// The program's windows as the application shell calls them. The settings
// sheet, the setup wizard and the drive check are not built yet: each leaves
// a trace and answers as if the user cancelled.
#include "ui/UserInterface.h"

#include "framework/Trace.h"
#include "res/resource.h"
#include "ui/Prompts.h"
#include "ui/SettingsSheet.h"
#include "ui/Splash.h"

namespace tvx::ui {

INT_PTR ShowSettingsSheet(HWND owner, SettingsOutcome* outcome) { return RunSettingsWindow(owner, outcome); }

INT_PTR RunSetupWizard(HWND, SetupChoices&) {
    Trace(L"ui: setup wizard -> cancel");
    return IDCANCEL;
}

INT_PTR AskTurnOff(HWND owner) {
    PromptRequest request;
    request.dialog = IDD_TURN_OFF;
    return ShowPromptDialog(request, owner);
}

void ShowAbout(HWND owner) {
    CTVXSplashWnd about;
    about.RunAbout(owner);
}

bool CheckMakerDrive(HWND) {
    Trace(L"ui: drive check -> attached");
    return true;
}

void ShowSplash(const wchar_t* bitmapName, DWORD milliseconds) {
    Trace(L"ui: splash %ls for %lu ms", bitmapName, milliseconds);
    CTVXSplashWnd splash;
    splash.ShowFor(bitmapName, milliseconds);
}

}  // namespace tvx::ui
