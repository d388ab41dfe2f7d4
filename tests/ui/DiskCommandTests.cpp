// The settings page's disk commands and the drive library's protection
// dialogs, answered as a user answers them, on a virtual removable disk in E:.
#include "ui/DiskCommands.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "framework/ResourceString.h"
#include "media/Praxon.h"
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

// A run of dialogs on their own thread that knows when it has ended, and
// that closes whatever it still shows when a test fails half-way.
class Flow {
public:
    explicit Flow(std::function<INT_PTR()> run)
        : m_thread([this, run = std::move(run)] {
              const INT_PTR result = run();
              m_done = true;
              return result;
          }) {}
    ~Flow() { EndLeftovers(); }

    HWND Dialog(int control) {
        const HWND dialog = m_thread.WaitForDialog(control);
        if (!dialog) ADD_FAILURE() << "no dialog with control " << control;
        return dialog;
    }

    // What the run returned; a dialog still up after the answers is a failure.
    INT_PTR Result() {
        if (!test::WaitUntil([this] { return m_done.load(); }, 20000)) ADD_FAILURE() << "a dialog is still up";
        EndLeftovers();
        return m_thread.Result();
    }

private:
    void EndLeftovers() {
        for (int i = 0; i < 10 && !m_done; ++i) {
            if (const HWND dialog = m_thread.WaitForDialog(IDOK, 500)) ::PostMessageW(dialog, WM_CLOSE, 0, 0);
        }
        if (!m_done) m_thread.Abandon();
    }

    std::atomic<bool> m_done{false};
    testing::DialogThread m_thread;
};

INT_PTR Protect() {
    Praxon::Drive drive(L'E');
    return PraxonUI::protect(drive, true);
}

INT_PTR Unprotect() {
    Praxon::Drive drive(L'E');
    return PraxonUI::unprotect(drive, false, true, nullptr, nullptr);
}

INT_PTR Rename() {
    RenameVolumeCommand(nullptr, L'E');
    return IDOK;
}

void Type(HWND dialog, int edit, const wchar_t* text) { ::SetDlgItemTextW(dialog, edit, text); }

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

TEST_F(DiskCommandTest, DifferingConfirmationKeepsTheDialogOpenAndProtectsNothing) {
    Flow flow(Protect);
    const HWND dialog = flow.Dialog(IDC_PASSWORD_CONFIRM);
    ASSERT_NE(nullptr, dialog);
    Type(dialog, IDC_PASSWORD, L"s3cret");
    Type(dialog, IDC_PASSWORD_CONFIRM, L"s3cert");
    Click(dialog, IDOK);
    EXPECT_TRUE(::IsWindowVisible(dialog));
    EXPECT_EQ(LoadResourceString(IDS_PASSWORDS_DIFFER), Text(dialog, IDC_PROTECT_STATUS));
    EXPECT_EQ(L"", Text(dialog, IDC_PASSWORD)) << "a typed password stays in its box";
    EXPECT_EQ(Praxon::kUnprotected, State());
    Click(dialog, IDCANCEL);
    EXPECT_EQ(IDCANCEL, flow.Result());
    EXPECT_EQ(Praxon::kUnprotected, State());
}

TEST_F(DiskCommandTest, PasswordProtectionHoldsUntilTheRightPasswordIsTyped) {
    {
        Flow flow(Protect);
        const HWND dialog = flow.Dialog(IDC_PASSWORD_CONFIRM);
        ASSERT_NE(nullptr, dialog);
        Type(dialog, IDC_PASSWORD, L"s3cret");
        Type(dialog, IDC_PASSWORD_CONFIRM, L"s3cret");
        Click(dialog, IDOK);
        // Wine refuses to make the volume read-only: the user is told that
        // only this program is kept off the disk.
        const HWND notice = flow.Dialog(IDC_NOTICE_TEXT);
        ASSERT_NE(nullptr, notice);
        EXPECT_EQ(LoadResourceString(IDS_NOT_READ_ONLY), Text(notice, IDC_NOTICE_TEXT));
        Click(notice, IDOK);
        EXPECT_EQ(IDOK, flow.Result());
    }
    EXPECT_EQ(Praxon::kProtectedWithPassword, State());
    EXPECT_EQ(UINT{IDB_PROTECTED}, ProtectionPictureId(L'E'));

    Flow flow(Unprotect);
    const HWND dialog = flow.Dialog(IDC_UNPROTECT_TEXT);
    ASSERT_NE(nullptr, dialog);
    Type(dialog, IDC_PASSWORD, L"secret");
    Click(dialog, IDOK);
    EXPECT_TRUE(::IsWindowVisible(dialog));
    EXPECT_EQ(LoadResourceString(IDS_WRONG_PASSWORD), Text(dialog, IDC_PROTECT_STATUS));
    EXPECT_EQ(Praxon::kProtectedWithPassword, State());
    // Enter in the password box is OK.
    Type(dialog, IDC_PASSWORD, L"s3cret");
    ::PostMessageW(::GetDlgItem(dialog, IDC_PASSWORD), WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_EQ(IDOK, flow.Result());
    EXPECT_EQ(Praxon::kUnprotected, State());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW((std::wstring(L"E:\\") + Praxon::kProtectionRecordName).c_str()))
        << "the protection record is gone";
    EXPECT_EQ(UINT{IDB_UNPROTECTED}, ProtectionPictureId(L'E'));
}

