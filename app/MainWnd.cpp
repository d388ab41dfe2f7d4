#include "app/MainWnd.h"

#include "app/Messages.h"
#include "app/MirrorController.h"
#include "app/TvxApp.h"
#include "framework/ProcessFlags.h"
#include "framework/Trace.h"
#include "res/resource.h"
#include "settings/Settings.h"
#include "ui/Help.h"
#include "ui/SystemTray.h"
#include "ui/SettingsSheet.h"
#include "ui/UserInterface.h"

namespace tvx {
namespace {

// The tray menu's items are commands of this window.
static_assert(ID_TRAY_OPEN == ID_OPEN && ID_TRAY_CLOSE == ID_CLOSE && ID_TRAY_COPY_CHANGED == ID_COPY_CHANGED &&
              ID_TRAY_COPY_ALL == ID_COPY_ALL && ID_TRAY_HELP == ID_HELP_INDEX && ID_TRAY_ABOUT == ID_APP_ABOUT);

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
            ModalWindowScope modal;
            ui::SettingsOutcome outcome;
            if (modal.Entered() && ui::ShowSettingsSheet(GetSafeHwnd(), &outcome) == IDOK) ApplySettings(outcome);
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

void CTVXMainWnd::ApplySettings(const ui::SettingsOutcome& outcome) {
    if (outcome.iconChanged)
        ::PostMessageW(GetSafeHwnd(), outcome.iconStatus == 1 ? WM_TRAYCREATE : WM_TRAYREMOVE, 0, 0);
    // The worker makes the copy as soon as it starts again (a complete copy
    // when the start stamp was reset).
    if (outcome.copyChanged || outcome.copyAll) MirrorController().SetForcedPass(1);
}

void CTVXMainWnd::CloseSequence() {
    ModalWindowScope modal;
    if (!modal.Entered()) return;
    if (MirrorStatus() != 0) {
        if (ui::AskTurnOff(GetSafeHwnd()) == IDOK) ::PostMessageW(GetSafeHwnd(), WM_CLOSE, 0, 0);
    } else {
        ::PostMessageW(GetSafeHwnd(), WM_CLOSE, 0, 0);
    }
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
    if (CTVXSystemTray* tray = AppTray()) tray->Animate(100, 0);  // a frame every 100 ms while the pass runs
    return 0;
}

LRESULT CTVXMainWnd::OnTrayStop(WPARAM, LPARAM) {
    if (CTVXSystemTray* tray = AppTray()) tray->StopAnimation();
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

// The last pass at shutdown, when the settings ask for it ("Scheduler ASH" 1,
// or "Scheduler TYP" 3). The end of the session is let through and the pass
// runs when the session really ends (WM_ENDSESSION), before this window
// answers: Windows then ends the session the way it was asked to (log off,
// restart or shut down, which no message tells apart), as soon as the pass
// is done. Meanwhile it shows the reason given here to the user, who can end
// the session at once all the same. A request of the restart manager
// (ENDSESSION_CLOSEAPP) does not end the session: the program just closes.
LRESULT CTVXMainWnd::OnQueryEndSession(WPARAM, LPARAM how) {
    if (how & ENDSESSION_CLOSEAPP) return TRUE;
    DWORD atShutdown = 0, type = 0;
    settings::ReadNumber(settings::kSchedulerAtShutdown, atShutdown);
    settings::ReadNumber(settings::kSchedulerType, type);
    m_lastPassDue = type == 3 || atShutdown == 1;
    if (m_lastPassDue && ::ShutdownBlockReasonCreate(GetSafeHwnd(), kShutdownReason)) m_blockReasonSet = true;
    return TRUE;
}

LRESULT CTVXMainWnd::OnEndSession(WPARAM ending, LPARAM how) {
    if (!ending) {
        // Someone refused: the session goes on, and so does the program.
        m_lastPassDue = false;
    } else if (how & ENDSESSION_CLOSEAPP) {
        ::PostMessageW(GetSafeHwnd(), WM_CLOSE, 0, 0);
    } else {
        // A forced end (ENDSESSION_CRITICAL) leaves no time for a pass.
        if (m_lastPassDue && !(how & ENDSESSION_CRITICAL) && Flags().updateAtShutdown.load() == 0) {
            Trace(L"main: the session ends; last pass");
            MirrorController().RunLastPass();
        }
        MirrorController().Stop();
    }
    if (m_blockReasonSet) ::ShutdownBlockReasonDestroy(GetSafeHwnd());
    m_blockReasonSet = false;
    return 0;
}

// ------------------------------------------------------------------ commands

void CTVXMainWnd::OnCopyChanged() { MirrorController().Signal(); }

void CTVXMainWnd::OnCopyAll() { MirrorController().RequestCompleteCopy(); }

void CTVXMainWnd::OnAbout() {
    ModalWindowScope modal;
    if (modal.Entered()) ui::ShowAbout(GetSafeHwnd());
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
