// Shows every alert, prompt and the about window once and saves a screenshot
// of each under build/win/screenshots, named after the dialog and the DPI it
// was drawn at: the pictures a person checks for cut-off or overlapping text.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "framework/ProcessFlags.h"
#include "media/Praxon.h"
#include "res/resource.h"
#include "settings/Settings.h"
#include "tests/disks/VirtualDisk.h"
#include "tests/support/Automation.h"
#include "tests/ui/DialogDriver.h"
#include "ui/FileExclusionDlg.h"
#include "ui/PraxonUI.h"
#include "ui/FolderPicker.h"
#include "ui/Prompts.h"
#include "ui/UserInterface.h"

namespace tvx::ui {
namespace {

using testing::DialogThread;

constexpr wchar_t kDesktopKey[] = L"Control Panel\\Desktop";

void Snap(HWND window, const std::wstring& name) {
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    ::Sleep(150);  // let the dialog's thread finish painting
    EXPECT_TRUE(test::SaveNamedScreenshot(name));
}

TEST(Gallery, EveryPromptAndTheAboutWindow) {
    const std::wstring path = L"C:\\Users\\Public\\Documents\\Annual accounts\\2026\\Quarterly figures.xlsx";
    const int dialogs[] = {IDD_DISK_FULL_LINK, IDD_FULL_FIXED,      IDD_FULL_REMOVABLE,   IDD_NO_DISK,
                           IDD_NOT_MY_DISK,    IDD_INSERT_DISK,     IDD_FILLING_LINK,     IDD_FILLING_FIXED,
                           IDD_FILLING_BUY,    IDD_FILE_TOO_LARGE,  IDD_FILE_ERROR,       IDD_NAME_TOO_LONG,
                           IDD_TURN_OFF,       IDD_SOURCE_MISSING,  IDD_INVALID_PATH,     IDD_NOT_FIXED_SOURCE,
                           IDD_SAME_DRIVE,     IDD_SAME_FOLDER,     IDD_NO_MAKER_DRIVE,   IDD_RENAME_NO_DISK,
                           IDD_RENAME_VOLUME,  IDD_PASSWORD,        IDD_UNPROTECT,        IDD_FIRST_COPY_DONE};
    for (int dialog : dialogs) {
        PromptRequest request;
        request.dialog = dialog;
        request.text = dialog == IDD_INSERT_DISK ? L"USB flash drive (E:)" : path;
        if (dialog == IDD_RENAME_NO_DISK) request.text.clear();  // no disk: the insert-one text
        request.code = dialog == IDD_INSERT_DISK ? 1 : ERROR_NOT_READY;
        request.detail = L"3/2/2026|12/7/2026";
        DialogThread thread([request] { return ShowPromptDialog(request); });
        // Every template has OK (the rename's Retry is OK too).
        const HWND window = thread.WaitForDialog(IDOK);
        ASSERT_NE(nullptr, window) << dialog;
        ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        ::Sleep(150);  // let the dialog's thread finish painting
        EXPECT_TRUE(test::SaveNamedScreenshot(L"prompt-" + std::to_wstring(dialog)));
        ::PostMessageW(window, WM_CLOSE, 0, 0);
        thread.Result();
    }

    DialogThread about([] {
        ShowAbout(nullptr);
        return INT_PTR{IDOK};
    });
    const HWND splash = test::WaitForWindow(L"TavrixDovetrak3Splash", nullptr, 4000);
    ASSERT_NE(nullptr, splash);
    ::Sleep(150);
    EXPECT_TRUE(test::SaveNamedScreenshot(L"about"));
    ::PostMessageW(splash, WM_KEYDOWN, VK_ESCAPE, 0);  // a key ends it
    EXPECT_EQ(IDOK, about.Result());
}

// The drive library's protection dialogs on a disk in E:, each showing why
// its OK did not go through, and the notice after protecting.
TEST(Gallery, DiskProtectionDialogs) {
    const std::string folder = "/tmp/tvx-ui-gallery-" + std::to_string(::GetCurrentProcessId());
    ASSERT_EQ(0u, testdisks::MakeDiskFolder(folder, 0x6A11E4, L"BACKUP"));
    ASSERT_EQ(0u, testdisks::InsertDisk(L'E', folder));
    for (const int dialog : {IDD_PROTECT_DISK, IDD_UNPROTECT_DISK}) {
        DialogThread thread([dialog] {
            Praxon::Drive drive(L'E');
            return INT_PTR{dialog == IDD_PROTECT_DISK ? PraxonUI::protect(drive) : PraxonUI::unprotect(drive)};
        });
        HWND window = thread.WaitForDialog(IDC_PASSWORD);
        // "two" differs from the confirmation and is not the password set.
        for (const wchar_t* typed : {L"two", L"one"}) {
            if (!window) break;
            ::SetDlgItemTextW(window, IDC_PASSWORD, typed);
            ::SetDlgItemTextW(window, IDC_PASSWORD_CONFIRM, L"one");
            testing::Click(window, IDOK);
            if (typed[1] == L'w') Snap(window, L"prompt-" + std::to_wstring(dialog));
        }
        if (window && dialog == IDD_PROTECT_DISK && (window = thread.WaitForDialog(IDC_NOTICE_TEXT))) {
            Snap(window, L"prompt-" + std::to_wstring(IDD_DISK_NOTICE));
            testing::Click(window, IDOK);
        }
        if (!window) thread.Abandon();
        EXPECT_EQ(IDOK, thread.Result()) << dialog;
    }
    testdisks::RemoveDisk(L'E');
    testdisks::DeleteDiskFolder(folder);
}

// The File Exclusion dialog with a stored list (pdf, a type Wine registers,
// and two typed ones, one too long for its column), a selected offered type
// and a typed extension.
TEST(Gallery, FileExclusionDialog) {
    std::vector<std::wstring> old;
    const bool hadList = settings::ReadFilterList(old) == ERROR_SUCCESS;
    ASSERT_EQ(ERROR_SUCCESS, settings::WriteFilterList({L"pdf", L"bak", L"Photoshop-backup"}));
    std::vector<std::wstring> result;
    DialogThread thread([&result] { return RunFileExclusionDialog(nullptr, result); });
    const HWND window = thread.WaitForDialog(IDC_OFFERED_TYPES);
    if (window) {
        LVITEMW first = {};
        first.stateMask = first.state = LVIS_SELECTED;
        ::SendMessageW(::GetDlgItem(window, IDC_OFFERED_TYPES), LVM_SETITEMSTATE, 0,
                       reinterpret_cast<LPARAM>(&first));
        ::SetDlgItemTextW(window, IDC_TYPED_EXTENSION, L"mp3");
        Snap(window, L"dialog-" + std::to_wstring(IDD_FILE_EXCLUSION));
        testing::Click(window, IDCANCEL);
    } else {
        thread.Abandon();
    }
    EXPECT_EQ(IDCANCEL, thread.Result());
    if (hadList) {
        settings::WriteFilterList(old);
    } else {
        settings::DeleteFilterList();
    }
    EXPECT_NE(nullptr, window);
}

// The folder picker with a few folders listed, its tree opened at the first,
// and its new-folder question in front of it.
TEST(Gallery, FolderPicker) {
    std::vector<std::wstring> sources = {L"C:\\windows\\system32", L"C:\\users\\Public\\Documents", L"Z:\\tmp",
                                         L"C:"};
    DialogThread thread([&sources] { return RunFolderPicker(nullptr, sources); });
    const HWND window = thread.WaitForDialog(IDC_SOURCE_LIST);
    ASSERT_NE(nullptr, window);
    // The picture is better with the size counted (not a condition of the test).
    test::WaitUntil([&] { return testing::Text(window, IDC_COPY_SIZE) != L"Copy Size: 0 MB"; }, 5000);
    Snap(window, L"folder-picker");
    ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_NEW_FOLDER, BN_CLICKED), 0);
    HWND name = nullptr;
    test::WaitUntil(
        [&] {
            for (HWND w = ::FindWindowExW(nullptr, nullptr, L"#32770", nullptr); w && !name;
                 w = ::FindWindowExW(nullptr, w, L"#32770", nullptr))
                if (::GetDlgItem(w, IDC_NEW_FOLDER_NAME) && ::IsWindowVisible(w)) name = w;
            return name != nullptr;
        },
        20000);
    if (name) {
        Snap(name, L"new-folder");
        ::PostMessageW(name, WM_CLOSE, 0, 0);
    }
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(IDCANCEL, thread.Result());
}

