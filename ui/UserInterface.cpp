// The program's windows as the application shell calls them.
#include "ui/UserInterface.h"

#include "framework/Trace.h"
#include "media/Praxon.h"
#include "res/resource.h"
#include "ui/Prompts.h"
#include "ui/SettingsSheet.h"
#include "ui/Splash.h"

namespace tvx::ui {

INT_PTR ShowSettingsSheet(HWND owner, SettingsOutcome* outcome) { return RunSettingsWindow(owner, outcome); }

INT_PTR AskTurnOff(HWND owner) {
    PromptRequest request;
    request.dialog = IDD_TURN_OFF;
    return ShowPromptDialog(request, owner);
}

void ShowAbout(HWND owner) {
    CTVXSplashWnd about;
    about.RunAbout(owner);
}

bool CheckMakerDrive(HWND owner) {
    Praxon::DriveArray drives;
    drives.init();
    if (drives.count() > 0) return true;
    Trace(L"ui: no drive of the program is attached");
    PromptRequest request;
    request.dialog = IDD_NO_MAKER_DRIVE;
    ShowPromptDialog(request, owner);
    return false;
}

void ShowSplash(const wchar_t* bitmapName, DWORD milliseconds) {
    Trace(L"ui: splash %ls for %lu ms", bitmapName, milliseconds);
    CTVXSplashWnd splash;
    splash.ShowFor(bitmapName, milliseconds);
}

}  // namespace tvx::ui
