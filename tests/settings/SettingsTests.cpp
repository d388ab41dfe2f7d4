// The value accessors of the options key, against the registry of the test
// prefix.
#include "settings/OptionsValues.h"
#include "settings/Settings.h"
#include "tests/settings/RegistryTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace tvx::settings::testing {
namespace {

using List = std::vector<std::wstring>;

struct NumberValue {
    const wchar_t* name;
    LONG (*read)(DWORD&);
    LONG (*write)(DWORD);
    bool zeroing;  // a missing value reads as 0 rather than leaving the caller's
};

const NumberValue kNumbers[] = {
    {kRevisions, ReadRevisions, WriteRevisions, false},
    {kMirrorStatus, ReadMirrorStatus, WriteMirrorStatus, false},
    {kWarningStatus, ReadWarningStatus, WriteWarningStatus, false},
    {kProgressStatus, ReadProgressStatus, WriteProgressStatus, false},
    {kBuyStatus, ReadBuyStatus, WriteBuyStatus, false},
    {kIconStatus, ReadIconStatus, WriteIconStatus, true},
    {k2LargeStatus, Read2LargeStatus, Write2LargeStatus, true},
    {kFileErrorStatus, ReadFileErrorStatus, WriteFileErrorStatus, true},
    {kFileNameStatus, ReadFileNameStatus, WriteFileNameStatus, true},
    {kNotCurrentStatus, ReadNotCurrentStatus, WriteNotCurrentStatus, true},
};

// Numbers reached through the generic accessors (zeroing reader).
const wchar_t* const kNamedNumbers[] = {kSchedulerType, kSchedulerInterval,  kSchedulerIntervalUnit,
                                        kSchedulerDays, kSchedulerTimeOfDay, kSchedulerAtShutdown,
                                        kDBReset,       kDBSyncFiles,        kDBSyncDests};

struct PairValue {
    const wchar_t* low;
    const wchar_t* high;
    LONG (*read)(std::uint64_t&);
    LONG (*write)(std::uint64_t);
};

const PairValue kPairs[] = {
    {kStartTimeLow, kStartTimeHigh, ReadStartTime, WriteStartTime},
    {kDiskStartTimeLow, kDiskStartTimeHigh, ReadDiskStartTime, WriteDiskStartTime},
    {L"Scheduler LRT.Low", L"Scheduler LRT.High", ReadSchedulerLastRun, WriteSchedulerLastRun},
};

DWORD StoredDword(const wchar_t* name) {
    const RawValue raw = GetRaw(name);
    EXPECT_EQ(ERROR_SUCCESS, raw.rc) << "value " << name;
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), raw.type) << "value " << name;
    DWORD value = 0;
    if (raw.data.size() == sizeof(value)) std::memcpy(&value, raw.data.data(), sizeof(value));
    return value;
}

using RoundTrip = SettingsTest;

// Distinct values are all written before any is read, so that two accessors
// sharing a name, or a reader on the wrong name, would show.
TEST_F(RoundTrip, EveryNumberRoundTripsUnderItsOwnName) {
    DWORD next = 0xA0000000;
    for (const auto& v : kNumbers) ASSERT_EQ(ERROR_SUCCESS, v.write(next++)) << v.name;
    for (const wchar_t* name : kNamedNumbers) ASSERT_EQ(ERROR_SUCCESS, WriteNumber(name, next++)) << name;

    next = 0xA0000000;
    for (const auto& v : kNumbers) {
        DWORD value = 1;
        EXPECT_EQ(ERROR_SUCCESS, v.read(value)) << v.name;
        EXPECT_EQ(next, value) << v.name;
        EXPECT_EQ(next++, StoredDword(v.name));
    }
    for (const wchar_t* name : kNamedNumbers) {
        DWORD value = 1;
        EXPECT_EQ(ERROR_SUCCESS, ReadNumber(name, value)) << name;
        EXPECT_EQ(next++, value) << name;
    }
}

TEST_F(RoundTrip, EveryPairIsStoredAsLowAndHighHalves) {
    std::uint64_t next = 0x01D9'8A3C'5E7F'1200;
    for (const auto& p : kPairs) ASSERT_EQ(ERROR_SUCCESS, p.write(next++)) << p.low;

    next = 0x01D9'8A3C'5E7F'1200;
    for (const auto& p : kPairs) {
        std::uint64_t value = 1;
        EXPECT_EQ(ERROR_SUCCESS, p.read(value)) << p.low;
        EXPECT_EQ(next, value) << p.low;
        EXPECT_EQ(static_cast<DWORD>(next), StoredDword(p.low));
        EXPECT_EQ(static_cast<DWORD>(next >> 32), StoredDword(p.high));
        ++next;
    }
}

