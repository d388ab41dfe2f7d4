// End-to-end: the program's own disk. The real program copies onto the disk
// whose identity is "DiskID" and onto no other: it follows the disk to
// another drive letter, adopts a first disk after asking, asks for the disk
// when another one or none is in the drive, continues on a new disk when one
// fills up, lifts a password protection for a pass and puts it back, and
// warns when the disk is becoming full. Every dialog is answered through its
// controls, and every disk that is not the program's is checked to hold no
// byte of the mirror.
#include <windows.h>

#include <algorithm>

#include "media/Praxon.h"
#include "media/ProtectionRecord.h"
#include "tests/e2e/MirrorFixture.h"

namespace tvx::test {
namespace {

constexpr int kGoOn = 1027, kNoWarn = 1028, kDisable = 1029, kMakeMine = 1030;
constexpr int kInsertDiskLabel = 1013;  // dialog 136
constexpr int kFullLink = 1147;         // dialog 104
constexpr int kFillingLink = 1145;      // dialog 202
constexpr int kDontShowBuy = 1142;
constexpr int kPassword = 1000;         // dialog 203

class DiskTest : public MirrorFixture {
protected:
    void SetUp() override {
        MirrorFixture::SetUp();
        if (HasFatalFailure()) return;
        m_id = Praxon::Drive(L'E').getDisk().identity;
        ASSERT_FALSE(m_id.empty());
        reg::SetString(HKEY_CURRENT_USER, kOptions, L"DiskID", m_id);
        m_other = "/tmp/tvx-e2e-other-" + std::to_string(::GetCurrentProcessId());
        testdisks::DeleteDiskFolder(m_other);
        ASSERT_EQ(0u, testdisks::MakeDiskFolder(m_other, 0x7E2E0005, L"OTHER"));
    }
    void TearDown() override {
        MirrorFixture::TearDown();
        testdisks::RemoveDisk(L'F');
        for (const std::string& tmpfs : m_mounted) {
            testdisks::UnmountDisk(tmpfs);
            testdisks::DeleteDiskFolder(tmpfs);
        }
        testdisks::DeleteDiskFolder(m_other);
    }

    // A size-limited disk; false (the test skips) where mounting is refused.
    bool MountSmallDisk(const std::string& folder, ULONGLONG bytes, DWORD serial) {
        testdisks::DeleteDiskFolder(folder);
        std::string why;
        if (testdisks::MountTmpfsDisk(folder, bytes, &why) != 0) return false;
        m_mounted.push_back(folder);
        return testdisks::MakeDiskFolder(folder, serial, L"SMALL") == 0;
    }

    // The dialog of the program that has the control (and not `without`).
    HWND Prompt(int control, int without = 0, const std::wstring& screenshot = {}) {
        HWND found = nullptr;
        WaitUntil([&] {
            const HWND dialog = WaitForDialogWithControl(program.Id(), control, 0);
            if (dialog && (!without || !::GetDlgItem(dialog, without))) found = dialog;
            return found != nullptr;
        }, kLandsWithin, 50);
        if (found && !screenshot.empty()) {
            ::Sleep(200);  // painted
            SaveNamedScreenshot(screenshot);
        }
        return found;
    }
    void Choose(HWND dialog, int radio) {
        ::SendMessageW(::GetDlgItem(dialog, radio), BM_CLICK, 0, 0);
        ClickButton(dialog, IDOK);
    }
    bool PassDone() { return monitor.WaitFor(L"pass: done", program.Id(), kLandsWithin); }

    // A disk that is not the program's holds nothing but its own files.
    static void ExpectNoMirrorOn(const std::string& disk) {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(fs::path(testdisks::WindowsPathOf(disk)), ec)) {
            const std::wstring name = entry.path().filename().wstring();
            EXPECT_TRUE(name == L".windows-serial" || name == L".windows-label")
                << "a byte of the mirror on a disk that is not the program's: " << entry.path();
        }
    }

