// The hidden main window: the hub through which other threads and processes
// reach the user-interface thread, always by posting. It receives the tray's
// menu commands, the private messages of the worker thread and of a second
// copy of the program, and the session-end messages.
#pragma once

#include "framework/Window.h"

namespace tvx {
namespace ui {
struct SettingsOutcome;
}

class CTVXMainWnd : public CTVXWnd {
public:
    CTVXMainWnd() = default;

    // The Open sequence: stop the controller, show the settings sheet (or the
    // setup wizard when the settings are incomplete), then start the
    // controller again or end the program when mirroring was turned off.
    void OpenSequence();
    // The Close sequence: ask the turning-off question unless mirroring is
    // already off, and end the program when the user confirms.
    void CloseSequence();

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    struct MessageEntry {
        UINT message;
        LRESULT (CTVXMainWnd::*handler)(WPARAM, LPARAM);
    };
    struct CommandEntry {
        UINT id;
        void (CTVXMainWnd::*handler)();
    };
    static const MessageEntry kMessageTable[];
    static const CommandEntry kCommandTable[];

    // What is left after the settings window closed with OK: the tray icon
    // made or removed, a copy now.
    void ApplySettings(const ui::SettingsOutcome& outcome);

    // Private messages.
    LRESULT OnOpenSettings(WPARAM, LPARAM);
    LRESULT OnTrayCreate(WPARAM, LPARAM);
    LRESULT OnTrayRemove(WPARAM, LPARAM);
    LRESULT OnTrayAnimate(WPARAM, LPARAM);
    LRESULT OnTrayStop(WPARAM, LPARAM);
    LRESULT OnTrayNotify(WPARAM, LPARAM);
    // Platform messages.
    LRESULT OnCommand(WPARAM, LPARAM);
    LRESULT OnClose(WPARAM, LPARAM);
    LRESULT OnDestroy(WPARAM, LPARAM);
    LRESULT OnQueryEndSession(WPARAM, LPARAM);
    LRESULT OnEndSession(WPARAM, LPARAM);
    // Commands.
    void OnCopyChanged();
    void OnCopyAll();
    void OnAbout();
    void OnHelpIndex();
    void OnPause();
    void OnResume();

    bool m_lastPassDue = false;     // the session's end was let through for a last pass
    bool m_blockReasonSet = false;  // Windows shows why the session's end waits
};

}  // namespace tvx
