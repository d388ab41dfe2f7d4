#include "app/MainWnd.h"

#include "app/Messages.h"
#include "app/MirrorController.h"
#include "app/ProcessFlags.h"
#include "app/TvxApp.h"
#include "framework/Trace.h"
#include "settings/Settings.h"
#include "ui/SystemTray.h"
#include "ui/UserInterface.h"

namespace tvx {
namespace {

CTVXSystemTray* AppTray() noexcept {
    CTVXApp* app = CTVXApp::Get();
    return app ? app->Tray() : nullptr;
}

DWORD MirrorStatus() {
    DWORD mirror = 0;  // unreadable counts as off
    settings::ReadMirrorStatus(mirror);
    return mirror;
}

}  // namespace

const CTVXMainWnd::MessageEntry CTVXMainWnd::kMessageTable[] = {
    {WM_OPENSETTINGS, &CTVXMainWnd::OnOpenSettings},
    {WM_TRAYCREATE, &CTVXMainWnd::OnTrayCreate},
    {WM_TRAYREMOVE, &CTVXMainWnd::OnTrayRemove},
    {WM_TRAYANIMATE, &CTVXMainWnd::OnTrayAnimate},
    {WM_TRAYSTOP, &CTVXMainWnd::OnTrayStop},
    {WM_TRAYNOTIFY, &CTVXMainWnd::OnTrayNotify},
    {WM_COMMAND, &CTVXMainWnd::OnCommand},
    {WM_CLOSE, &CTVXMainWnd::OnClose},
    {WM_DESTROY, &CTVXMainWnd::OnDestroy},
    {WM_QUERYENDSESSION, &CTVXMainWnd::OnQueryEndSession},
    {WM_ENDSESSION, &CTVXMainWnd::OnEndSession},
};

const CTVXMainWnd::CommandEntry CTVXMainWnd::kCommandTable[] = {
    {ID_OPEN, &CTVXMainWnd::OpenSequence},
    {ID_CLOSE, &CTVXMainWnd::CloseSequence},
    {ID_COPY_CHANGED, &CTVXMainWnd::OnCopyChanged},
    {ID_COPY_ALL, &CTVXMainWnd::OnCopyAll},
    {ID_APP_ABOUT, &CTVXMainWnd::OnAbout},
    {ID_HELP_INDEX, &CTVXMainWnd::OnHelpIndex},
    {ID_PAUSE, &CTVXMainWnd::OnPause},
    {ID_RESUME, &CTVXMainWnd::OnResume},
};

LRESULT CTVXMainWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    for (const MessageEntry& entry : kMessageTable) {
        if (entry.message == message) {
            return (this->*entry.handler)(wParam, lParam);
        }
    }
    return Default(message, wParam, lParam);
}

LRESULT CTVXMainWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
    const UINT id = LOWORD(wParam);
    for (const CommandEntry& entry : kCommandTable) {
        if (entry.id == id) {
            Trace(L"main: command %u", id);
            (this->*entry.handler)();
            return 0;
        }
    }
    return Default(WM_COMMAND, wParam, lParam);
}

// ---------------------------------------------------------------- sequences

void CTVXMainWnd::OpenSequence() {
    CTVXMirrorController& controller = MirrorController();
    // Stopped means another Open is under way or the program is paused.
    if (controller.IsStopRequested() || Flags().modalWindow.load() != 0) {
        Trace(L"open: ignored");
        return;
    }
    Trace(L"open: begin");
    controller.Stop();  // waits for the worker; a running pass is cancelled
    if (Flags().paused.load() == 0) {
        if (settings::CheckSettings() != 0) {
            ui::ShowSettingsSheet(GetSafeHwnd());
        } else if (CTVXApp* app = CTVXApp::Get()) {
            app->RunFirstRunSequence();
            Flags().firstRun.store(1);
        }
    }
    if (MirrorStatus() == 0) {
        Trace(L"open: mirroring off; ending");
        ::PostMessageW(GetSafeHwnd(), WM_CLOSE, 0, 0);
    } else {
        controller.Start();
        Trace(L"open: end");
    }
}

void CTVXMainWnd::CloseSequence() {
    if (Flags().modalWindow.load() != 0) return;
    Flags().modalWindow.store(1);
    if (MirrorStatus() != 0) {
        if (ui::AskTurnOff(GetSafeHwnd()) == IDOK) ::PostMessageW(GetSafeHwnd(), WM_CLOSE, 0, 0);
    } else {
        ::PostMessageW(GetSafeHwnd(), WM_CLOSE, 0, 0);
    }
    Flags().modalWindow.store(0);
}

// ---------------------------------------------------------- private messages