    std::wstring m_id;
    std::string m_other;
    std::vector<std::string> m_mounted;
};

TEST_F(DiskTest, TheDiskIsFollowedToAnotherDriveLetterWithoutAQuestion) {
    ASSERT_EQ(0u, testdisks::RemoveDisk(L'E'));
    ASSERT_EQ(0u, testdisks::InsertDisk(L'F', m_disk));
    ASSERT_NE(nullptr, StartAndWaitForTheFirstCopy());
    EXPECT_EQ(L'F', StoredText(L"Destination")[0]);
    EXPECT_EQ(nullptr, WaitForDialogWithControl(program.Id(), kGoOn, 0));
}

TEST_F(DiskTest, AFirstDiskIsAdoptedAfterAsking) {
    reg::SetString(HKEY_CURRENT_USER, kOptions, L"DiskID", L"0");
    ASSERT_TRUE(Start());
    const HWND ask = Prompt(kInsertDiskLabel, 0, L"disk-insert-first");
    ASSERT_NE(nullptr, ask);
    ClickButton(ask, IDOK);
    EXPECT_TRUE(WaitForContent(m_mirror + L"\\Work\\Deep\\Notes", "notes", kLandsWithin));
    EXPECT_EQ(m_id, StoredText(L"DiskID"));
}

TEST_F(DiskTest, AWrongDiskIsAskedAboutAndNeverWrittenTo) {
    ASSERT_EQ(0u, testdisks::SwapDisk(L'E', m_other));
    ASSERT_TRUE(Start());
    // "Insert my disk", after putting it in: the pass goes on there.
    HWND ask = Prompt(kMakeMine, 0, L"disk-not-mine");
    ASSERT_NE(nullptr, ask);
    ExpectNoMirrorOn(m_other);
    ASSERT_EQ(0u, testdisks::SwapDisk(L'E', m_disk));
    Choose(ask, kGoOn);
    EXPECT_TRUE(WaitForContent(m_mirror + L"\\Letter.doc", "first letter", kLandsWithin));
    ASSERT_TRUE(PassDone());
    ExpectNoMirrorOn(m_other);

    // "Make current disk mine": the other disk becomes the program's.
    monitor.Clear();
    ASSERT_EQ(0u, testdisks::SwapDisk(L'E', m_other));
    Write(kSource + L"\\Letter.doc", "second letter");
    ask = Prompt(kMakeMine);
    ASSERT_NE(nullptr, ask);
    Choose(ask, kMakeMine);
    const std::wstring otherMirror = testdisks::WindowsPathOf(m_other) + L"\\tvx-e2e-src";
    EXPECT_TRUE(WaitForContent(otherMirror + L"\\Letter.doc", "second letter", kLandsWithin));
    EXPECT_EQ(Praxon::Drive(L'E').getDisk().identity, StoredText(L"DiskID"));
    ASSERT_TRUE(PassDone());

    // Not asked about any more: the first disk, no longer the program's, is
    // silently not written to.
    monitor.Clear();
    reg::SetDword(HKEY_CURRENT_USER, kOptions, L"NotCurrent Status", 0);
    ASSERT_EQ(0u, testdisks::SwapDisk(L'E', m_disk));
    Write(kSource + L"\\Letter.doc", "third letter");
    ASSERT_TRUE(PassDone());
    EXPECT_EQ(nullptr, WaitForDialogWithControl(program.Id(), kGoOn, 0));
    EXPECT_EQ("first letter", Read(m_mirror + L"\\Letter.doc"));
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(fs::path(m_revisions), ec))
        EXPECT_FALSE(entry.is_regular_file()) << "a revision on the disk that is not the program's: " << entry.path();
}

TEST_F(DiskTest, NoDiskIsAskedForUntilTheUserTurnsTheQuestionOffOrDisables) {
    ASSERT_EQ(0u, testdisks::RemoveDisk(L'E'));
    ASSERT_TRUE(Start());
    HWND ask = Prompt(kNoWarn, kMakeMine, L"disk-none");
    ASSERT_NE(nullptr, ask);
    Choose(ask, kNoWarn);
    ASSERT_TRUE(PassDone());
    EXPECT_EQ(0u, StoredNumber(L"Warning Status"));

    // Asked again once the warning is on; "Disable" ends the program.
    reg::SetDword(HKEY_CURRENT_USER, kOptions, L"Warning Status", 1);
    Write(kSource + L"\\Letter.doc", "second letter");
    ask = Prompt(kNoWarn, kMakeMine);
    ASSERT_NE(nullptr, ask);
    Choose(ask, kDisable);
    EXPECT_TRUE(program.WaitExit(kLandsWithin)) << "Disable did not end the program";
    ExpectNoMirrorOn(m_disk);
}

