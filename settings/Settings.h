// The settings store: every value of the options key
//   HKEY_CURRENT_USER\Software\Tavrix Dovetrak 3\User Options
// with one reader and one writer each. Nothing is cached: every call opens
// the key, reads or writes one value (or one pair), and closes it again.
// Every function returns the registry's error code (ERROR_SUCCESS, 0, on
// success).
//
// Readers come in two kinds, as each value's meaning asks:
//  - "zeroing" readers set the out value to 0 before anything else, so a
//    missing key or value reads as 0;
//  - "keeping" readers leave the caller's value as it was when the key or the
//    value is missing or cannot be read.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tvx::settings {

inline constexpr const wchar_t* kOptionsKey = L"Software\\Tavrix Dovetrak 3\\User Options";
inline constexpr const wchar_t* kSpecialKey = L"Software\\Tavrix Dovetrak 3\\Special";
inline constexpr const wchar_t* kDefaultsFileName = L"tvxdt3.reg";

// Value names.
inline constexpr const wchar_t* kDestination = L"Destination";
inline constexpr const wchar_t* kSource = L"Source";
inline constexpr const wchar_t* kFilter = L"Filter";
inline constexpr const wchar_t* kRevisions = L"Revisions";
inline constexpr const wchar_t* kDiskID = L"DiskID";
inline constexpr const wchar_t* kStartTimeLow = L"Start Time Low";
inline constexpr const wchar_t* kStartTimeHigh = L"Start Time High";
inline constexpr const wchar_t* kDiskStartTimeLow = L"Disk Start Time Low";
inline constexpr const wchar_t* kDiskStartTimeHigh = L"Disk Start Time High";
inline constexpr const wchar_t* kIconStatus = L"Icon Status";
inline constexpr const wchar_t* kMirrorStatus = L"Mirror Status";
inline constexpr const wchar_t* kWarningStatus = L"Warning Status";
inline constexpr const wchar_t* kProgressStatus = L"Progress Status";
inline constexpr const wchar_t* kBuyStatus = L"Buy Status";
inline constexpr const wchar_t* k2LargeStatus = L"2Large Status";
inline constexpr const wchar_t* kFileErrorStatus = L"FileError Status";
inline constexpr const wchar_t* kFileNameStatus = L"FileName Status";
inline constexpr const wchar_t* kNotCurrentStatus = L"NotCurrent Status";
inline constexpr const wchar_t* kSchedulerType = L"Scheduler TYP";
inline constexpr const wchar_t* kSchedulerInterval = L"Scheduler INT";
inline constexpr const wchar_t* kSchedulerIntervalUnit = L"Scheduler ITP";
inline constexpr const wchar_t* kSchedulerDays = L"Scheduler DOW";
inline constexpr const wchar_t* kSchedulerTimeOfDay = L"Scheduler TOD";
inline constexpr const wchar_t* kSchedulerLastRun = L"Scheduler LRT";  // + ".Low" / ".High"
inline constexpr const wchar_t* kSchedulerAtShutdown = L"Scheduler ASH";
inline constexpr const wchar_t* kDBReset = L"DBReset";
inline constexpr const wchar_t* kDBSyncFiles = L"DBSyncFiles";
inline constexpr const wchar_t* kDBSyncDests = L"DBSyncDests";

// Revision limit values.
inline constexpr DWORD kRevisionsNone = 0;
inline constexpr DWORD kRevisionsUnlimited = 0xFFFFFFFF;

// Texts: a missing value leaves the text as it was; an empty text is not
// written (the stored value stays). A stored text of 260 or more characters
// does not fit the read buffer: ERROR_MORE_DATA, text unchanged.
LONG ReadDestination(std::wstring& text);
LONG WriteDestination(const std::wstring& text);
LONG ReadDiskID(std::wstring& text);
LONG WriteDiskID(const std::wstring& text);

// Lists: the reader empties the list first; an empty list is not written.
LONG ReadSourceList(std::vector<std::wstring>& list);
LONG WriteSourceList(const std::vector<std::wstring>& list);
LONG ReadFilterList(std::vector<std::wstring>& list);
LONG WriteFilterList(const std::vector<std::wstring>& list);
LONG DeleteFilterList();

// Keeping readers (value unchanged when absent).
LONG ReadRevisions(DWORD& value);
LONG WriteRevisions(DWORD value);
LONG ReadMirrorStatus(DWORD& value);
LONG WriteMirrorStatus(DWORD value);
LONG ReadWarningStatus(DWORD& value);
LONG WriteWarningStatus(DWORD value);
LONG ReadProgressStatus(DWORD& value);
LONG WriteProgressStatus(DWORD value);
LONG ReadBuyStatus(DWORD& value);
LONG WriteBuyStatus(DWORD value);

// Zeroing readers (0 when absent).
LONG ReadIconStatus(DWORD& value);
LONG WriteIconStatus(DWORD value);
LONG Read2LargeStatus(DWORD& value);
LONG Write2LargeStatus(DWORD value);
LONG ReadFileErrorStatus(DWORD& value);
LONG WriteFileErrorStatus(DWORD value);
LONG ReadFileNameStatus(DWORD& value);
LONG WriteFileNameStatus(DWORD value);
LONG ReadNotCurrentStatus(DWORD& value);
LONG WriteNotCurrentStatus(DWORD value);

// 64-bit pairs, low half first. The writer stops at the first failure (so a
// failed high half keeps the new low half); the reader reads the high half
// only when the low half was read, and changes the value only when both were.
LONG ReadStartTime(std::uint64_t& value);
LONG WriteStartTime(std::uint64_t value);
LONG ReadDiskStartTime(std::uint64_t& value);
LONG WriteDiskStartTime(std::uint64_t value);
LONG ReadSchedulerLastRun(std::uint64_t& value);
LONG WriteSchedulerLastRun(std::uint64_t value);

// Generic number accessors by value name (the scheduler values and the
// catalogue's repair counters). The reader is a zeroing reader.
LONG ReadNumber(const wchar_t* name, DWORD& value);
LONG WriteNumber(const wchar_t* name, DWORD value);

// The interval of schedule type 1 in minutes: "Scheduler INT" times 60 when
// "Scheduler ITP" is 1, times 1440 when it is 2, else unchanged. A failed
// read returns its code.
LONG ReadIntervalMinutes(DWORD& minutes);

// 1 when every value the program needs is present; otherwise imports the
// defaults file "tvxdt3.reg" (from the system folder, or when that has none,
// from the program's own folder) when it exists and returns 1 when the
// settings are complete afterwards, else 0.
int CheckSettings();

// Deletes the whole options key (the setup wizard's Cancel).
LONG DeleteOptionsKey();

// Whether HKEY_CURRENT_USER\Software\Tavrix Dovetrak 3\Special can be opened.
bool SpecialKeyExists();

}  // namespace tvx::settings
