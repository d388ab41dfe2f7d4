// The setup wizard driven as a first-time user drives it, with a disk in E:
// as the backup disk: the pages in turn (the labelling page stepped over),
// the disk recorded when the destination is chosen, the choices handed back
// at the end; and a Cancel that leaves a first run without settings but
// never throws away a working setup.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include "framework/TimeSeam.h"
#include "media/Praxon.h"
#include "res/resource.h"
#include "settings/Settings.h"
#include "tests/disks/VirtualDisk.h"
#include "tests/support/Automation.h"
#include "tests/ui/DialogDriver.h"
#include "ui/UserInterface.h"

namespace tvx::ui {
namespace {

using testing::Click;
using testing::DialogThread;

class WizardTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, settings::kOptionsKey);
        m_folder = "/tmp/tvx-ui-wizard-" + std::to_string(::GetCurrentProcessId());
        ASSERT_EQ(0u, testdisks::MakeDiskFolder(m_folder, 0x0A1B2C3D, L"BACKUP"));
        ASSERT_EQ(0u, testdisks::InsertDisk(L'E', m_folder));
        timeseam::SetDivisor(100);
    }
    void TearDown() override {
        timeseam::SetDivisor(1);
        testdisks::RemoveDisk(L'E');
        testdisks::DeleteDiskFolder(m_folder);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, settings::kOptionsKey);
    }

    // Clicks a frame button and waits until the page with the control shows.
    static HWND Press(HWND frame, int button, int control) {
        Click(frame, button);
        HWND page = nullptr;
        test::WaitUntil([&] { return (page = test::VisibleChildDialog(frame)) && ::GetDlgItem(page, control); }, 10000);
        return page && ::GetDlgItem(page, control) ? page : nullptr;
    }
    static void Snap(HWND frame, const std::wstring& name) {
        ::RedrawWindow(frame, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        ::Sleep(150);
        EXPECT_TRUE(test::SaveNamedScreenshot(name));
    }
    static std::wstring DiskId() {
        std::wstring id;
        settings::ReadDiskID(id);
        return id;
    }

    std::string m_folder;
};

TEST_F(WizardTest, PagesLeadToTheChoicesAndTheChosenDiskIsRecorded) {
    SetupChoices choices;
    DialogThread thread([&] { return RunSetupWizard(nullptr, choices); });
    const HWND frame = thread.WaitForDialog(IDC_WIZ_NEXT);
    ASSERT_NE(nullptr, frame);
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(frame, IDC_WIZ_BACK)));
    Snap(frame, L"wizard-0-welcome");

    // Back from the destination is the welcome: the labelling page is never shown.
    ASSERT_NE(nullptr, Press(frame, IDC_WIZ_NEXT, IDC_DEST_TREE));
    ASSERT_NE(nullptr, Press(frame, IDC_WIZ_BACK, IDC_HEADLINE));
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(frame, IDC_WIZ_BACK)));
    const HWND destination = Press(frame, IDC_WIZ_NEXT, IDC_DEST_TREE);
    ASSERT_NE(nullptr, destination);
    Snap(frame, L"wizard-2-destination");

    // The disk in E: (the first drive of the program) is chosen and recorded.
    const HWND sources = Press(frame, IDC_WIZ_NEXT, IDC_WIZ_SOURCES);
    ASSERT_NE(nullptr, sources);
    EXPECT_EQ(Praxon::Drive(L'E').getDisk().identity, DiskId());
    EXPECT_EQ(1, ListView_GetItemCount(::GetDlgItem(sources, IDC_WIZ_SOURCES))) << "the user's documents";
    Snap(frame, L"wizard-3-sources");

    const HWND revisions = Press(frame, IDC_WIZ_NEXT, IDC_WIZ_REV_LIMIT);
    ASSERT_NE(nullptr, revisions);
    EXPECT_EQ(L"5", testing::Text(revisions, IDC_WIZ_REV_LIMIT));
    ::SetDlgItemTextW(revisions, IDC_WIZ_REV_LIMIT, L"0");
    EXPECT_EQ(L"1", testing::Text(revisions, IDC_WIZ_REV_LIMIT));
    Snap(frame, L"wizard-4-revisions");
    const HWND review = Press(frame, IDC_WIZ_NEXT, IDC_WIZ_REVIEW_SOURCES);
    ASSERT_NE(nullptr, review);
    EXPECT_NE(std::wstring::npos, testing::Text(review, IDC_WIZ_REVIEW_REVISIONS).find(L": 1"));
    Snap(frame, L"wizard-5-review");
    ASSERT_NE(nullptr, Press(frame, IDC_WIZ_NEXT, IDC_WIZ_TRAY));
    EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(frame, IDC_WIZ_NEXT)));
    EXPECT_TRUE(::IsWindowVisible(::GetDlgItem(frame, IDC_WIZ_START)));
    Snap(frame, L"wizard-6-finish");

    Click(frame, IDC_WIZ_START);
    ASSERT_EQ(IDOK, thread.Result());
    EXPECT_EQ(L"E:\\", choices.destination);
    ASSERT_EQ(1u, choices.sources.size());
    EXPECT_EQ(1u, choices.revisions);
    EXPECT_EQ(1u, choices.iconStatus);
}

TEST_F(WizardTest, CancelLeavesAFirstRunWithoutSettingsButKeepsAWorkingSetup) {
    for (const bool working : {false, true}) {
        if (working) {
            settings::WriteDestination(L"F:\\");
            settings::WriteSourceList({L"C:\\Data"});
            settings::WriteDiskID(L"0");
        }
        SetupChoices choices;
        DialogThread thread([&] { return RunSetupWizard(nullptr, choices); });
        const HWND frame = thread.WaitForDialog(IDC_WIZ_NEXT);
        ASSERT_NE(nullptr, frame);
        ASSERT_NE(nullptr, Press(frame, IDC_WIZ_NEXT, IDC_DEST_TREE));
        ASSERT_NE(nullptr, Press(frame, IDC_WIZ_NEXT, IDC_WIZ_SOURCES));  // the disk is recorded
        Click(frame, IDCANCEL);
        ASSERT_EQ(IDCANCEL, thread.Result());
        std::wstring destination;
        settings::ReadDestination(destination);
        EXPECT_EQ(working ? L"F:\\" : L"", destination) << working;
        EXPECT_EQ(working ? L"0" : L"", DiskId()) << working;
    }
}

}  // namespace
}  // namespace tvx::ui