TEST_F(RoundTrip, TextsAreStoredWithTheirTerminatingZero) {
    const std::wstring disk = L"Dovetrak \u00e9\u00e8 4F2A-11C0";
    ASSERT_EQ(ERROR_SUCCESS, WriteDestination(L"E:\\"));
    ASSERT_EQ(ERROR_SUCCESS, WriteDiskID(disk));

    std::wstring text;
    EXPECT_EQ(ERROR_SUCCESS, ReadDestination(text));
    EXPECT_EQ(L"E:\\", text);
    EXPECT_EQ(ERROR_SUCCESS, ReadDiskID(text));
    EXPECT_EQ(disk, text);

    const RawValue raw = GetRaw(kDiskID);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), raw.type);
    ASSERT_EQ((disk.size() + 1) * sizeof(wchar_t), raw.data.size());
    EXPECT_EQ(0, raw.data[raw.data.size() - 1] | raw.data[raw.data.size() - 2]);
}

TEST_F(RoundTrip, ListsKeepTheirOrderAndEndWithTwoZeros) {
    const List sources{L"C:\\Users\\Ann\\Documents", L"C:\\Data", L"D:\\Fotos \u00e9t\u00e9"};
    ASSERT_EQ(ERROR_SUCCESS, WriteSourceList(sources));
    ASSERT_EQ(ERROR_SUCCESS, WriteFilterList({L"tmp", L"bak"}));

    List list{L"stale"};
    EXPECT_EQ(ERROR_SUCCESS, ReadSourceList(list));
    EXPECT_EQ(sources, list);
    EXPECT_EQ(ERROR_SUCCESS, ReadFilterList(list));
    EXPECT_EQ((List{L"tmp", L"bak"}), list);

    const RawValue raw = GetRaw(kFilter);
    EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), raw.type);
    const wchar_t expected[] = L"tmp\0bak\0";  // the literal adds the final zero
    ASSERT_EQ(sizeof(expected), raw.data.size());
    EXPECT_EQ(0, std::memcmp(expected, raw.data.data(), sizeof(expected)));
}

using Reading = SettingsTest;

TEST_F(Reading, AbsentValuesReadAsZeroKeptOrEmpty) {
    auto expectAbsent = [](const char* situation) {
        for (const auto& v : kNumbers) {
            DWORD value = 77;
            EXPECT_EQ(ERROR_FILE_NOT_FOUND, v.read(value)) << situation << ": " << v.name;
            EXPECT_EQ(v.zeroing ? 0u : 77u, value) << situation << ": " << v.name;
        }
        for (const wchar_t* name : kNamedNumbers) {
            DWORD value = 77;
            EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadNumber(name, value)) << situation << ": " << name;
            EXPECT_EQ(0u, value) << situation << ": " << name;
        }
        for (const auto& p : kPairs) {
            std::uint64_t value = 42;
            EXPECT_EQ(ERROR_FILE_NOT_FOUND, p.read(value)) << situation << ": " << p.low;
            EXPECT_EQ(42u, value) << situation << ": " << p.low;
        }
        std::wstring text = L"F:\\";
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadDestination(text)) << situation;
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadDiskID(text)) << situation;
        EXPECT_EQ(L"F:\\", text) << situation;
        List list{L"stale"};
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadSourceList(list)) << situation;
        EXPECT_TRUE(list.empty()) << situation;
        list = {L"stale"};
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadFilterList(list)) << situation;
        EXPECT_TRUE(list.empty()) << situation;
    };
    expectAbsent("no options key");
    SetRawDword(L"Unrelated", 1);
    expectAbsent("value missing");
}

