// Drives the real Dovetrak3.exe from outside, the way Windows and a user do:
// starts it, finds its hidden main window by class name, posts commands and
// private messages, watches its debug output, lists and clicks dialogs, and
// takes screenshots. Used by the end-to-end tests and by tvxauto.exe.
#pragma once

#include <windows.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "framework/Handle.h"

namespace tvx::test {

// Folder of the running executable (build/win/bin), no trailing backslash.
std::wstring ExecutableFolder();

// Polls until done() holds; false when the time ran out first.
template <typename Done>
bool WaitUntil(Done done, DWORD milliseconds, DWORD pollMs = 20) {
    const ULONGLONG end = ::GetTickCount64() + milliseconds;
    while (!done()) {
        if (::GetTickCount64() >= end) return false;
        ::Sleep(pollMs);
    }
    return true;
}

// A started program. The destructor ends it if it still runs.
class ProgramProcess {
public:
    ProgramProcess() = default;
    ~ProgramProcess();
    ProgramProcess(const ProgramProcess&) = delete;
    ProgramProcess& operator=(const ProgramProcess&) = delete;

    // Starts exe with the given argument text; false when CreateProcess failed.
    bool Start(const std::wstring& exe, const std::wstring& arguments);
    // True when the process ended within the time; the exit code is kept.
    bool WaitExit(DWORD milliseconds);
    bool IsRunning() const;
    DWORD ExitCode() const;
    DWORD Id() const noexcept { return m_id; }
    HANDLE Handle() const noexcept { return m_process.Get(); }
    void Terminate();

private:
    UniqueHandle m_process;
    DWORD m_id = 0;
};

// Polls FindWindowW until the window exists or the time is up (null then).
HWND WaitForWindow(const wchar_t* className, const wchar_t* title, DWORD milliseconds);
// Polls until no window of the class exists; true when it went.
bool WaitForNoWindow(const wchar_t* className, DWORD milliseconds);

// One top-level window as a list shows it.
struct WindowInfo {
    HWND hwnd = nullptr;
    DWORD processId = 0;
    std::wstring className;
    std::wstring title;
    bool visible = false;
};
std::vector<WindowInfo> ListTopLevelWindows(DWORD processId /* 0: all */);

// Polls until the process shows a dialog (a visible window of class #32770)
// that has a control with the id; null when none came within the time.
HWND WaitForDialogWithControl(DWORD processId, int controlId, DWORD milliseconds);

// The visible child dialog of a window (the page a wizard shows now), or null.
HWND VisibleChildDialog(HWND parent);

// Posts WM_COMMAND with BN_CLICKED for the control id, as a click does.
bool ClickButton(HWND dialog, int controlId);

// Saves the whole screen (the Wine desktop) as a 24-bit BMP file.
bool SaveScreenshot(const std::wstring& path);
// Saves the screen as build/win/screenshots/NAME-<DPI>dpi.bmp (the folder is made).
bool SaveNamedScreenshot(const std::wstring& name);

// Collects the debug output (OutputDebugString) of every process in the
// session while it exists. Only one monitor can run at a time.
class DebugMonitor {
public:
    DebugMonitor();
    ~DebugMonitor();
    DebugMonitor(const DebugMonitor&) = delete;
    DebugMonitor& operator=(const DebugMonitor&) = delete;

    bool IsActive() const noexcept { return m_active; }
    // True when a line of the process (0: any) containing text arrived within the time.
    bool WaitFor(const std::wstring& text, DWORD processId, DWORD milliseconds);
    bool Saw(const std::wstring& text, DWORD processId = 0);
    std::vector<std::wstring> Lines(DWORD processId = 0);
    void Clear();

private:
    void Listen() noexcept;

    UniqueHandle m_bufferReady;
    UniqueHandle m_dataReady;
    UniqueHandle m_mapping;
    void* m_view = nullptr;
    bool m_active = false;
    volatile bool m_stop = false;
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<std::pair<DWORD, std::wstring>> m_lines;
};

// Registry helpers for the current user's options key.
namespace reg {
LONG DeleteTree(HKEY root, const wchar_t* subKey);
LONG SetDword(HKEY root, const wchar_t* subKey, const wchar_t* name, DWORD value);
LONG SetString(HKEY root, const wchar_t* subKey, const wchar_t* name, const std::wstring& value);
LONG SetMultiString(HKEY root, const wchar_t* subKey, const wchar_t* name, const std::vector<std::wstring>& list);
bool ValueExists(HKEY root, const wchar_t* subKey, const wchar_t* name);
// Imports a .reg file with the system's registry editor ("regedit /s") and
// waits for it; false when the editor could not be started.
bool Import(const std::wstring& regFile);
}  // namespace reg

}  // namespace tvx::test
