// The application object: decides at start what the program does (hand over
// to a running copy, restore or create the settings, show the setup wizard or
// the settings sheet, start the background work, or end at once), and owns the
// main window, the tray icon and the copy progress window. It makes the
// drive-array lock when it starts (media/DriveArray.h keeps it).
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "framework/Handle.h"
#include "framework/WinApp.h"

namespace tvx {

class CTVXMainWnd;
class CTVXSystemTray;
namespace ui {
class CTVXProgressWindow;
struct ProgressSource;
}  // namespace ui

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
    // Hands the mirror controller the progress window, which it shows on its
    // worker thread while a pass copies (the window runs on threads of its
    // own).
    void ConnectProgressWindow();

    std::unique_ptr<CTVXMainWnd> m_mainWnd;
    std::unique_ptr<CTVXSystemTray> m_tray;
    // The window reads the copy through the source: the source goes last.
    std::unique_ptr<ui::ProgressSource> m_progressSource;
    std::unique_ptr<ui::CTVXProgressWindow> m_progress;
    bool m_oleInitialized = false;
};

}  // namespace tvx
