// The start-up check of the options key and the import of the defaults file
// from the system folder or from beside the program, with the real registry
// editor of the prefix.
#include "settings/Settings.h"
#include "tests/settings/RegistryTestSupport.h"
#include "tests/support/Files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#ifndef TVX_DEFAULTS_FILE
#error "TVX_DEFAULTS_FILE must name the shipped defaults file"
#endif

namespace tvx::settings::testing {
namespace {

std::wstring SystemDefaultsFile() {
    wchar_t folder[MAX_PATH];
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    EXPECT_GT(length, 0u);
    EXPECT_LT(length, static_cast<UINT>(MAX_PATH));
    return std::wstring(folder, length) + L"\\" + kDefaultsFileName;
}

// The defaults file beside the running program (this test's exe).
std::wstring BesideDefaultsFile() {
    wchar_t path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    EXPECT_GT(length, 0u);
    EXPECT_LT(length, static_cast<DWORD>(MAX_PATH));
    std::wstring file(path, length);
    return file.substr(0, file.find_last_of(L'\\') + 1) + kDefaultsFileName;
}

// Every value the check reads.
const wchar_t* const kCheckedValues[] = {
    k2LargeStatus,     kDestination, kDiskID, kFileErrorStatus, kFileNameStatus, kIconStatus,    kMirrorStatus,
    kNotCurrentStatus, kRevisions,   kSource, kStartTimeLow,    kStartTimeHigh,  kWarningStatus,
};

void WriteCompleteSettings() {
    ASSERT_EQ(ERROR_SUCCESS, Write2LargeStatus(1));
    ASSERT_EQ(ERROR_SUCCESS, WriteDestination(L"E:\\"));
    ASSERT_EQ(ERROR_SUCCESS, WriteDiskID(L"7C1E-0042"));
    ASSERT_EQ(ERROR_SUCCESS, WriteFileErrorStatus(1));
    ASSERT_EQ(ERROR_SUCCESS, WriteFileNameStatus(1));
    ASSERT_EQ(ERROR_SUCCESS, WriteIconStatus(1));
    ASSERT_EQ(ERROR_SUCCESS, WriteMirrorStatus(1));
    ASSERT_EQ(ERROR_SUCCESS, WriteNotCurrentStatus(1));
    ASSERT_EQ(ERROR_SUCCESS, WriteRevisions(9));
    ASSERT_EQ(ERROR_SUCCESS, WriteSourceList({L"C:\\Data"}));
    ASSERT_EQ(ERROR_SUCCESS, WriteStartTime(0x01DA'0000'1234'5678));
    ASSERT_EQ(ERROR_SUCCESS, WriteWarningStatus(0));
}

// The stored bytes of every checked value, to see what an import changed.
std::vector<std::vector<BYTE>> CheckedValuesAsStored() {
    std::vector<std::vector<BYTE>> values;
    for (const wchar_t* name : kCheckedValues) values.push_back(GetRaw(name).data);
    return values;
}

class CheckSettingsTest : public SettingsTest {
protected:
    void SetUp() override {
        SettingsTest::SetUp();
        defaults_ = SystemDefaultsFile();
        beside_ = BesideDefaultsFile();
        RemoveDefaults();
    }
    void TearDown() override {
        RemoveDefaults();
        SettingsTest::TearDown();
    }

    void RemoveDefaults() {
        for (const std::wstring& file : {defaults_, beside_}) {
            if (!::DeleteFileW(file.c_str())) {
                ASSERT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), ::GetLastError());
            }
        }
    }
    void InstallShippedDefaults(const std::wstring& where) {
        ASSERT_TRUE(::CopyFileW(TVX_DEFAULTS_FILE, where.c_str(), FALSE))
            << "copy of the shipped defaults failed, error " << ::GetLastError();
    }
    void InstallShippedDefaults() { InstallShippedDefaults(defaults_); }
    void InstallDefaults(const std::string& content) { ASSERT_TRUE(test::Write(defaults_, content)); }

    std::wstring defaults_;  // in the system folder
    std::wstring beside_;    // beside the program, where a per-user installation puts it
};

TEST_F(CheckSettingsTest, FreshUserWithoutDefaultsFileGetsZero) {
    EXPECT_EQ(0, CheckSettings());
    EXPECT_FALSE(OptionsKeyExists());
}

TEST_F(CheckSettingsTest, CompleteSettingsGiveOneAndAreLeftAlone) {
    WriteCompleteSettings();
    EXPECT_EQ(1, CheckSettings());

    // With a defaults file at hand nothing is imported either.
    const auto before = CheckedValuesAsStored();
    InstallShippedDefaults();
    EXPECT_EQ(1, CheckSettings());
    EXPECT_EQ(before, CheckedValuesAsStored());
}

TEST_F(CheckSettingsTest, EveryCheckedValueIsNeeded) {
    for (const wchar_t* name : kCheckedValues) {
        WriteCompleteSettings();
        ASSERT_EQ(ERROR_SUCCESS, ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kOptionsKey, name));
        EXPECT_EQ(0, CheckSettings()) << "without " << name;
    }
    // A value that cannot be read counts as missing.
    WriteCompleteSettings();
    ASSERT_EQ(ERROR_SUCCESS, WriteDestination(std::wstring(300, L'x')));
    EXPECT_EQ(0, CheckSettings());
    WriteCompleteSettings();
    SetRawDword(kSource, 1);
    EXPECT_EQ(0, CheckSettings());
}

TEST_F(CheckSettingsTest, MissingKeyImportsTheShippedDefaults) {
    InstallShippedDefaults();
    ASSERT_EQ(1, CheckSettings());

    std::wstring text = L"unchanged";
    EXPECT_EQ(ERROR_SUCCESS, ReadDestination(text));
    EXPECT_EQ(L"", text);  // no destination chosen yet
    EXPECT_EQ(ERROR_SUCCESS, ReadDiskID(text));
    EXPECT_EQ(L"0", text);
    std::vector<std::wstring> list{L"stale"};
    EXPECT_EQ(ERROR_SUCCESS, ReadSourceList(list));
    EXPECT_TRUE(list.empty());
    std::uint64_t stamp = 99;
    EXPECT_EQ(ERROR_SUCCESS, ReadStartTime(stamp));
    EXPECT_EQ(0u, stamp);

    const std::pair<const wchar_t*, DWORD> numbers[] = {
        {kRevisions, 5},          {kMirrorStatus, 0},     {kIconStatus, 1},         {kWarningStatus, 1},
        {kProgressStatus, 0},     {kBuyStatus, 1},        {k2LargeStatus, 1},       {kFileErrorStatus, 1},
        {kFileNameStatus, 1},     {kNotCurrentStatus, 1}, {kSchedulerType, 0},      {kSchedulerInterval, 0},
        {kSchedulerIntervalUnit, 0}, {kSchedulerDays, 0}, {kSchedulerTimeOfDay, 0}, {kSchedulerAtShutdown, 0},
    };
    for (const auto& [name, expected] : numbers) {
        DWORD number = 99;
        EXPECT_EQ(ERROR_SUCCESS, ReadNumber(name, number)) << name;
        EXPECT_EQ(expected, number) << name;
    }
}

TEST_F(CheckSettingsTest, MissingWarningStatusIsFilledInAndTheUsersChoicesKept) {
    WriteCompleteSettings();
    ASSERT_EQ(ERROR_SUCCESS, WriteWarningStatus(1));  // as the defaults file has it
    const auto complete = CheckedValuesAsStored();
    ASSERT_EQ(ERROR_SUCCESS, ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kOptionsKey, kWarningStatus));
    InstallShippedDefaults();

