// CTVXFolderWalk: totals the files, folders and bytes below a list of folders
// on a thread of its own (a CTVXOperation), for the folder picker's "Copy
// Size" and the setup wizard.
//
// Protocol (see framework/Tvxop.h for Start, Cancel, IsFinished, GetResult):
//   SetFolders  controlling  Replaces the folders to walk. Refused (false)
//                            while a walk runs: cancel it first.
//   Start       controlling  Zeroes the totals and walks the folders, depth
//                            first, every entry but "." and "..".
//   GetTotals   any thread   The running totals, consistent with each other,
//                            at any moment while the walk runs and after it.
//   Run         operation    0 when every folder was walked (a folder that
//                            cannot be listed, for want of access or of a
//                            disk, simply adds nothing), 995
//                            (ERROR_OPERATION_ABORTED) when cancelled. It polls
//                            IsCancelled at every directory entry.
//
// What is counted: every listed folder that can be opened and every folder
// below it count as folders; every other entry counts as a file with its size
// (64-bit). A folder that is a reparse point (a junction, a symbolic link, a
// mount point) is not entered and not counted: what it points at is counted
// where it lives, if listed, and never twice or in a loop. A listed folder
// inside another listed folder (or listed twice, in any letter case) is
// walked once, with the outer one.
//
// Paths of any length are walked: those beyond the classic limit are reached
// in their "\\?\" form. A drive root may be given as "C:" or "C:\".
#pragma once

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "framework/Tvxop.h"

namespace tvx {

// The form in which Windows takes a path of any length: "\\?\C:\..." or
// "\\?\UNC\server\share\..." for paths near or beyond MAX_PATH; any shorter
// path is returned as it is.
std::wstring ExtendedLengthPath(const std::wstring& path);

// The names of the folders directly inside `folder` (no "." or ".."), sorted
// by name without regard to case; empty when it cannot be listed.
std::vector<std::wstring> ListSubfolders(const std::wstring& folder);

// Compares two names or paths without regard to case (ordinal, not by
// locale): <0, 0, >0.
int CompareNoCase(const std::wstring& a, const std::wstring& b) noexcept;

}  // namespace tvx

class CTVXFolderWalk : public CTVXOperation {
public:
    struct Totals {
        std::uint64_t files = 0;
        std::uint64_t folders = 0;
        std::uint64_t bytes = 0;
    };

    CTVXFolderWalk() = default;
    explicit CTVXFolderWalk(std::vector<std::wstring> folders) : m_folders(std::move(folders)) {}
    ~CTVXFolderWalk() override { Cancel(); }  // Run uses our members: stop it before they go

    bool SetFolders(std::vector<std::wstring> folders);
    Totals GetTotals() const;

    std::int32_t Run() override;

private:
    // Walks one folder tree; false when cancelled.
    bool Walk(const std::wstring& root);
    void Publish(Totals& pending);

    std::vector<std::wstring> m_folders;  // written only while no walk runs
    mutable std::mutex m_totalsLock;
    Totals m_totals;
};
