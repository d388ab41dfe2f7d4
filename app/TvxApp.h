// The application object: decides at start what the program does (hand over
// to a running copy, restore or create the settings, show the setup wizard or
// the settings sheet, start the background work, or end at once), and owns the
// main window and the tray icon. It makes the drive-array lock when it starts
// (media/DriveArray.h keeps it).
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "framework/Handle.h"
#include "framework/WinApp.h"

namespace tvx {

class CTVXMainWnd;
class CTVXSystemTray;

class CTVXApp : public CTVXWinApp {
public:
    CTVXApp();
    ~CTVXApp() override;

    static CTVXApp* Get() noexcept { return static_cast<CTVXApp*>(CTVXWinApp::Get()); }

    CTVXMainWnd* MainWindow() const noexcept { return m_mainWnd.get(); }
    HWND MainHwnd() const noexcept;

    // The tray icon object, or null while the icon is off.
    CTVXSystemTray* Tray() const noexcept { return m_tray.get(); }
    // Creates the tray object and its icon unless one exists.
    void CreateTray();
    // Destroys the tray object, if any.
    void RemoveTray() noexcept;

    // The setup wizard and what it chose, written to the settings on OK.
    void RunFirstRunSequence();

protected:
    bool InitInstance() override;
    int ExitInstance(int loopExitCode) override;

private:
    bool CreateMainWindow();

    std::unique_ptr<CTVXMainWnd> m_mainWnd;
    std::unique_ptr<CTVXSystemTray> m_tray;
    bool m_oleInitialized = false;
};

}  // namespace tvx
