// The destination disk around a mirror pass: the check before copying, the
// fill warning and the step after the copy.
//
// The check works on the pass's own copy of the destination and may rewrite
// it (the program's disk found under another drive letter): the pass copies
// to the destination the check leaves. It raises its prompts through the
// prompt seam (framework/Prompts.h) under the modal-window rule, and reads
// the keep-running flag after each.
//
// Destinations that are not drives of the program ("DiskID" beginning with
// "NotTavrix") have no identity to check: the check answers "go". For the
// program's drives only the program's own disk is ever written to: the disk
// whose identity (media/Praxon.h) is "DiskID", followed to whatever drive
// letter it has now; a first disk is adopted after asking, another disk or
// none makes the check ask the user (or, with warnings off, answer "not now"
// silently).
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace tvx::media {

// What the disk check, the fill warning and the after-pass step work on.
struct DiskCheckContext {
    std::wstring destination;  // in/out: the destination path of the pass
    DWORD warningStatus = 0;   // 1: ask when the disk is missing or wrong
    // True once the pass is asked to stop: the check then stops asking.
    std::function<bool()> stopRequested{};
};

// 1: the program's disk is ready in the destination drive, copy to
// context.destination; 0: do not copy now.
int CheckDestinationDisk(DiskCheckContext& context);

// After a copy: warns when the disk is getting full (nothing yet).
void RunFillWarning(const DiskCheckContext& context);

// After a copy: puts back a write protection lifted for it (nothing yet).
void RunAfterPass(const DiskCheckContext& context);

}  // namespace tvx::media
