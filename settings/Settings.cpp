#include "settings/Settings.h"

#include "framework/Handle.h"
#include "settings/MultiSz.h"
#include "settings/OptionsValues.h"

#include <cwchar>
#include <limits>
#include <string_view>

// Values of another type than the one expected (a number stored as text, a
// path stored as REG_EXPAND_SZ, ...) are not readable: the reader answers
// ERROR_UNSUPPORTED_TYPE and goes on as for a missing value (a keeping reader
// keeps, a zeroing reader gives 0, a list stays empty). Converting them would
// hand the caller data that means something other than what it asked for.

namespace tvx::settings {
namespace {

bool Ok(LONG rc) { return rc == ERROR_SUCCESS; }

// Runs `use` on the options key opened for query; fails when the key is
// missing.
template <typename Use>
LONG WithKeyForQuery(Use&& use) {
    HKEY raw = nullptr;
    const LONG rc = ::RegOpenKeyExW(HKEY_CURRENT_USER, kOptionsKey, 0, KEY_QUERY_VALUE, &raw);
    if (!Ok(rc)) return rc;
    const UniqueRegKey key(raw);
    return use(key.Get());
}

// Runs `use` on the options key opened for writing, created when missing.
template <typename Use>
LONG WithKeyForWrite(Use&& use) {
    HKEY raw = nullptr;
    const LONG rc = ::RegCreateKeyExW(HKEY_CURRENT_USER, kOptionsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                      KEY_WRITE, nullptr, &raw, nullptr);
    if (!Ok(rc)) return rc;
    const UniqueRegKey key(raw);
    return use(key.Get());
}

// --- reads and writes on an open key ---------------------------------------

LONG QueryNumber(HKEY key, const wchar_t* name, DWORD& value) {
    DWORD data = 0, type = 0, size = sizeof(data);
    const LONG rc = ::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
    if (!Ok(rc)) return rc;
    if (type != REG_DWORD || size != sizeof(data)) return ERROR_UNSUPPORTED_TYPE;
    value = data;
    return ERROR_SUCCESS;
}

// A text stored without its terminating zero is taken with its stored length;
// one that fills the whole buffer without a zero would not have fitted with
// one, so it counts as too long like any longer text. (Windows hands such a
// text over whole; Wine's registry makes room for a zero itself and already
// answers ERROR_MORE_DATA.)
LONG QueryText(HKEY key, const wchar_t* name, std::wstring& text) {
    wchar_t buffer[values::kTextBufferChars];
    DWORD type = 0, size = sizeof(buffer);
    const LONG rc = ::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    if (!Ok(rc)) return rc;
    if (type != REG_SZ) return ERROR_UNSUPPORTED_TYPE;
    const std::size_t length = ::wcsnlen(buffer, size / sizeof(wchar_t));
    if (length >= values::kTextBufferChars) return ERROR_MORE_DATA;
    text.assign(buffer, length);
    return ERROR_SUCCESS;
}

// The list is only assigned when the whole value was read.
LONG QueryList(HKEY key, const wchar_t* name, std::vector<std::wstring>& list) {
    // The value may grow between asking its size and reading it: ask again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD type = 0, size = 0;
        LONG rc = ::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
        if (!Ok(rc)) return rc;
        if (type != REG_MULTI_SZ) return ERROR_UNSUPPORTED_TYPE;
        std::vector<BYTE> data(size);
        rc = ::RegQueryValueExW(key, name, nullptr, &type, data.data(), &size);
        if (rc == ERROR_MORE_DATA) continue;
        if (!Ok(rc)) return rc;
        if (type != REG_MULTI_SZ) return ERROR_UNSUPPORTED_TYPE;
        list = multisz::ParseBytes<wchar_t>(data.data(), size);
        return ERROR_SUCCESS;
    }
    return ERROR_MORE_DATA;
}

LONG QueryPair(HKEY key, const wchar_t* lowName, const wchar_t* highName, std::uint64_t& value) {
    DWORD low = 0, high = 0;
    LONG rc = QueryNumber(key, lowName, low);
    if (Ok(rc)) rc = QueryNumber(key, highName, high);
    if (Ok(rc)) value = (std::uint64_t{high} << 32) | low;
    return rc;
}

LONG SetValue(HKEY key, const wchar_t* name, DWORD type, const void* data, std::size_t bytes) {
    if (bytes > std::numeric_limits<DWORD>::max()) return ERROR_INVALID_PARAMETER;
    return ::RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(bytes));
}

LONG SetNumber(HKEY key, const wchar_t* name, DWORD value) {
    return SetValue(key, name, REG_DWORD, &value, sizeof(value));
}

