// The destination disk around a mirror pass: the check before copying, the
// fill warning and the step after the copy.
//
// Today these know the destinations that are not drives of the disk maker
// ("DiskID" beginning with "NotTavrix"): there is no disk identity to check,
// so the check answers "go". The maker's drives (identity, prompts, write
// protection) come with the drive library.
#pragma once

namespace tvx::media {

// 1: the program's disk is ready in the destination drive, copy; 0: do not.
int CheckDestinationDisk();

// After a copy: warns when the disk is getting full (nothing yet).
void RunFillWarning();

// After a copy: puts back a write protection lifted for it (nothing yet).
void RunAfterPass();

}  // namespace tvx::media