// The source is larger than the first disk: it fills, a new disk is asked
// for and swapped in, and the copy goes on there, oldest files first.
TEST_F(DiskTest, AFullDiskIsExchangedAndTheCopyGoesOnOnTheNextDisk) {
    const std::string full = "/tmp/tvx-e2e-full-" + std::to_string(::GetCurrentProcessId());
    if (!MountSmallDisk(full, 2 << 20, 0x7E2E0006)) GTEST_SKIP() << "cannot mount a tmpfs disk here";
    ASSERT_EQ(0u, testdisks::SwapDisk(L'E', full));
    reg::SetString(HKEY_CURRENT_USER, kOptions, L"DiskID", Praxon::Drive(L'E').getDisk().identity);
    RemoveTree(kSource);
    // Ten files of 300 KB, each an hour older than the next.
    FILETIME stamp = {0x2A000000, 0x01D9F000};
    std::vector<std::wstring> names;
    for (int i = 0; i < 10; ++i) {
        names.push_back(L"Part" + std::to_wstring(i) + L".bin");
        const std::wstring path = kSource + L"\\" + names.back();
        Write(path, std::string(300 * 1024, static_cast<char>('a' + i)));
        UniqueHandle file(::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ULARGE_INTEGER when = {{stamp.dwLowDateTime, stamp.dwHighDateTime}};
        when.QuadPart += static_cast<ULONGLONG>(i) * 36000000000ull;
        const FILETIME written = {when.LowPart, when.HighPart};
        ASSERT_TRUE(::SetFileTime(file.Get(), nullptr, nullptr, &written));
    }
    ASSERT_TRUE(Start());
    const HWND full104 = Prompt(kFullLink, 0, L"disk-full");
    ASSERT_NE(nullptr, full104);
    ASSERT_EQ(0u, testdisks::SwapDisk(L'E', m_disk));  // the user's new, empty disk
    ClickButton(full104, IDOK);
    ASSERT_TRUE(PassDone());

    const std::wstring first = testdisks::WindowsPathOf(full) + L"\\tvx-e2e-src\\";
    const std::wstring second = m_mirror + L"\\";
    int lastOnFirst = -1, firstOnSecond = 10;
    for (int i = 0; i < 10; ++i) {
        const bool onFirst = fs::exists(fs::path(first + names[i])), onSecond = fs::exists(fs::path(second + names[i]));
        ASSERT_NE(onFirst, onSecond) << "on exactly one disk: " << i;
        const std::wstring path = (onFirst ? first : second) + names[i];
        EXPECT_EQ(300u * 1024, fs::file_size(fs::path(path))) << "whole: " << i;
        if (onFirst) lastOnFirst = std::max(lastOnFirst, i);
        else firstOnSecond = std::min(firstOnSecond, i);
    }
    EXPECT_GT(lastOnFirst, 0) << "the first disk was used";
    EXPECT_EQ(lastOnFirst + 1, firstOnSecond) << "each disk holds a run of the oldest files first";
    EXPECT_EQ(m_id, StoredText(L"DiskID")) << "the new disk is the program's disk";

    monitor.Clear();
    Write(kSource + L"\\Part9.bin", "changed");
    EXPECT_TRUE(monitor.WaitFor(L"pass: 1 files to copy", program.Id(), kLandsWithin));
    EXPECT_TRUE(WaitForContent(second + L"Part9.bin", "changed", kLandsWithin));
}

TEST_F(DiskTest, APasswordProtectionIsLiftedForThePassAndPutBackAfterIt) {
    ASSERT_EQ(0u, Praxon::Drive(L'E').setProtect(Praxon::kProtectedWithPassword, L"secret"));
    ASSERT_TRUE(Start());
    HWND ask = Prompt(kPassword, 0, L"disk-password");
    ASSERT_NE(nullptr, ask);
    ::SetDlgItemTextW(ask, kPassword, L"wrong");
    ClickButton(ask, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(ask); }, kLandsWithin));
    ask = Prompt(kPassword);
    ASSERT_NE(nullptr, ask) << "a wrong password asks again";
    ::SetDlgItemTextW(ask, kPassword, L"secret");
    ClickButton(ask, IDOK);
    EXPECT_TRUE(WaitForContent(m_mirror + L"\\Work\\Deep\\Notes", "notes", kLandsWithin));
    ASSERT_TRUE(PassDone());
    ASSERT_TRUE(monitor.WaitFor(L"protection: put back", program.Id(), kLandsWithin));
    const auto record = Praxon::ReadRecord(L"E:\\");
    ASSERT_TRUE(record) << "the disk was left unprotected";
    EXPECT_EQ(static_cast<std::uint32_t>(Praxon::kProtectedWithPassword), record->state);
    EXPECT_TRUE(Praxon::PasswordMatches(*record, L"secret"));

    // Cancel: nothing is copied, and the file stays listed for the next pass.
    monitor.Clear();
    Write(kSource + L"\\Letter.doc", "second letter");
    ask = Prompt(kPassword);
    ASSERT_NE(nullptr, ask);
    ClickButton(ask, IDCANCEL);
    ASSERT_TRUE(PassDone());
    EXPECT_EQ("first letter", Read(m_mirror + L"\\Letter.doc"));
    monitor.Clear();
    Write(kSource + L"\\Work\\Plan.txt", "plan 2");
    EXPECT_TRUE(monitor.WaitFor(L"pass: 2 files to copy", program.Id(), kLandsWithin));
    ask = Prompt(kPassword);
    ASSERT_NE(nullptr, ask);
    ClickButton(ask, IDCANCEL);
    ASSERT_TRUE(PassDone());
}