// --- the defaults file -------------------------------------------------------

// A folder as one of the Get...DirectoryW functions reports it; empty when
// it cannot be had.
template <typename GetFolder>
std::wstring Folder(GetFolder get) {
    const UINT needed = get(nullptr, 0);  // counts the terminating zero
    if (needed == 0) return {};
    std::wstring folder(needed, L'\0');
    const UINT length = get(folder.data(), needed);
    if (length == 0 || length >= needed) return {};
    folder.resize(length);
    return folder;
}

std::wstring InFolder(std::wstring folder, const wchar_t* file) {
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    return folder + file;
}

// The folder of the running program; empty when it cannot be had.
std::wstring ProgramFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        if (path.size() >= 32768) return {};  // no Windows path is longer
        path.resize(path.size() * 2);
    }
    const std::size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring{} : path.substr(0, slash);
}

bool IsFile(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The defaults file to import: the one in the system folder, where an
// administrator puts it for every user of the machine, else the one beside
// the program, where a per-user installation (which cannot write the system
// folder) puts it. Empty when there is neither.
std::wstring DefaultsFile() {
    for (const std::wstring& folder : {Folder(::GetSystemDirectoryW), ProgramFolder()}) {
        if (folder.empty()) continue;
        std::wstring file = InFolder(folder, kDefaultsFileName);
        if (IsFile(file)) return file;
    }
    return {};
}

// Whether every value the program needs can be read. The one list of them,
// checked before and after the defaults file is imported.
bool SettingsComplete() {
    const LONG rc = WithKeyForQuery([](HKEY key) {
        DWORD number = 0;
        std::wstring text;
        std::vector<std::wstring> list;
        std::uint64_t stamp = 0;
        const bool complete = Ok(QueryNumber(key, k2LargeStatus, number)) &&
                              Ok(QueryText(key, kDestination, text)) &&
                              Ok(QueryText(key, kDiskID, text)) &&
                              Ok(QueryNumber(key, kFileErrorStatus, number)) &&
                              Ok(QueryNumber(key, kFileNameStatus, number)) &&
                              Ok(QueryNumber(key, kIconStatus, number)) &&
                              Ok(QueryNumber(key, kMirrorStatus, number)) &&
                              Ok(QueryNumber(key, kNotCurrentStatus, number)) &&
                              Ok(QueryNumber(key, kRevisions, number)) &&
                              Ok(QueryList(key, kSource, list)) &&
                              Ok(QueryPair(key, kStartTimeLow, kStartTimeHigh, stamp)) &&
                              Ok(QueryNumber(key, kWarningStatus, number));
        return complete ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
    return Ok(rc);
}

// Imports a .reg file with the registry editor and waits until it has ended.
// The editor is started from the Windows folder by its full path, so that no
// program of the same name elsewhere on the search path runs instead. Its
// own report is not relied on: callers check the outcome themselves.
bool ImportRegFile(const std::wstring& file) {
    const std::wstring windows = Folder(::GetSystemWindowsDirectoryW);
    if (windows.empty()) return false;
    const std::wstring editor = InFolder(windows, L"regedit.exe");
    std::wstring commandLine = L"\"" + editor + L"\" /s \"" + file + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(editor.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &info)) {
        return false;
    }
    const UniqueHandle process(info.hProcess);
    const UniqueHandle thread(info.hThread);
    ::WaitForSingleObject(process.Get(), INFINITE);
    return true;
}

// One value of the options key, as stored.
struct StoredValue {
    std::wstring name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

// Every value the options key holds now (none when it is missing).
std::vector<StoredValue> SnapshotOptions() {
    std::vector<StoredValue> values;
    WithKeyForQuery([&](HKEY key) {
        DWORD count = 0, maxName = 0, maxData = 0;
        LONG rc = ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &maxName,
                                     &maxData, nullptr, nullptr);
        if (!Ok(rc)) return rc;
        std::vector<wchar_t> name(maxName + 1);
        std::vector<BYTE> data(maxData);
        for (DWORD i = 0; i < count; ++i) {
            DWORD nameLength = static_cast<DWORD>(name.size()), size = static_cast<DWORD>(data.size()), type = 0;
            rc = ::RegEnumValueW(key, i, name.data(), &nameLength, nullptr, &type, data.data(), &size);
            if (!Ok(rc)) continue;  // changed meanwhile: that value is not kept
            values.push_back({std::wstring(name.data(), nameLength), type,
                              std::vector<BYTE>(data.begin(), data.begin() + size)});
        }
        return ERROR_SUCCESS;
    });
    return values;
}

void RestoreOptions(const std::vector<StoredValue>& values) {
    if (values.empty()) return;
    WithKeyForWrite([&](HKEY key) {
        for (const StoredValue& v : values) SetValue(key, v.name.c_str(), v.type, v.data.data(), v.data.size());
        return ERROR_SUCCESS;
    });
}

}  // namespace

// --- generic accessors --------------------------------------------------------

namespace values {

LONG ReadNumberKept(const wchar_t* name, DWORD& value) {
    return WithKeyForQuery([&](HKEY key) { return QueryNumber(key, name, value); });
}

LONG WriteNumber(const wchar_t* name, DWORD value) {
    return WithKeyForWrite([&](HKEY key) { return SetNumber(key, name, value); });
}

LONG ReadText(const wchar_t* name, std::wstring& text) {
    return WithKeyForQuery([&](HKEY key) { return QueryText(key, name, text); });
}

// An empty text leaves the registry untouched (not even the key is created).
LONG WriteText(const wchar_t* name, const std::wstring& text) {
    if (text.empty()) return ERROR_SUCCESS;
    return WithKeyForWrite([&](HKEY key) {
        return SetValue(key, name, REG_SZ, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    });
}

LONG ReadList(const wchar_t* name, std::vector<std::wstring>& list) {
    list.clear();
    return WithKeyForQuery([&](HKEY key) { return QueryList(key, name, list); });
}

// A list without texts leaves the registry untouched, like an empty text.
LONG WriteList(const wchar_t* name, const std::vector<std::wstring>& list) {
    const std::wstring data = multisz::Serialise(list);
    if (data.empty()) return ERROR_SUCCESS;
    return WithKeyForWrite([&](HKEY key) {
        return SetValue(key, name, REG_MULTI_SZ, data.data(), data.size() * sizeof(wchar_t));
    });
}

LONG ReadPair(const wchar_t* lowName, const wchar_t* highName, std::uint64_t& value) {
    return WithKeyForQuery([&](HKEY key) { return QueryPair(key, lowName, highName, value); });
}

LONG WritePair(const wchar_t* lowName, const wchar_t* highName, std::uint64_t value) {
    return WithKeyForWrite([&](HKEY key) {
        const LONG rc = SetNumber(key, lowName, static_cast<DWORD>(value));
        return Ok(rc) ? SetNumber(key, highName, static_cast<DWORD>(value >> 32)) : rc;
    });
}

LONG DeleteValue(const wchar_t* name) {
    HKEY raw = nullptr;
    const LONG rc = ::RegOpenKeyExW(HKEY_CURRENT_USER, kOptionsKey, 0, KEY_SET_VALUE, &raw);
    if (!Ok(rc)) return rc;
    const UniqueRegKey key(raw);
    return ::RegDeleteValueW(key.Get(), name);
}

}  // namespace values

namespace {

LONG ReadZeroed(const wchar_t* name, DWORD& value) {
    value = 0;
    return values::ReadNumberKept(name, value);
}

constexpr const wchar_t* kLastRunLow = L"Scheduler LRT.Low";
constexpr const wchar_t* kLastRunHigh = L"Scheduler LRT.High";
static_assert(std::wstring_view(kLastRunLow) == std::wstring(kSchedulerLastRun) + L".Low");
static_assert(std::wstring_view(kLastRunHigh) == std::wstring(kSchedulerLastRun) + L".High");

}  // namespace

// --- named accessors ----------------------------------------------------------

LONG ReadDestination(std::wstring& text) { return values::ReadText(kDestination, text); }
LONG WriteDestination(const std::wstring& text) { return values::WriteText(kDestination, text); }
LONG ReadDiskID(std::wstring& text) { return values::ReadText(kDiskID, text); }
LONG WriteDiskID(const std::wstring& text) { return values::WriteText(kDiskID, text); }

LONG ReadSourceList(std::vector<std::wstring>& list) { return values::ReadList(kSource, list); }
LONG WriteSourceList(const std::vector<std::wstring>& list) { return values::WriteList(kSource, list); }
LONG ReadFilterList(std::vector<std::wstring>& list) { return values::ReadList(kFilter, list); }
LONG WriteFilterList(const std::vector<std::wstring>& list) { return values::WriteList(kFilter, list); }
LONG DeleteFilterList() { return values::DeleteValue(kFilter); }

LONG ReadRevisions(DWORD& value) { return values::ReadNumberKept(kRevisions, value); }
LONG WriteRevisions(DWORD value) { return values::WriteNumber(kRevisions, value); }
LONG ReadMirrorStatus(DWORD& value) { return values::ReadNumberKept(kMirrorStatus, value); }
LONG WriteMirrorStatus(DWORD value) { return values::WriteNumber(kMirrorStatus, value); }
LONG ReadWarningStatus(DWORD& value) { return values::ReadNumberKept(kWarningStatus, value); }
LONG WriteWarningStatus(DWORD value) { return values::WriteNumber(kWarningStatus, value); }
LONG ReadProgressStatus(DWORD& value) { return values::ReadNumberKept(kProgressStatus, value); }
LONG WriteProgressStatus(DWORD value) { return values::WriteNumber(kProgressStatus, value); }
LONG ReadBuyStatus(DWORD& value) { return values::ReadNumberKept(kBuyStatus, value); }
LONG WriteBuyStatus(DWORD value) { return values::WriteNumber(kBuyStatus, value); }

LONG ReadIconStatus(DWORD& value) { return ReadZeroed(kIconStatus, value); }
LONG WriteIconStatus(DWORD value) { return values::WriteNumber(kIconStatus, value); }
LONG Read2LargeStatus(DWORD& value) { return ReadZeroed(k2LargeStatus, value); }
LONG Write2LargeStatus(DWORD value) { return values::WriteNumber(k2LargeStatus, value); }
LONG ReadFileErrorStatus(DWORD& value) { return ReadZeroed(kFileErrorStatus, value); }
LONG WriteFileErrorStatus(DWORD value) { return values::WriteNumber(kFileErrorStatus, value); }
LONG ReadFileNameStatus(DWORD& value) { return ReadZeroed(kFileNameStatus, value); }
LONG WriteFileNameStatus(DWORD value) { return values::WriteNumber(kFileNameStatus, value); }
LONG ReadNotCurrentStatus(DWORD& value) { return ReadZeroed(kNotCurrentStatus, value); }
LONG WriteNotCurrentStatus(DWORD value) { return values::WriteNumber(kNotCurrentStatus, value); }

LONG ReadStartTime(std::uint64_t& value) { return values::ReadPair(kStartTimeLow, kStartTimeHigh, value); }
LONG WriteStartTime(std::uint64_t value) { return values::WritePair(kStartTimeLow, kStartTimeHigh, value); }
LONG ReadDiskStartTime(std::uint64_t& value) {
    return values::ReadPair(kDiskStartTimeLow, kDiskStartTimeHigh, value);
}
LONG WriteDiskStartTime(std::uint64_t value) {
    return values::WritePair(kDiskStartTimeLow, kDiskStartTimeHigh, value);
}
LONG ReadSchedulerLastRun(std::uint64_t& value) {
    return values::ReadPair(kLastRunLow, kLastRunHigh, value);
}
LONG WriteSchedulerLastRun(std::uint64_t value) {
    return values::WritePair(kLastRunLow, kLastRunHigh, value);
}

LONG ReadNumber(const wchar_t* name, DWORD& value) { return ReadZeroed(name, value); }
LONG WriteNumber(const wchar_t* name, DWORD value) { return values::WriteNumber(name, value); }

// A product too large for 32 bits is held at the largest number rather than
// wrapping round to a short interval.
LONG ReadIntervalMinutes(DWORD& minutes) {
    LONG rc = ReadNumber(kSchedulerInterval, minutes);
    if (!Ok(rc)) return rc;
    DWORD unit = 0;
    rc = ReadNumber(kSchedulerIntervalUnit, unit);
    if (!Ok(rc)) return rc;
    const DWORD factor = unit == 1 ? 60 : unit == 2 ? 1440 : 1;
    constexpr DWORD kMax = std::numeric_limits<DWORD>::max();
    minutes = minutes > kMax / factor ? kMax : minutes * factor;
    return ERROR_SUCCESS;
}

// The defaults fill the gaps only: the values the user already has are put
// back after the import, so one missing value does not cost the user the
// chosen folders, destination and disk. The registry editor's own answer is
// not trusted either: after the import the values are checked again, and only
// complete settings give 1.
int CheckSettings() {
    if (SettingsComplete()) return 1;
    const std::wstring file = DefaultsFile();
    if (file.empty()) return 0;
    const std::vector<StoredValue> before = SnapshotOptions();
    if (!ImportRegFile(file)) return 0;
    RestoreOptions(before);
    return SettingsComplete() ? 1 : 0;
}

LONG DeleteOptionsKey() { return ::RegDeleteTreeW(HKEY_CURRENT_USER, kOptionsKey); }

bool SpecialKeyExists() {
    HKEY raw = nullptr;
    if (!Ok(::RegOpenKeyExW(HKEY_CURRENT_USER, kSpecialKey, 0, KEY_READ, &raw))) return false;
    const UniqueRegKey key(raw);
    return true;
}

}  // namespace tvx::settings
