// The notification-area icon and its menu. The main window owns one object
// while "Icon Status" is 1 and hands it the tray's notification messages.
#pragma once

#include <windows.h>

namespace tvx {

class CTVXSystemTray {
public:
    explicit CTVXSystemTray(HWND owner) noexcept : m_owner(owner) {}
    virtual ~CTVXSystemTray();

    CTVXSystemTray(const CTVXSystemTray&) = delete;
    CTVXSystemTray& operator=(const CTVXSystemTray&) = delete;

    // Adds the icon; false when the shell refused it.
    bool Create();
    // Animates the icon: a frame every frameDelay ms, for duration ms (0: no limit).
    void StartAnimation(UINT frameDelay, UINT duration);
    void StopAnimation();
    // Handles WM_TRAYNOTIFY (wParam: icon id, lParam: mouse message).
    LRESULT OnTrayNotification(WPARAM wParam, LPARAM lParam);

    HWND Owner() const noexcept { return m_owner; }

private:
    HWND m_owner;
};

}  // namespace tvx
