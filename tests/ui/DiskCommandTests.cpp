// The settings page's disk commands and the drive library's protection
// dialogs, answered as a user answers them, on a virtual removable disk in E:.
#include "ui/DiskCommands.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "framework/ResourceString.h"
#include "media/ProtectionRecord.h"
#include "res/resource.h"
#include "tests/disks/VirtualDisk.h"
#include "tests/support/Automation.h"
#include "tests/ui/DialogDriver.h"
#include "ui/PraxonUI.h"
#include "ui/Prompts.h"

namespace tvx::ui {
namespace {

using testing::Click;
using testing::Text;

// Dialogs shown by a run on a thread of its own. Whatever the run still
// shows when a test stops early is closed, so that the test ends.
class Flow {
public:
    explicit Flow(std::function<void()> run)
        : m_thread([this, run = std::move(run)] {
              run();
              m_done = true;
              return INT_PTR{0};
          }) {}
    ~Flow() {
        for (int i = 0; i < 10 && !m_done; ++i) {
            if (const HWND left = m_thread.WaitForDialog(IDOK, 500)) ::PostMessageW(left, WM_CLOSE, 0, 0);
        }
        if (!m_done) m_thread.Abandon();
    }
    HWND Dialog(int control) { return m_thread.WaitForDialog(control); }
    bool Ended() { return test::WaitUntil([this] { return m_done.load(); }, 20000); }

private:
    std::atomic<bool> m_done{false};
    testing::DialogThread m_thread;
};

int Protect() {
    Praxon::Drive drive(L'E');
    return PraxonUI::protect(drive, true);
}

int Unprotect() {
    Praxon::Drive drive(L'E');
    return PraxonUI::unprotect(drive, false, true, nullptr, nullptr);
}

void Answer(HWND dialog, int edit, const wchar_t* text) {
    ::SetDlgItemTextW(dialog, edit, text);
    Click(dialog, IDOK);
}

class DiskCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = "/tmp/tvx-ui-disk-" + std::to_string(::GetCurrentProcessId());
        testdisks::DeleteDiskFolder(m_folder);
        ASSERT_EQ(0u, testdisks::MakeDiskFolder(m_folder, 0x5EC0DE01, L"BACKUP"));
        ASSERT_EQ(0u, testdisks::InsertDisk(L'E', m_folder));
    }
    void TearDown() override {
        testdisks::RemoveDisk(L'E');
        testdisks::DeleteDiskFolder(m_folder);
    }

    static int State() { return Praxon::Drive(L'E').getProtectState(); }

    // Wine keeps a volume's label until the disk is read in again, as after
    // a swap; Windows shows a new label at once.
    std::wstring LabelAfterReinsert() const {
        EXPECT_EQ(0u, testdisks::InsertDisk(L'E', m_folder));
        return Praxon::Drive(L'E').getDisk().label;
    }

    std::string m_folder;
};

TEST_F(DiskCommandTest, PasswordMustMatchItsConfirmationAndOnlyTheRightOneLiftsTheProtection) {
    int result = 0;
    Flow protect([&] { result = Protect(); });
    const HWND dialog = protect.Dialog(IDC_PASSWORD_CONFIRM);
    ASSERT_NE(nullptr, dialog);
    ::SetDlgItemTextW(dialog, IDC_PASSWORD, L"s3cret");
    Answer(dialog, IDC_PASSWORD_CONFIRM, L"s3cert");
    EXPECT_EQ(LoadResourceString(IDS_PASSWORDS_DIFFER), Text(dialog, IDC_PROTECT_STATUS));
    EXPECT_EQ(L"", Text(dialog, IDC_PASSWORD)) << "a typed password stays in its box";
    EXPECT_EQ(Praxon::kUnprotected, State());
    ::SetDlgItemTextW(dialog, IDC_PASSWORD, L"s3cret");
    Answer(dialog, IDC_PASSWORD_CONFIRM, L"s3cret");
    // Wine does not make the volume read-only: the user is told that only
    // this program is kept off the disk.
    const HWND notice = protect.Dialog(IDC_NOTICE_TEXT);
    ASSERT_NE(nullptr, notice);
    EXPECT_EQ(LoadResourceString(IDS_NOT_READ_ONLY), Text(notice, IDC_NOTICE_TEXT));
    Click(notice, IDOK);
    ASSERT_TRUE(protect.Ended());
    EXPECT_EQ(IDOK, result);
    EXPECT_EQ(Praxon::kProtectedWithPassword, State());
    EXPECT_EQ(UINT{IDB_PROTECTED}, ProtectionPictureId(L'E'));

    Flow unprotect([&] { result = Unprotect(); });
    const HWND ask = unprotect.Dialog(IDC_UNPROTECT_TEXT);
    ASSERT_NE(nullptr, ask);
    Answer(ask, IDC_PASSWORD, L"secret");
    EXPECT_EQ(LoadResourceString(IDS_WRONG_PASSWORD), Text(ask, IDC_PROTECT_STATUS));
    EXPECT_EQ(Praxon::kProtectedWithPassword, State());
    ::SetDlgItemTextW(ask, IDC_PASSWORD, L"s3cret");
    ::PostMessageW(::GetDlgItem(ask, IDC_PASSWORD), WM_KEYDOWN, VK_RETURN, 0);  // Enter is OK
    ASSERT_TRUE(unprotect.Ended());
    EXPECT_EQ(IDOK, result);
    EXPECT_EQ(Praxon::kUnprotected, State());
    const std::wstring record = std::wstring(L"E:\\") + Praxon::kProtectionRecordName;
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(record.c_str())) << "the record is left";
}