TEST_F(DiskCommandTest, WithoutAPasswordNoneIsAskedAndNothingToDoIsSaid) {
    const auto expectNotice = [](INT_PTR (*run)(), UINT text) {
        Flow flow(run);
        const HWND notice = flow.Dialog(IDC_NOTICE_TEXT);
        EXPECT_EQ(LoadResourceString(text), Text(notice, IDC_NOTICE_TEXT));
        Click(notice, IDOK);
        EXPECT_EQ(IDCANCEL, flow.Result());
    };
    expectNotice(Unprotect, IDS_NOT_PROTECTED);

    {
        Flow flow([] {
            ProtectDiskCommand(nullptr, L'E');
            return INT_PTR{IDOK};
        });
        const HWND dialog = flow.Dialog(IDC_PASSWORD_CONFIRM);
        ASSERT_NE(nullptr, dialog);
        Click(dialog, IDOK);
        Click(flow.Dialog(IDC_NOTICE_TEXT), IDOK);
        flow.Result();
    }
    EXPECT_EQ(Praxon::kProtectedNoPassword, State());
    expectNotice(Protect, IDS_ALREADY_PROTECTED);
    EXPECT_EQ(Praxon::kProtectedNoPassword, State());

    Flow flow([] {
        UnprotectDiskCommand(nullptr, L'E');
        return INT_PTR{IDOK};
    });
    const HWND dialog = flow.Dialog(IDC_UNPROTECT_TEXT);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(LoadResourceString(IDS_UNPROTECT_NO_PASSWORD), Text(dialog, IDC_UNPROTECT_TEXT));
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dialog, IDC_PASSWORD)));
    Click(dialog, IDOK);
    flow.Result();
    EXPECT_EQ(Praxon::kUnprotected, State());
}

TEST_F(DiskCommandTest, RenamedLabelIsWhatTheDriveShows) {
    Flow flow(Rename);
    const HWND dialog = flow.Dialog(IDC_VOLUME_NAME);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(L"BACKUP", Text(dialog, IDC_VOLUME_NAME));
    Type(dialog, IDC_VOLUME_NAME, L"HOLIDAY 26");
    Click(dialog, IDOK);
    flow.Result();
    EXPECT_EQ(L"HOLIDAY 26", LabelAfterReinsert());

    // Cancel leaves the label as it is.
    Flow cancelled(Rename);
    const HWND again = cancelled.Dialog(IDC_VOLUME_NAME);
    ASSERT_NE(nullptr, again);
    Type(again, IDC_VOLUME_NAME, L"OTHER");
    Click(again, IDCANCEL);
    cancelled.Result();
    EXPECT_EQ(L"HOLIDAY 26", LabelAfterReinsert());
}

TEST_F(DiskCommandTest, RenameTheSystemRefusesShowsItsTextUntilCancelled) {
    // Wine keeps the label in a file on the disk: a folder in its place
    // makes every attempt fail.
    const std::wstring labelFile = testdisks::WindowsPathOf(m_folder + "/.windows-label");
    ASSERT_TRUE(::DeleteFileW(labelFile.c_str()));
    ASSERT_TRUE(::CreateDirectoryW(labelFile.c_str(), nullptr));

    Flow flow(Rename);
    const HWND dialog = flow.Dialog(IDC_VOLUME_NAME);
    ASSERT_NE(nullptr, dialog);
    Type(dialog, IDC_VOLUME_NAME, L"HOLIDAY 26");
    Click(dialog, IDOK);
    const HWND retry = flow.Dialog(IDC_NO_DISK_TEXT);
    ASSERT_NE(nullptr, retry);
    const std::wstring reason = Text(retry, IDC_NO_DISK_TEXT);
    EXPECT_FALSE(reason.empty());
    EXPECT_EQ(SystemErrorText(ERROR_ACCESS_DENIED), reason);
    // Retry fails again and asks again; Cancel ends.
    Click(retry, IDOK);
    const HWND again = flow.Dialog(IDC_NO_DISK_TEXT);
    ASSERT_NE(nullptr, again);
    EXPECT_NE(retry, again);
    EXPECT_EQ(reason, Text(again, IDC_NO_DISK_TEXT));
    Click(again, IDCANCEL);
    flow.Result();
}

TEST_F(DiskCommandTest, RenameWithoutADiskAsksForOneAndRetrySetsTheLabel) {
    ASSERT_EQ(0u, testdisks::RemoveDisk(L'E'));
    EXPECT_EQ(UINT{IDB_UNPROTECTED}, ProtectionPictureId(L'E'));
    Flow flow(Rename);
    const HWND dialog = flow.Dialog(IDC_VOLUME_NAME);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(L"", Text(dialog, IDC_VOLUME_NAME));
    Type(dialog, IDC_VOLUME_NAME, L"BACKUP 3");
    Click(dialog, IDOK);
    const HWND retry = flow.Dialog(IDC_NO_DISK_TEXT);
    ASSERT_NE(nullptr, retry);
    EXPECT_EQ(LoadResourceString(IDS_NO_DISK_RETRY), Text(retry, IDC_NO_DISK_TEXT));
    Click(retry, IDOK);  // still no disk
    const HWND again = flow.Dialog(IDC_NO_DISK_TEXT);
    ASSERT_NE(nullptr, again);
    ASSERT_EQ(0u, testdisks::InsertDisk(L'E', m_folder));
    Click(again, IDOK);
    flow.Result();
    EXPECT_EQ(L"BACKUP 3", LabelAfterReinsert());
}

}  // namespace
}  // namespace tvx::ui
