// The rules of the settings windows that need no window: the ranges the
// number fields are kept in, the schedule's day bits, how the revisions
// choice is stored, and which source folders cannot go with a destination.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace tvx::ui {

// A number typed into the revisions limit, kept in 1 to 99 (empty or 0
// gives 1); the interval likewise in 1 to 999.
DWORD ClampRevisionLimit(const std::wstring& text);
DWORD ClampInterval(const std::wstring& text);

// The revisions choice: radio 0 keeps none, 1 keeps all, 2 keeps the limit.
enum class RevisionChoice { kNone = 0, kUnlimited = 1, kLimited = 2 };
DWORD RevisionsValue(RevisionChoice choice, DWORD limit);
// The choice and the limit that show a stored value (the limit 5 unless a
// limit is stored).
RevisionChoice RevisionChoiceOf(DWORD stored);
DWORD RevisionLimitOf(DWORD stored);

// "Scheduler DOW": bit 0 Sunday to bit 6 Saturday. A day box that becomes
// checked sets its bit; one that becomes clear flips it.
DWORD DayBitsAfterClick(DWORD bits, int day, bool checked);

// The destination as the root of its drive: "E:" gives "E:\", a longer
// text is cut to its first three characters.
std::wstring DestinationRoot(const std::wstring& destination);

// Why a source folder cannot be backed up onto the destination, or
// kNoConflict. `destinationPaths` are every path under which the
// destination's volume is reached (its drive root and any folder it is
// mounted on), `sourceVolume` and `destinationVolume` the volumes' names
// ("\\?\Volume{...}\", empty when unknown).
enum class SourceConflict {
    kNoConflict,
    kSameDrive,      // the same drive letter, volume or network share
    kInsideBackup,   // the source is, or lies below, the destination
    kHoldsBackup,    // the destination lies inside the source
};
SourceConflict CheckSource(const std::wstring& source, const std::wstring& destination,
                           const std::vector<std::wstring>& destinationPaths = {},
                           const std::wstring& sourceVolume = {}, const std::wstring& destinationVolume = {});

// The same check, with the volumes and mount points asked of the system.
SourceConflict CheckSourceOnThisSystem(const std::wstring& source, const std::wstring& destination);

// "\\server\share" of a network path, in lower case; empty for a local one.
std::wstring ShareOf(const std::wstring& uncPath);

}  // namespace tvx::ui