// Draws the gallery, the progress window and the tray menu again in a
// process that starts at 144 DPI.
TEST(Gallery, At144Dpi) {
    if (::GetDpiForSystem() != 96) GTEST_SKIP() << "already a gallery process";
    DWORD old = 0, size = sizeof(old);
    const bool hadValue = ::RegGetValueW(HKEY_CURRENT_USER, kDesktopKey, L"LogPixels", RRF_RT_REG_DWORD, nullptr,
                                         &old, &size) == ERROR_SUCCESS;
    const DWORD dpi = 144;
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegSetKeyValueW(HKEY_CURRENT_USER, kDesktopKey, L"LogPixels", REG_DWORD, &dpi, sizeof(dpi)));
    test::ProgramProcess gallery;
    const bool started =
        gallery.Start(test::ExecutableFolder() + L"\\ui_tests.exe",
                      L"--gtest_filter=Gallery.EveryPrompt*:Gallery.DiskProtection*:Gallery.FileExclusion*:"
                      L"Gallery.FolderPicker*:ProgressWindowTest.ShowsTheCopy*:TrayTest.RightClickWhileAWindow*:"
                      L"SettingsWindowTest.Pages*:WizardTest.Pages*");
    const bool ended = started && gallery.WaitExit(120000);
    if (hadValue)
        ::RegSetKeyValueW(HKEY_CURRENT_USER, kDesktopKey, L"LogPixels", REG_DWORD, &old, sizeof(old));
    else
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kDesktopKey, L"LogPixels");
    ASSERT_TRUE(ended);
    EXPECT_EQ(0u, gallery.ExitCode());
}

}  // namespace
}  // namespace tvx::ui