    EXPECT_EQ(1, CheckSettings());
    EXPECT_EQ(complete, CheckedValuesAsStored()) << "the warning filled in, the user's choices kept";
}

// The system folder's file wins; the one beside the program serves only when
// the system folder has none.
TEST_F(CheckSettingsTest, DefaultsBesideTheProgramServeWhenTheSystemFolderHasNone) {
    InstallShippedDefaults(beside_);
    ASSERT_EQ(1, CheckSettings());
    DWORD revisions = 0;
    EXPECT_EQ(ERROR_SUCCESS, ReadRevisions(revisions));
    EXPECT_EQ(5u, revisions);

    ASSERT_EQ(ERROR_SUCCESS, DeleteOptionsKey());
    InstallDefaults(
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Tavrix Dovetrak 3\\User Options]\r\n"
        "\"Icon Status\"=dword:00000005\r\n");
    EXPECT_EQ(0, CheckSettings()) << "the complete file beside the program was imported";
    DWORD icon = 0;
    EXPECT_EQ(ERROR_SUCCESS, ReadIconStatus(icon));
    EXPECT_EQ(5u, icon);
}

TEST_F(CheckSettingsTest, DefaultsFileThatLeavesSettingsIncompleteGivesZero) {
    InstallDefaults("this is not a registry file\r\n");
    EXPECT_EQ(0, CheckSettings());
    EXPECT_FALSE(OptionsKeyExists());

    InstallDefaults(
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Tavrix Dovetrak 3\\User Options]\r\n"
        "\"Icon Status\"=dword:00000005\r\n");
    EXPECT_EQ(0, CheckSettings());
    DWORD icon = 0;
    EXPECT_EQ(ERROR_SUCCESS, ReadIconStatus(icon));  // the file was imported
    EXPECT_EQ(5u, icon);
}

}  // namespace
}  // namespace tvx::settings::testing
