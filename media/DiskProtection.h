// Write protection around a copy. A user who protects the backup disk is not
// made to unprotect it for every pass: before a pass the program offers to
// lift the protection for the time of the pass (asking for the password
// where there is one) and puts it back afterwards with the same state and
// password; a new disk that replaces a full one is asked about the same way,
// and a full disk gets its protection back before it is ejected.
//
// What must be restored (the state and the password) is kept in memory only,
// from the lift until the protection is back, and the password is then
// wiped. All of this runs on the mirror worker; nothing else touches it.
#pragma once

#include <windows.h>

#include <string>

#include "media/Praxon.h"

namespace tvx::media {

// Forgets a lift left over from an earlier pass (the disk check's start).
void ForgetLiftedProtection();
// Whether the program lifted a protection that it must put back.
bool ProtectionLifted();

// Before a pass, on the program's own disk: 1 when the pass may copy (the
// disk is writable, or the user had its protection lifted), 0 when not (the
// user declined, another window of the program is open, or the disk is
// write-protected by itself). A wrong password asks again.
int LiftProtectionForPass(Praxon::Drive& drive);

// After a disk exchange, on the new disk in the destination drive: 0 when it
// is writable (or was made so), ERROR_OPERATION_ABORTED when the user
// declined or the disk cannot be written. The caller holds the modal-window
// flag.
DWORD MakeNewDiskWritable();

// Before a full disk is ejected: puts back a protection lifted for it.
void RestoreProtectionBeforeEject(Praxon::Drive& drive);

// After a pass: puts back a protection lifted for it, once no other program
// holds the volume (or after 30 s of trying, in any case).
void RestoreProtectionAfterPass(const std::wstring& destination);

}  // namespace tvx::media