TEST_F(DiskCommandTest, WithoutAPasswordNoneIsAskedAndNothingToDoIsSaid) {
    Flow flow([] {
        Unprotect();
        ProtectDiskCommand(nullptr, L'E');
        Protect();
        UnprotectDiskCommand(nullptr, L'E');
    });
    const HWND notProtected = flow.Dialog(IDC_NOTICE_TEXT);
    EXPECT_EQ(LoadResourceString(IDS_NOT_PROTECTED), Text(notProtected, IDC_NOTICE_TEXT));
    Click(notProtected, IDOK);
    Click(flow.Dialog(IDC_PASSWORD_CONFIRM), IDOK);  // both boxes empty
    Click(flow.Dialog(IDC_NOTICE_TEXT), IDOK);       // only partly protected
    EXPECT_EQ(Praxon::kProtectedNoPassword, State());
    const HWND already = flow.Dialog(IDC_NOTICE_TEXT);
    EXPECT_EQ(LoadResourceString(IDS_ALREADY_PROTECTED), Text(already, IDC_NOTICE_TEXT));
    Click(already, IDOK);
    const HWND dialog = flow.Dialog(IDC_UNPROTECT_TEXT);
    ASSERT_NE(nullptr, dialog);
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dialog, IDC_PASSWORD)));
    Click(dialog, IDOK);
    ASSERT_TRUE(flow.Ended());
    EXPECT_EQ(Praxon::kUnprotected, State());
}

TEST_F(DiskCommandTest, RenameShowsTheLabelAndAsksForADiskUntilOneIsThere) {
    Flow flow([] { RenameVolumeCommand(nullptr, L'E'); });
    const HWND dialog = flow.Dialog(IDC_VOLUME_NAME);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(L"BACKUP", Text(dialog, IDC_VOLUME_NAME));
    ASSERT_EQ(0u, testdisks::RemoveDisk(L'E'));
    Answer(dialog, IDC_VOLUME_NAME, L"HOLIDAY 26");
    const HWND retry = flow.Dialog(IDC_NO_DISK_TEXT);
    ASSERT_NE(nullptr, retry);
    EXPECT_EQ(LoadResourceString(IDS_NO_DISK_RETRY), Text(retry, IDC_NO_DISK_TEXT));
    ASSERT_EQ(0u, testdisks::InsertDisk(L'E', m_folder));
    Click(retry, IDOK);
    ASSERT_TRUE(flow.Ended());
    EXPECT_EQ(L"HOLIDAY 26", LabelAfterReinsert());
}

TEST_F(DiskCommandTest, RenameTheSystemRefusesShowsItsTextUntilCancelled) {
    // Wine keeps the label in a file on the disk: a folder in its place
    // makes every attempt fail.
    const std::wstring labelFile = testdisks::WindowsPathOf(m_folder + "/.windows-label");
    ASSERT_TRUE(::DeleteFileW(labelFile.c_str()) && ::CreateDirectoryW(labelFile.c_str(), nullptr));
    ASSERT_FALSE(SystemErrorText(ERROR_ACCESS_DENIED).empty());
    Flow flow([] { RenameVolumeCommand(nullptr, L'E'); });
    Answer(flow.Dialog(IDC_VOLUME_NAME), IDC_VOLUME_NAME, L"HOLIDAY 26");
    const HWND retry = flow.Dialog(IDC_NO_DISK_TEXT);
    EXPECT_EQ(SystemErrorText(ERROR_ACCESS_DENIED), Text(retry, IDC_NO_DISK_TEXT));
    Click(retry, IDCANCEL);
    EXPECT_TRUE(flow.Ended());
}

}  // namespace
}  // namespace tvx::ui
