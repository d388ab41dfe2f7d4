// The destination disk around a mirror pass: the check before copying, the
// fill warning and the step after the copy.
//
// The check works on the pass's own copy of the destination and may rewrite
// it (the program's disk found under another drive letter): the pass copies
// to the destination the check leaves. It raises its prompts through the
// prompt seam (framework/Prompts.h) under the modal-window rule, and reads
// the keep-running flag after each.
//
// Today these know the destinations that are not drives of the disk maker
// ("DiskID" beginning with "NotTavrix"): there is no disk identity to check,
// so the check answers "go". The maker's drives (identity, prompts, write
// protection) come with the drive library.
#pragma once

#include <windows.h>

#include <string>

namespace tvx::media {

// What the disk check, the fill warning and the after-pass step work on.
struct DiskCheckContext {
    std::wstring destination;  // in/out: the destination path of the pass
    DWORD warningStatus = 0;   // 1: ask when the disk is missing or wrong
};

// 1: the program's disk is ready in the destination drive, copy to
// context.destination; 0: do not copy now.
int CheckDestinationDisk(DiskCheckContext& context);

// After a copy: warns when the disk is getting full (nothing yet).
void RunFillWarning(const DiskCheckContext& context);

// After a copy: puts back a write protection lifted for it (nothing yet).
void RunAfterPass(const DiskCheckContext& context);

}  // namespace tvx::media
