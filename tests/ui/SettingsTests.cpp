// The settings window driven as a user drives it: its pages show what is
// stored, the rules of their controls hold while the user clicks and types,
// and OK writes the choices (Cancel only the day boxes, which store at once).
#include "ui/SettingsSheet.h"

#include <gtest/gtest.h>
#include <commctrl.h>

#include "framework/TimeSeam.h"
#include "res/resource.h"
#include "settings/Settings.h"
#include "tests/support/Automation.h"
#include "tests/ui/DialogDriver.h"

namespace tvx::ui {
namespace {

using testing::Click;
using testing::DialogThread;
using testing::IsChecked;
using testing::Text;

class SettingsWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, settings::kOptionsKey);
        ::CreateDirectoryW(kSource, nullptr);
        settings::WriteSourceList({kSource});
        settings::WriteDestination(L"C:\\");
        settings::WriteDiskID(L"NotTavrix");
        settings::WriteMirrorStatus(1);
        settings::WriteRevisions(3);
        settings::WriteIconStatus(1);
        settings::WriteWarningStatus(1);
        settings::WriteNumber(settings::kSchedulerDays, 0x01);
        timeseam::SetDivisor(100);
    }
    void TearDown() override {
        timeseam::SetDivisor(1);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, settings::kOptionsKey);
        ::RemoveDirectoryW(kSource);
    }

    // The window, and each page of its sheet shown once.
    HWND Open(DialogThread& thread) {
        const HWND window = thread.WaitForDialog(IDC_SETTINGS_HELP);
        if (!window) return nullptr;
        const HWND sheet = ::GetDlgItem(window, IDC_SHEET_PLACE);
        for (int i = 0; i < 3; ++i)
            m_pages[i] = reinterpret_cast<HWND>(::SendMessageW(sheet, PSM_INDEXTOHWND, static_cast<WPARAM>(i), 0));
        return window;
    }
    void Show(HWND window, int page, const wchar_t* screenshot) {
        ::SendMessageW(::GetDlgItem(window, IDC_SHEET_PLACE), PSM_SETCURSEL, static_cast<WPARAM>(page), 0);
        ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        ::Sleep(150);  // painted by the window's thread
        EXPECT_TRUE(test::SaveNamedScreenshot(screenshot));
    }
    static DWORD Number(const wchar_t* name) {
        DWORD value = 99;
        settings::ReadNumber(name, value);
        return value;
    }

    static constexpr wchar_t kSource[] = L"C:\\tvx-settings-source";
    HWND m_pages[3] = {};
};

