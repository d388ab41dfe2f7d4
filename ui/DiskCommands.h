// What the settings page does with the disk in its destination drive: protect
// it, lift the protection, show which, and rename the volume. Each takes the
// page's window as owner and the drive letter the page shows, and reports
// nothing back: the page reads the drive again afterwards.
#pragma once

#include <windows.h>

namespace tvx::ui {

// The drive library's protect dialog for the disk in the drive; nothing
// without a disk. The library's dialogs are owned by the active window, which
// is the page's while the page runs them.
void ProtectDiskCommand(HWND owner, wchar_t letter);
// The drive library's unprotect dialog for the disk in the drive; nothing
// without a disk.
void UnprotectDiskCommand(HWND owner, wchar_t letter);
// The picture the page shows for the drive: IDB_PROTECTED for a protected
// disk, IDB_UNPROTECTED otherwise (no disk included).
UINT ProtectionPictureId(wchar_t letter);
// Asks for a new volume name (dialog 198, the current label filled in) and
// sets it. While the system refuses, dialog 199 says why (the system's text
// for the error, or "no disk" when the drive is empty) and Retry tries again.
void RenameVolumeCommand(HWND owner, wchar_t letter);

}  // namespace tvx::ui
