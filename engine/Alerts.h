// The copy engine's three alerts: a file larger than the whole destination
// medium (dialog 162), a file that could not be copied (dialog 163) and a
// file name too long for numbered revisions (dialog 164).
//
// Every alert goes through RaiseAlert, which applies the rules that all of
// them share:
//  - it is raised only while the modal-window flag is clear (no other window
//    of the program is open); the flag is set while the alert is up and
//    cleared afterwards;
//  - it is shown only when its show-again value in the settings is 1
//    ("2Large Status", "FileError Status", "FileName Status");
//  - either way the caller skips the file: an alert changes nothing else.
//
// Showing goes through a replaceable sink. The dialogs themselves belong to
// the user interface; until one is set, the default sink traces the alert.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace tvx::engine {

inline constexpr int kFileTooLargeAlert = 162;
inline constexpr int kFileErrorAlert = 163;
inline constexpr int kLongNameAlert = 164;

// What an alert shows: its dialog, the path (or destination) it names and,
// for the file error, the Windows error code (0 for the other two).
struct AlertRequest {
    int dialog = 0;
    std::wstring text;
    DWORD code = 0;
};

// Shows one alert and returns when it has been dismissed. Runs on the thread
// that raised the alert (the mirror worker).
using AlertSink = std::function<void(const AlertRequest&)>;

// Replaces the sink and returns the one it replaces. An empty function puts
// the default (trace-only) sink back.
AlertSink SetAlertSink(AlertSink sink);

// Raises an alert under the rules above. Returns 1 when the sink was called,
// 0 when the alert was not raised (modal window open) or not shown (its
// show-again value is not 1, or the dialog id is none of the three).
int RaiseAlert(int dialog, const std::wstring& text, DWORD code = 0);

}  // namespace tvx::engine
