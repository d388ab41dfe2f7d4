// The settings window: the program's control panel. A dialog with the
// program's look holds a property sheet with three pages, General (what is
// copied, where to, on or off), Advanced (revisions, tray icon, file types
// left out, warnings) and Scheduling (when copies are made, a copy now).
//
// The window keeps its own copy of the settings while it is open and writes
// them on OK; only the schedule's day boxes and the file-type list are
// stored the moment they change, as their controls promise. The worker is
// stopped while the window is open (the application sees to that), so the
// window may use the drive library and the disk commands freely.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace tvx::ui {

// The settings the window shows and writes.
struct SettingsFields {
    std::vector<std::wstring> sources;
    std::wstring destination;   // "E:\"
    std::wstring diskId;        // "0" when no disk was read
    DWORD mirrorOn = 0;
    DWORD revisions = 0;        // 0 none, all bits set unlimited, else the limit
    DWORD warnNoDisk = 0;
    DWORD iconStatus = 0;
    DWORD buyStatus = 0;
    DWORD progressStatus = 0;
};

// The Scheduling page's values.
struct ScheduleFields {
    DWORD type = 0;          // 0 on every save, 1 every interval, 2 on days at a time
    DWORD interval = 1;
    DWORD unit = 0;          // 0 minutes, 1 hours
    DWORD days = 0;          // bit 0 Sunday .. bit 6 Saturday
    DWORD timeOfDay = 0;     // hour * 60 + minute
    DWORD atShutdown = 0;
};

// What the application does after the window closed with OK.
struct SettingsOutcome {
    bool iconChanged = false;  // create or remove the tray icon as iconStatus says
    DWORD iconStatus = 0;
    bool copyChanged = false;  // one pass now
    bool copyAll = false;      // a complete copy now (the start stamp is already 0)
};

SettingsFields LoadSettingsFields();

// Opens the window (after the splash) and, on OK, writes what the user chose
// and asks about turning the program off. IDOK or IDCANCEL; the outcome (may
// be null) says what is left for the application.
INT_PTR RunSettingsWindow(HWND owner, SettingsOutcome* outcome);

}  // namespace tvx::ui