LRESULT CTVXMainWnd::OnOpenSettings(WPARAM, LPARAM) {
    Trace(L"main: open-settings message");
    OpenSequence();
    return 0;
}

LRESULT CTVXMainWnd::OnTrayCreate(WPARAM, LPARAM) {
    if (CTVXApp* app = CTVXApp::Get()) app->CreateTray();
    return 0;
}

LRESULT CTVXMainWnd::OnTrayRemove(WPARAM, LPARAM) {
    if (CTVXApp* app = CTVXApp::Get()) app->RemoveTray();
    return 0;
}

LRESULT CTVXMainWnd::OnTrayAnimate(WPARAM, LPARAM) {
    if (CTVXSystemTray* tray = AppTray()) tray->StartAnimation(100, 0);
    return 0;
}

LRESULT CTVXMainWnd::OnTrayStop(WPARAM, LPARAM) {
    if (CTVXSystemTray* tray = AppTray()) tray->StopAnimation();
    // The last pass at shutdown is over: the worker now asks to shut down.
    if (Flags().updateAtShutdown.load() == 1) ::ShutdownBlockReasonDestroy(GetSafeHwnd());
    return 0;
}

LRESULT CTVXMainWnd::OnTrayNotify(WPARAM wParam, LPARAM lParam) {
    CTVXSystemTray* tray = AppTray();
    return tray ? tray->OnTrayNotification(wParam, lParam) : 0;
}

// --------------------------------------------------------- platform messages

LRESULT CTVXMainWnd::OnClose(WPARAM wParam, LPARAM lParam) {
    Trace(L"main: close");
    MirrorController().Stop();
    const LRESULT result = Default(WM_CLOSE, wParam, lParam);  // destroys the window
    ::PostQuitMessage(0);
    return result;
}

LRESULT CTVXMainWnd::OnDestroy(WPARAM wParam, LPARAM lParam) {
    MirrorController().Stop();
    // The icon goes with the window that owns it.
    if (CTVXApp* app = CTVXApp::Get()) app->RemoveTray();
    const LRESULT result = Default(WM_DESTROY, wParam, lParam);
    ::PostQuitMessage(0);
    return result;
}

// The last pass at shutdown: when the settings ask for it, the first end
// request is refused, the worker runs one pass (with the progress window) and
// then asks Windows to shut down itself; that second request is let through.
// Since Windows Vista a refusal alone shows the user a bare "this app is
// preventing shutdown" screen, so the reason is given while the pass runs.
LRESULT CTVXMainWnd::OnQueryEndSession(WPARAM, LPARAM) {
    DWORD atShutdown = 0, type = 0;
    settings::ReadNumber(settings::kSchedulerAtShutdown, atShutdown);
    settings::ReadNumber(settings::kSchedulerType, type);
    if (type != 3 && atShutdown != 1) return TRUE;
    if (Flags().updateAtShutdown.load() == 1) {
        ::ShutdownBlockReasonDestroy(GetSafeHwnd());
        return TRUE;
    }
    Flags().updateAtShutdown.store(1);
    ::ShutdownBlockReasonCreate(GetSafeHwnd(), kShutdownReason);
    Trace(L"main: session end held back for a last pass");
    MirrorController().Signal();
    return FALSE;
}

LRESULT CTVXMainWnd::OnEndSession(WPARAM wParam, LPARAM) {
    if (wParam) MirrorController().Stop();  // the session really ends
    return 0;
}

// ------------------------------------------------------------------ commands

void CTVXMainWnd::OnCopyChanged() { MirrorController().Signal(); }

void CTVXMainWnd::OnCopyAll() {
    // A start time of 0 makes the next pass reset the catalogue and copy all.
    settings::WriteStartTime(0);
    MirrorController().Signal();
}

void CTVXMainWnd::OnAbout() {
    if (Flags().modalWindow.load() != 0) return;
    Flags().modalWindow.store(1);
    ui::ShowAbout(GetSafeHwnd());
    Flags().modalWindow.store(0);
}

void CTVXMainWnd::OnHelpIndex() {
    if (Flags().modalWindow.load() == 0) ui::OpenHelpIndex(GetSafeHwnd());
}

void CTVXMainWnd::OnPause() {
    MirrorController().Stop();
    Flags().paused.store(1);
}

void CTVXMainWnd::OnResume() {
    OpenSequence();  // does nothing while the controller is stopped
    // Resuming from a pause restarts the background work (when mirroring is
    // still on); the Open sequence alone could not, as the pause stopped it.
    if (Flags().paused.exchange(0) != 0 && MirrorController().IsStopRequested() && MirrorStatus() != 0)
        MirrorController().Start();
}

}  // namespace tvx