// A value of another type is treated as a missing one.
TEST_F(Reading, ValueOfAnotherTypeIsNotRead) {
    SetRawText(kRevisions, std::wstring(L"5", 2));
    SetRawText(kIconStatus, std::wstring(L"1", 2));
    SetRaw(kWarningStatus, REG_BINARY, "\x01\0\0\0", 4);
    SetRawDword(kDestination, 5);
    SetRawText(kDiskID, std::wstring(L"%TEMP%", 7), REG_EXPAND_SZ);
    SetRawText(kSource, std::wstring(L"C:\\Data", 8));

    DWORD revisions = 9, icon = 9, warning = 9;
    EXPECT_EQ(ERROR_UNSUPPORTED_TYPE, ReadRevisions(revisions));
    EXPECT_EQ(ERROR_UNSUPPORTED_TYPE, ReadIconStatus(icon));
    EXPECT_EQ(ERROR_UNSUPPORTED_TYPE, ReadWarningStatus(warning));
    EXPECT_EQ(9u, revisions);
    EXPECT_EQ(0u, icon);
    EXPECT_EQ(9u, warning);
    std::wstring text = L"kept";
    EXPECT_EQ(ERROR_UNSUPPORTED_TYPE, ReadDestination(text));
    EXPECT_EQ(ERROR_UNSUPPORTED_TYPE, ReadDiskID(text));
    EXPECT_EQ(L"kept", text);
    List list{L"stale"};
    EXPECT_EQ(ERROR_UNSUPPORTED_TYPE, ReadSourceList(list));
    EXPECT_TRUE(list.empty());
}

// A text is read with its stored length, terminated or not, up to 259
// characters; a longer one is not read and leaves the caller's text.
TEST_F(Reading, TextIsReadWithItsStoredLengthUpTo259Characters) {
    ASSERT_EQ(ERROR_SUCCESS, WriteDestination(std::wstring(259, L'a')));
    std::wstring text;
    EXPECT_EQ(ERROR_SUCCESS, ReadDestination(text));
    EXPECT_EQ(std::wstring(259, L'a'), text);
    SetRawText(kDestination, L"E:\\Backup");
    SetRawText(kDiskID, std::wstring(259, L'd'));
    EXPECT_EQ(ERROR_SUCCESS, ReadDestination(text));
    EXPECT_EQ(L"E:\\Backup", text);
    EXPECT_EQ(ERROR_SUCCESS, ReadDiskID(text));
    EXPECT_EQ(std::wstring(259, L'd'), text);

    for (std::size_t length : {260u, 261u, 1000u}) {
        ASSERT_EQ(ERROR_SUCCESS, WriteDestination(std::wstring(length, L'b')));
        text = L"kept";
        EXPECT_EQ(ERROR_MORE_DATA, ReadDestination(text)) << length;
        EXPECT_EQ(L"kept", text) << length;
    }
    // Without a terminator 260 characters fill the buffer exactly; still too long.
    SetRawText(kDestination, std::wstring(260, L'c'));
    EXPECT_EQ(ERROR_MORE_DATA, ReadDestination(text));
    EXPECT_EQ(L"kept", text);
}

TEST_F(Reading, ListWithoutFinalZerosOrWithAnOddByteReads) {
    const std::wstring data(L"C:\\A\0C:\\B", 9);  // no zero after the last text
    List list;
    SetRaw(kSource, REG_MULTI_SZ, data.data(), data.size() * sizeof(wchar_t));
    EXPECT_EQ(ERROR_SUCCESS, ReadSourceList(list));
    EXPECT_EQ((List{L"C:\\A", L"C:\\B"}), list);
    SetRaw(kSource, REG_MULTI_SZ, data.data(), data.size() * sizeof(wchar_t) + 1);
    EXPECT_EQ(ERROR_SUCCESS, ReadSourceList(list));
    EXPECT_EQ((List{L"C:\\A", L"C:\\B"}), list);

    SetRaw(kSource, REG_MULTI_SZ, nullptr, 0);
    EXPECT_EQ(ERROR_SUCCESS, ReadSourceList(list));
    EXPECT_TRUE(list.empty());
}

TEST_F(Reading, PairWithAMissingHalfLeavesTheCallersValue) {
    for (const auto& p : kPairs) SetRawDword(p.low, 7);
    for (const auto& p : kPairs) {
        std::uint64_t value = 42;
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, p.read(value)) << p.low;
        EXPECT_EQ(42u, value) << p.low;
    }
    ASSERT_EQ(ERROR_SUCCESS, DeleteOptionsKey());
    SetRawDword(kStartTimeHigh, 7);
    std::uint64_t value = 42;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadStartTime(value));
    EXPECT_EQ(42u, value);
}

