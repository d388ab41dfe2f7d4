// The alerts and prompts: one small modal dialog per question, each from its
// own template (res/Prompts.rc). ShowPromptDialog is what the application sets
// as the prompt sink (framework/Prompts.h), so the copy engine and the disk
// checks raise these dialogs on their own thread without knowing them.
//
// What each dialog hands back:
//  - IDOK: go on as the first choice offers; IDCANCEL: not now; 1045 (only
//    the not-my-disk prompt): take the disk in the drive as the program's disk.
//  - The disk prompts that offer "Disable" set the keep-running flag to 1 when
//    their OK handler starts and to 0 when the user chose "Disable".
//  - A dialog with a "Don't show this again" box writes its show-again value
//    on OK: 0 when the box is checked, 1 when not.
//  - The volume-name and password prompts put the typed text in the
//    request's reply.
#pragma once

#include <windows.h>

#include <string>

#include "framework/Prompts.h"

namespace tvx::ui {

// Shows the dialog the request names and returns its result; IDCANCEL for an
// id that is no prompt. owner may be null (a prompt raised on the worker
// must not be owned by a window of the user-interface thread).
INT_PTR ShowPromptDialog(const PromptRequest& request, HWND owner = nullptr);

// The file-error dialog's note for an error number: the string id for "the
// drive cannot be found" (15), "the device is not ready" (21) or a blank.
UINT FileErrorNoteId(DWORD code) noexcept;

// The system's own text for an error number in the user's language, with
// every line feed and carriage return made a blank.
std::wstring SystemErrorText(DWORD code);

// The icon resource of a drive sub-family as the drive library reports it, or
// 0 when the sub-family has no icon.
UINT DriveIconId(int subFamily) noexcept;

}  // namespace tvx::ui
