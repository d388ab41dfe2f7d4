// The notification-area icon, its animation while a pass copies, and its
// right-click menu. The main window owns one object while "Icon Status" is 1
// and hands it the icon's mouse events; the commands of the menu arrive back
// at the main window as WM_COMMAND.
//
// The object is a hidden window of its own (a top-level popup, so that it can
// own the animation timer and hear the shell's "TaskbarCreated" broadcast,
// after which the icon is added again). Everything here runs on the thread
// that created it; other threads reach it only by posting to the main window.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <cstddef>
#include <string>
#include <vector>

#include "framework/Handle.h"
#include "framework/Window.h"

namespace tvx {

class CTVXSystemTray : public CTVXWnd {
public:
    // The animation timer's id: the tray window's only timer, which exists
    // only while an animation runs.
    static constexpr UINT_PTR kAnimationTimer = 207217;

    CTVXSystemTray() = default;
    // Removes the icon, destroys the window and frees the frames.
    ~CTVXSystemTray() override;

    // Makes the hidden window and adds the icon (icon resource iconId, shown
    // while no animation runs) with the tip. The icon's mouse events arrive
    // at parent (the tray's own window without one) as callbackMessage, with
    // the id in wParam and the mouse message in lParam; the menu is the menu
    // resource of the same id. False when the shell refused the icon: every
    // later icon operation then does nothing.
    bool Create(HWND parent, UINT callbackMessage, const std::wstring& tip, UINT iconId, UINT id);
    // Takes the icon out of the notification area for good.
    void RemoveIcon() noexcept;
    // Shows the icon (not owned; it must live while it is shown).
    bool SetIcon(HICON icon) noexcept;
    // The icon shown; null while there is none.
    HICON GetIcon() const noexcept;
    bool IsEnabled() const noexcept { return m_enabled; }

    // Loads the animation frames: icon resources firstId to lastId, in order.
    // A missing resource is left out. False (and nothing changes) when
    // firstId is greater than lastId. A running animation is stopped first.
    bool SetIconList(UINT firstId, UINT lastId);
    std::size_t FrameCount() const noexcept { return m_frames.size(); }
    HICON Frame(std::size_t index) const noexcept;

    // Shows the next frame every delay ms, for periodSeconds (0 or less: until
    // stopped). A running animation is stopped first; the icon shown now is
    // the one restored at the end. False when the icon is off or the timer
    // could not start.
    bool Animate(UINT delay, int periodSeconds);
    // Shows the frame after the current one (the first after Animate is the
    // second of the list), wrapping at the end. False without frames.
    bool StepAnimation() noexcept;
    // Ends the animation and shows the icon from before it again. False when
    // no animation ran.
    bool StopAnimation() noexcept;
    bool IsAnimating() const noexcept { return m_timer != 0; }

    // The item drawn bold and run by a double-click: a command id, or a
    // position in the menu's popup. False when the menu cannot be loaded.
    bool SetMenuDefaultItem(UINT item, bool byPosition);

    // The icon's mouse events: a right-button release shows the menu, a
    // double-click runs the default item. 0 when wParam is not this icon's id
    // (or the menu cannot be loaded), else 1. The object may be destroyed
    // while the menu or the command runs (the icon turned off meanwhile).
    LRESULT OnTrayNotification(WPARAM wParam, LPARAM lParam);

    // The menu's popup as a right-click shows it: the default item marked,
    // and every item grayed while the program's state allows no command (one
    // of its own windows is open, the progress window is up, or it is
    // paused). Null when the menu cannot be loaded.
    UniqueMenu PrepareMenu() const;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    bool AddIcon() noexcept;
    void OnTimer() noexcept;
    void OnTaskbarCreated() noexcept;
    HWND Receiver() const noexcept { return m_data.hWnd; }
    bool ShowMenu();
    bool RunDefaultItem();

    NOTIFYICONDATAW m_data = {};
    bool m_enabled = false;
    UniqueIcon m_restingIcon;
    std::vector<UniqueIcon> m_frames;  // in resource order
    std::size_t m_currentFrame = 0;
    UINT_PTR m_timer = 0;
    ULONGLONG m_animationStart = 0;
    int m_period = 0;
    HICON m_savedIcon = nullptr;
    UINT m_defaultItem = static_cast<UINT>(-1);  // none
    bool m_defaultByPosition = false;
    UINT m_taskbarCreated = 0;
};

}  // namespace tvx
