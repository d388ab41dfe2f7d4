// The copy engine's three alerts: a file larger than the whole destination
// medium (dialog 162), a file that could not be copied (dialog 163) and a
// file name too long for numbered revisions (dialog 164).
//
// Every alert goes through RaiseAlert, which applies the rules that all of
// them share:
//  - it is raised only while the modal-window flag is clear (no other window
//    of the program is open); the flag is held while the alert is up;
//  - it is shown only when its show-again value in the settings is 1
//    ("2Large Status", "FileError Status", "FileName Status");
//  - either way the caller skips the file: an alert changes nothing else.
//
// The dialog itself is shown through the prompt seam (framework/Prompts.h).
#pragma once

#include <windows.h>

#include <string>

namespace tvx::engine {

inline constexpr int kFileTooLargeAlert = 162;
inline constexpr int kFileErrorAlert = 163;
inline constexpr int kLongNameAlert = 164;

// Raises an alert under the rules above: `text` is the path (or the
// destination) it names, `code` the Windows error code for the file error (0
// for the other two). Returns 1 when the prompt was shown, 0 when the alert
// was not raised (modal window open) or not shown (its show-again value is
// not 1, or the dialog id is none of the three).
int RaiseAlert(int dialog, const std::wstring& text, DWORD code = 0);

}  // namespace tvx::engine