TEST_F(SettingsWindowTest, PagesShowTheStoredSettingsAndOkWritesTheChoices) {
    settings::WriteDestination(L"Z:\\");
    SettingsOutcome outcome;
    DialogThread thread([&] { return RunSettingsWindow(nullptr, &outcome); });
    const HWND window = Open(thread);
    ASSERT_NE(nullptr, window);
    const HWND general = m_pages[0], advanced = m_pages[1], scheduling = m_pages[2];
    ASSERT_TRUE(general && advanced && scheduling);
    EXPECT_TRUE(IsChecked(general, IDC_MIRROR_ON));
    EXPECT_EQ(1, ListView_GetItemCount(::GetDlgItem(general, IDC_GEN_SOURCES)));
    Show(window, 0, L"settings-general");

    // Three limited revisions; the limit keeps to 1 to 99 as it is typed.
    EXPECT_TRUE(IsChecked(advanced, IDC_REV_LIMITED));
    EXPECT_EQ(L"3", Text(advanced, IDC_REV_LIMIT));
    ::SetDlgItemTextW(advanced, IDC_REV_LIMIT, L"150");
    EXPECT_EQ(L"99", Text(advanced, IDC_REV_LIMIT));
    ::SetDlgItemTextW(advanced, IDC_REV_LIMIT, L"0");
    EXPECT_EQ(L"1", Text(advanced, IDC_REV_LIMIT));
    Click(advanced, IDC_REV_UNLIMITED);
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(advanced, IDC_REV_LIMIT)));
    Click(advanced, IDC_TRAY_ICON);
    Show(window, 1, L"settings-advanced");

    // Every 2 hours; the day boxes belong to the other choice.
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(scheduling, IDC_SCHED_INTERVAL)));
    Click(scheduling, IDC_SCHED_EVERY);
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(scheduling, IDC_SCHED_INTERVAL)));
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(scheduling, IDC_SCHED_SUNDAY)));
    ::SetDlgItemTextW(scheduling, IDC_SCHED_INTERVAL, L"2");
    ::SendDlgItemMessageW(scheduling, IDC_SCHED_UNIT, CB_SETCURSEL, 1, 0);
    Click(scheduling, IDC_COPY_ALL);
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(scheduling, IDC_COPY_CHANGED)));
    Show(window, 2, L"settings-scheduling");

    // Ctrl+Tab turns to the next page (from the last to the first).
    ::SetForegroundWindow(window);
    ::SetFocus(nullptr);
    INPUT keys[4] = {};
    for (INPUT& key : keys) key.type = INPUT_KEYBOARD;
    keys[0].ki.wVk = keys[3].ki.wVk = VK_CONTROL;
    keys[1].ki.wVk = keys[2].ki.wVk = VK_TAB;
    keys[2].ki.dwFlags = keys[3].ki.dwFlags = KEYEVENTF_KEYUP;
    ::SendInput(4, keys, sizeof(INPUT));
    const HWND tabs = reinterpret_cast<HWND>(
        ::SendMessageW(::GetDlgItem(window, IDC_SHEET_PLACE), PSM_GETTABCONTROL, 0, 0));
    EXPECT_TRUE(test::WaitUntil([&] { return TabCtrl_GetCurSel(tabs) == 0; }, 5000)) << "Ctrl+Tab";

    ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ASSERT_EQ(IDOK, thread.Result());
    DWORD revisions = 0;
    settings::ReadRevisions(revisions);
    EXPECT_EQ(settings::kRevisionsUnlimited, revisions);
    EXPECT_EQ(1u, Number(settings::kSchedulerType));
    EXPECT_EQ(2u, Number(settings::kSchedulerInterval));
    EXPECT_EQ(1u, Number(settings::kSchedulerIntervalUnit));
    EXPECT_TRUE(outcome.iconChanged);
    EXPECT_EQ(0u, outcome.iconStatus);
    EXPECT_TRUE(outcome.copyAll);
    std::uint64_t start = 99;
    settings::ReadStartTime(start);
    EXPECT_EQ(0u, start) << "a complete copy asked for";
}

TEST_F(SettingsWindowTest, CancelKeepsOnlyTheDayBoxesAndASourceOnTheDestinationDriveIsRefused) {
    DialogThread thread([] { return RunSettingsWindow(nullptr, nullptr); });
    const HWND window = Open(thread);
    ASSERT_NE(nullptr, window);
    Click(m_pages[2], IDC_SCHED_DAYS);
    Click(m_pages[2], IDC_SCHED_SUNDAY + 1);  // Monday
    Click(m_pages[1], IDC_REV_NONE);
    EXPECT_EQ(0x03u, Number(settings::kSchedulerDays)) << "stored at once";

    // The destination C:\ holds the source: OK says why and stays open.
    ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    HWND refused = nullptr;
    ASSERT_TRUE(test::WaitUntil([&] {
        for (const test::WindowInfo& info : test::ListTopLevelWindows(::GetCurrentProcessId()))
            if (info.visible && info.hwnd != window && info.className == L"#32770") refused = info.hwnd;
        return refused != nullptr;
    }, 20000));
    ::PostMessageW(refused, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ASSERT_TRUE(test::WaitUntil([&] { return !::IsWindow(refused); }, 20000));
    EXPECT_TRUE(::IsWindow(window));
    Click(window, IDCANCEL);
    EXPECT_EQ(IDCANCEL, thread.Result());
    DWORD revisions = 0;
    settings::ReadRevisions(revisions);
    EXPECT_EQ(3u, revisions);
    EXPECT_EQ(0x03u, Number(settings::kSchedulerDays));
}

}  // namespace
}  // namespace tvx::ui
