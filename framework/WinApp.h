// Application object and message loop. One object per process: InitInstance
// decides whether the loop runs at all; Run pumps messages until WM_QUIT and
// returns its exit code.
#pragma once

#include <windows.h>

#include <string>

#include "framework/CommandLine.h"

namespace tvx {

class CTVXWnd;

class CTVXWinApp {
public:
    CTVXWinApp();
    virtual ~CTVXWinApp();

    CTVXWinApp(const CTVXWinApp&) = delete;
    CTVXWinApp& operator=(const CTVXWinApp&) = delete;

    // The one application object of the process (or null).
    static CTVXWinApp* Get() noexcept { return s_app; }

    // Runs the application: InitInstance, then the loop, then ExitInstance.
    // Returns the process exit code.
    int Main(HINSTANCE instance, const CommandLineInfo& commandLine);

    HINSTANCE Instance() const noexcept { return m_instance; }
    const CommandLineInfo& CommandLine() const noexcept { return m_commandLine; }
    CTVXWnd* MainWnd() const noexcept { return m_mainWnd; }

protected:
    // Returns true to enter the message loop, false to end at once.
    virtual bool InitInstance() = 0;
    // Called after the loop (or after a false InitInstance); returns the exit code.
    virtual int ExitInstance(int loopExitCode) { return loopExitCode; }

    void SetMainWnd(CTVXWnd* wnd) noexcept { m_mainWnd = wnd; }

private:
    // GetMessage returns -1 on failure; that is not a message and ends the loop.
    int RunMessageLoop() noexcept;

    static CTVXWinApp* s_app;
    HINSTANCE m_instance = nullptr;
    CommandLineInfo m_commandLine;
    CTVXWnd* m_mainWnd = nullptr;
};

}  // namespace tvx