// 4 MiB in 4 KiB pages: 767 pages used are 74 %, 768 are 75 %.
TEST_F(DiskTest, TheDiskIsSaidToBeBecomingFullFromSeventyFivePercent) {
    const std::string filling = "/tmp/tvx-e2e-filling-" + std::to_string(::GetCurrentProcessId());
    if (!MountSmallDisk(filling, 4 << 20, 0x7E2E0007)) GTEST_SKIP() << "cannot mount a tmpfs disk here";
    ASSERT_EQ(0u, testdisks::SwapDisk(L'E', filling));
    reg::SetString(HKEY_CURRENT_USER, kOptions, L"DiskID", Praxon::Drive(L'E').getDisk().identity);
    reg::SetDword(HKEY_CURRENT_USER, kOptions, L"Buy Status", 1);
    ASSERT_TRUE(Start());
    ASSERT_TRUE(PassDone());

    monitor.Clear();
    const std::uint64_t used = Praxon::Drive(L'E').getDisk().usedBytes.value();
    Write(kSource + L"\\Almost.bin", std::string(767 * 4096 - used, 'x'));
    ASSERT_TRUE(PassDone());
    ASSERT_EQ(74u, Praxon::Drive(L'E').getDisk().usedBytes.value() * 100 / (4 << 20));
    EXPECT_EQ(nullptr, WaitForDialogWithControl(program.Id(), kFillingLink, 0)) << "74 %";

    Write(kSource + L"\\Full.bin", std::string(4096, 'y'));
    const HWND warning = Prompt(kFillingLink, 0, L"disk-becoming-full");
    ASSERT_NE(nullptr, warning) << "75 %";
    ::SendMessageW(::GetDlgItem(warning, kDontShowBuy), BM_CLICK, 0, 0);
    ClickButton(warning, IDOK);
    EXPECT_TRUE(WaitUntil([] { return StoredNumber(L"Buy Status") == 0; }, kLandsWithin));
}

}  // namespace
}  // namespace tvx::test