TEST_F(Reading, IntervalMinutesFollowTheUnit) {
    DWORD minutes = 1;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadIntervalMinutes(minutes));
    EXPECT_EQ(0u, minutes);
    struct Case {
        DWORD count, unit, minutes;
    };
    const Case cases[] = {{45, 0, 45}, {2, 1, 120}, {3, 2, 4320}, {5, 7, 5}, {0xFFFFFFFFu / 1000, 2, 0xFFFFFFFFu}};
    for (const Case& c : cases) {
        ASSERT_EQ(ERROR_SUCCESS, WriteNumber(kSchedulerInterval, c.count));
        ASSERT_EQ(ERROR_SUCCESS, WriteNumber(kSchedulerIntervalUnit, c.unit));
        EXPECT_EQ(ERROR_SUCCESS, ReadIntervalMinutes(minutes));
        EXPECT_EQ(c.minutes, minutes) << c.count << " in unit " << c.unit;
    }
}

using Writing = SettingsTest;

TEST_F(Writing, EmptyTextOrListIsNotWritten) {
    EXPECT_EQ(ERROR_SUCCESS, WriteDestination(L""));
    EXPECT_EQ(ERROR_SUCCESS, WriteSourceList({}));
    EXPECT_FALSE(OptionsKeyExists());

    ASSERT_EQ(ERROR_SUCCESS, WriteDestination(L"G:\\"));
    ASSERT_EQ(ERROR_SUCCESS, WriteSourceList({L"C:\\Data"}));
    EXPECT_EQ(ERROR_SUCCESS, WriteDestination(L""));
    EXPECT_EQ(ERROR_SUCCESS, WriteSourceList({}));
    EXPECT_EQ(ERROR_SUCCESS, WriteSourceList({L""}));
    std::wstring text;
    EXPECT_EQ(ERROR_SUCCESS, ReadDestination(text));
    EXPECT_EQ(L"G:\\", text);
    List list;
    EXPECT_EQ(ERROR_SUCCESS, ReadSourceList(list));
    EXPECT_EQ(List{L"C:\\Data"}, list);
}

TEST_F(Writing, DeletedFilterListReadsEmptyAndCanBeWrittenAnew) {
    ASSERT_EQ(ERROR_SUCCESS, WriteSourceList({L"C:\\Data"}));
    ASSERT_EQ(ERROR_SUCCESS, WriteFilterList({L"tmp"}));
    EXPECT_EQ(ERROR_SUCCESS, DeleteFilterList());
    List list{L"stale"};
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadFilterList(list));
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(ERROR_SUCCESS, ReadSourceList(list));  // the other list stays

    ASSERT_EQ(ERROR_SUCCESS, WriteFilterList({L"log", L"obj"}));
    EXPECT_EQ(ERROR_SUCCESS, ReadFilterList(list));
    EXPECT_EQ((List{L"log", L"obj"}), list);
}

// A write of the high half alone cannot be made to fail through the registry
// itself, so the generic pair writer is driven with a value name longer than
// the registry allows (16,383 characters) in place of one half.
TEST_F(Writing, PairWriterStopsAtTheFirstFailure) {
    const std::wstring tooLong(20000, L'n');
    ASSERT_EQ(ERROR_SUCCESS, WriteStartTime(0x0000'0005'0000'0006));

    EXPECT_NE(ERROR_SUCCESS, values::WritePair(kStartTimeLow, tooLong.c_str(), 0x0000'0009'0000'000A));
    EXPECT_EQ(0x0000'000Au, StoredDword(kStartTimeLow));  // the new low half stays
    EXPECT_EQ(0x0000'0005u, StoredDword(kStartTimeHigh));

    EXPECT_NE(ERROR_SUCCESS, values::WritePair(tooLong.c_str(), kStartTimeHigh, 0x0000'000B'0000'000C));
    EXPECT_EQ(0x0000'0005u, StoredDword(kStartTimeHigh));  // nothing after the failed low half
}

using Keys = SettingsTest;

TEST_F(Keys, DeleteOptionsKeyRemovesEverythingInItAndNothingElse) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegCreateKeyExW(HKEY_CURRENT_USER, kSpecialKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr));
    ::RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, WriteDestination(L"E:\\"));
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Tavrix Dovetrak 3\\User Options\\Sub",
                                               0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr));
    ::RegCloseKey(key);

    EXPECT_EQ(ERROR_SUCCESS, DeleteOptionsKey());
    EXPECT_FALSE(OptionsKeyExists());
    EXPECT_TRUE(SpecialKeyExists());
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, DeleteOptionsKey());

    ASSERT_EQ(ERROR_SUCCESS, ::RegDeleteTreeW(HKEY_CURRENT_USER, kSpecialKey));
    EXPECT_FALSE(SpecialKeyExists());
}

}  // namespace
}  // namespace tvx::settings::testing
