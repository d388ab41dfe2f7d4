// The drive library's own dialogs: protecting the disk in a drive against
// writes, and lifting that protection. Each shows its dialog modally, owned
// by the calling thread's active window, and returns IDOK when the disk's
// protection changed, IDCANCEL when it did not (cancelled, or nothing to do:
// the dialog then said why).
//
// Protecting asks for a password twice (both empty: no password). After the
// disk is protected, a disk that Windows did not make read-only for every
// program gets a notice saying so: then only this program keeps off it.
// Unprotecting asks for the password; a disk protected without one needs
// none. A disk that is write-protected by its switch or by the system cannot
// be unprotected here, and the dialogs say so.
//
// The flags and pointers are accepted for the callers' sake and unused.
#pragma once

#include <windows.h>

#include "media/Praxon.h"

namespace PraxonUI {

int protect(Praxon::Drive& drive, bool unused = true);
int unprotect(Praxon::Drive& drive, bool unused1 = false, bool unused2 = true, void* unused3 = nullptr,
              void* unused4 = nullptr);

}  // namespace PraxonUI
