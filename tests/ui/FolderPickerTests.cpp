// The folder picker driven as a user drives it: the picker runs on a thread
// of its own, the test selects folders in its tree, clicks its buttons,
// types, answers the questions it asks, and reads its list and texts.
#include "ui/FolderPicker.h"

#include <gtest/gtest.h>
#include <commctrl.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "framework/FolderWalk.h"
#include "res/resource.h"
#include "tests/disks/VirtualDisk.h"
#include "tests/support/Automation.h"
#include "tests/support/Files.h"
#include "tests/ui/DialogDriver.h"
#include "ui/DriveTree.h"  // CTVXFolderTree::PathOf

namespace tvx::ui {
namespace {

using testing::Click;
using testing::Text;

// A click that opens a question must not wait for it to be answered.
void PostClick(HWND dialog, int id) { ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

// A visible window of the dialog's thread other than the ones given that has
// the control, or null.
HWND WaitForOther(HWND dialog, int control, std::initializer_list<HWND> besides) {
    HWND found = nullptr;
    test::WaitUntil(
        [&] {
            struct Search {
                int control;
                std::initializer_list<HWND> besides;
                HWND found;
            } search{control, besides, nullptr};
            ::EnumThreadWindows(
                ::GetWindowThreadProcessId(dialog, nullptr),
                [](HWND hwnd, LPARAM data) -> BOOL {
                    auto* s = reinterpret_cast<Search*>(data);
                    for (HWND not_this : s->besides)
                        if (hwnd == not_this) return TRUE;
                    if (!::IsWindowVisible(hwnd) || !::GetDlgItem(hwnd, s->control)) return TRUE;
                    s->found = hwnd;
                    return FALSE;
                },
                reinterpret_cast<LPARAM>(&search));
            found = search.found;
            return found != nullptr;
        },
        20000);
    return found;
}

// The first static text of a dialog.
std::wstring StaticText(HWND dialog) {
    wchar_t text[512] = {};
    ::GetWindowTextW(::FindWindowExW(dialog, nullptr, L"Static", nullptr), text, 512);
    return text;
}

std::vector<std::wstring> Listed(HWND picker) {
    const HWND list = ::GetDlgItem(picker, IDC_SOURCE_LIST);
    std::vector<std::wstring> texts;
    for (int i = 0; i < ListView_GetItemCount(list); ++i) {
        wchar_t text[1024] = {};
        ListView_GetItemText(list, i, 0, text, 1024);
        texts.emplace_back(text);
    }
    return texts;
}

std::vector<std::wstring> TreeRoots(HWND tree) {
    std::vector<std::wstring> roots;
    for (HTREEITEM item = TreeView_GetRoot(tree); item; item = TreeView_GetNextSibling(tree, item))
        roots.push_back(CTVXFolderTree::PathOf(tree, item));
    return roots;
}

// Selects the path's item in the tree as a user does: expanding each folder
// along it and clicking the last. False when the tree does not show it.
bool SelectInTree(HWND picker, const std::wstring& path) {
    const HWND tree = ::GetDlgItem(picker, IDC_FOLDER_TREE);
    HTREEITEM item = TreeView_GetRoot(tree);
    while (item) {
        const std::wstring at = CTVXFolderTree::PathOf(tree, item);
        const std::wstring prefix = at.back() == L'\\' ? at : at + L"\\";
        if (CompareNoCase(at, path) == 0 || (at.size() == 3 && CompareNoCase(at.substr(0, 2), path) == 0)) {
            return TreeView_SelectItem(tree, item);
        }
        if (path.size() > prefix.size() && CompareNoCase(path.substr(0, prefix.size()), prefix) == 0) {
            TreeView_Expand(tree, item, TVE_EXPAND);
            item = TreeView_GetChild(tree, item);
        } else {
            item = TreeView_GetNextSibling(tree, item);
        }
    }
    return false;
}

// The picker on a thread of its own, opened with a list of folders.
class PickerRun {
public:
    explicit PickerRun(std::vector<std::wstring> sources)
        : m_sources(std::move(sources)), m_thread([this] { return RunFolderPicker(nullptr, m_sources); }) {
        m_window = m_thread.WaitForDialog(IDC_SOURCE_LIST);
        if (!m_window) m_thread.Abandon();
    }
    ~PickerRun() {
        if (m_window && ::IsWindow(m_window)) ::PostMessageW(m_window, WM_CLOSE, 0, 0);
        m_thread.Result();
    }
    HWND Window() const { return m_window; }
    INT_PTR Result() { return m_thread.Result(); }
    const std::vector<std::wstring>& Sources() const { return m_sources; }

private:
    std::vector<std::wstring> m_sources;
    testing::DialogThread m_thread;
    HWND m_window = nullptr;
};

class FolderPickerTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = L"C:\\tmp\\tvx-pick-" + std::to_wstring(::GetCurrentProcessId());
        test::RemoveTree(m_folder);
        for (const wchar_t* name : {L"\\alpha", L"\\beta"})
            ASSERT_TRUE(test::Write(m_folder + name + L"\\file.txt", "x"));
    }
    void TearDown() override { test::RemoveTree(m_folder); }

    std::wstring m_folder;
};

TEST_F(FolderPickerTest, AddsEachFolderOnceInAnyCaseAndReturnsTheListInOrder) {
    std::wstring upper = m_folder + L"\\ALPHA";
    for (wchar_t& c : upper) c = static_cast<wchar_t>(::towupper(c));
    PickerRun picker({upper});
    const HWND window = picker.Window();
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(SelectInTree(window, m_folder + L"\\alpha"));
    Click(window, IDC_ADD_FOLDER);
    EXPECT_EQ(std::vector<std::wstring>{upper}, Listed(window));

    ASSERT_TRUE(SelectInTree(window, m_folder + L"\\beta"));
    Click(window, IDC_ADD_FOLDER);
    ASSERT_TRUE(SelectInTree(window, L"C:"));
    Click(window, IDC_ADD_FOLDER);  // a drive root is listed as its two characters
    Click(window, IDOK);
    EXPECT_EQ(IDOK, picker.Result());
    const std::vector<std::wstring> expected = {upper, m_folder + L"\\beta", L"C:"};
    EXPECT_EQ(expected, picker.Sources());
}

// Z:\tmp\x is /tmp/x; C:\tmp\x lies in the prefix: two folders of one path.
TEST_F(FolderPickerTest, TheSameFolderOnAnotherDriveIsAddedOnlyAfterAskingAndCancelKeepsTheList) {
    const std::wstring onZ = L"Z:" + m_folder.substr(2);
    ASSERT_TRUE(test::Write(onZ + L"\\alpha\\file.txt", "x"));
    PickerRun picker({m_folder + L"\\alpha"});
    const HWND window = picker.Window();
    ASSERT_NE(nullptr, window);
    if (!SelectInTree(window, onZ + L"\\alpha")) GTEST_SKIP() << "no Z: drive in the source tree";

    for (const int answer : {IDCANCEL, IDOK}) {
        PostClick(window, IDC_ADD_FOLDER);
        const HWND question = WaitForOther(window, IDOK, {window});
        ASSERT_NE(nullptr, question);
        EXPECT_NE(std::wstring::npos, StaticText(question).find(L"already exists on another drive"));
        Click(question, answer);
        ASSERT_TRUE(test::WaitUntil([&] { return !::IsWindow(question); }, 20000));
        EXPECT_EQ(answer == IDOK ? 2u : 1u, Listed(window).size());
    }
    Click(window, IDCANCEL);
    EXPECT_EQ(IDCANCEL, picker.Result());
    EXPECT_EQ(std::vector<std::wstring>{m_folder + L"\\alpha"}, picker.Sources());
    test::RemoveTree(onZ);
}

TEST_F(FolderPickerTest, AddStopsAt255FoldersRemoveNeedsASelectionAndOkAFolder) {
    std::vector<std::wstring> many;
    for (size_t i = 0; i + 1 < kMostSourceFolders; ++i) many.push_back(m_folder + L"\\f" + std::to_wstring(i));
    PickerRun picker(many);
    const HWND window = picker.Window();
    ASSERT_NE(nullptr, window);
    const HWND list = ::GetDlgItem(window, IDC_SOURCE_LIST);
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(window, IDC_REMOVE_FOLDER)));
    ASSERT_TRUE(SelectInTree(window, m_folder + L"\\alpha"));
    Click(window, IDC_ADD_FOLDER);
    EXPECT_EQ(kMostSourceFolders, Listed(window).size());
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(window, IDC_ADD_FOLDER)));

    ListView_SetItemState(list, 3, LVIS_SELECTED, LVIS_SELECTED);
    ASSERT_TRUE(::IsWindowEnabled(::GetDlgItem(window, IDC_REMOVE_FOLDER)));
    Click(window, IDC_REMOVE_FOLDER);
    EXPECT_EQ(kMostSourceFolders - 1, Listed(window).size());
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(window, IDC_ADD_FOLDER)));
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(window, IDC_REMOVE_FOLDER)));

    // Every folder selected and the Delete key: nothing left, no OK.
    ListView_SetItemState(list, -1, LVIS_SELECTED, LVIS_SELECTED);
    ::SendMessageW(list, WM_KEYDOWN, VK_DELETE, 0);
    EXPECT_TRUE(Listed(window).empty());
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(window, IDOK)));
}

TEST_F(FolderPickerTest, NewFolderRefusesBadPathsThenMakesEveryLevelAndListsIt) {
    PickerRun picker({});
    const HWND window = picker.Window();
    ASSERT_NE(nullptr, window);
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(window, IDOK)));
    PostClick(window, IDC_NEW_FOLDER);
    const HWND name = WaitForOther(window, IDC_NEW_FOLDER_NAME, {window});
    ASSERT_NE(nullptr, name);

    // Two backslashes in a row; a removable drive.
    for (const std::wstring& bad : {m_folder + L"\\\\made", std::wstring(L"E:\\made")}) {
        ::SetDlgItemTextW(name, IDC_NEW_FOLDER_NAME, bad.c_str());
        PostClick(name, IDOK);
        const HWND invalid = WaitForOther(window, IDOK, {window, name});
        ASSERT_NE(nullptr, invalid) << bad;
        EXPECT_EQ(L"You have chosen an invalid path.", StaticText(invalid));
        Click(invalid, IDOK);
        ASSERT_TRUE(test::WaitUntil([&] { return !::IsWindow(invalid); }, 20000));
        EXPECT_TRUE(::IsWindowVisible(name)) << "the new-folder dialog stays for another try";
    }

    const std::wstring made = m_folder + L"\\made\\deeper";
    ::SetDlgItemTextW(name, IDC_NEW_FOLDER_NAME, (made + L"\\").c_str());
    Click(name, IDOK);
    EXPECT_TRUE(test::WaitUntil([&] { return !::IsWindow(name); }, 20000));
    EXPECT_TRUE(test::Exists(made));
    EXPECT_EQ(std::vector<std::wstring>{made}, Listed(window));
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(window, IDOK)));
}

TEST_F(FolderPickerTest, CopySizeShowsTheListedFoldersMegabytes) {
    // 3 MiB and a bit in alpha (sparse: nothing is written), 1 byte in beta.
    tvx::UniqueHandle file(::CreateFileW((m_folder + L"\\alpha\\big").c_str(), GENERIC_WRITE, 0, nullptr,
                                         CREATE_ALWAYS, 0, nullptr));
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = (3 << 20) + 1000;
    ASSERT_TRUE(::SetFileInformationByHandle(file.Get(), FileEndOfFileInfo, &end, sizeof(end)));
    file.Close();

    PickerRun picker({m_folder + L"\\alpha", m_folder + L"\\beta"});
    const HWND window = picker.Window();
    ASSERT_NE(nullptr, window);
    EXPECT_TRUE(test::WaitUntil([&] { return Text(window, IDC_COPY_SIZE) == L"Copy Size: 3 MB"; }, 20000))
        << Text(window, IDC_COPY_SIZE);
    const HWND list = ::GetDlgItem(window, IDC_SOURCE_LIST);
    ListView_SetItemState(list, -1, LVIS_SELECTED, LVIS_SELECTED);
    Click(window, IDC_REMOVE_FOLDER);
    EXPECT_EQ(L"Copy Size: 0 MB", Text(window, IDC_COPY_SIZE));
}

// Moves the mouse to a point of the screen, as the hand does.
void MouseTo(POINT screen, DWORD buttonFlags = 0) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = ::MulDiv(screen.x, 65535, ::GetSystemMetrics(SM_CXSCREEN) - 1);
    input.mi.dy = ::MulDiv(screen.y, 65535, ::GetSystemMetrics(SM_CYSCREEN) - 1);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | buttonFlags;
    ::SendInput(1, &input, sizeof(input));
    ::Sleep(30);  // the pace of a hand, so that the tree sees a drag
}

POINT CentreOnScreen(HWND control, RECT rect) {
    POINT centre{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    ::ClientToScreen(control, &centre);
    return centre;
}

// A folder dragged from the tree onto the second listed folder is put in
// before it, without a question.
TEST_F(FolderPickerTest, ADraggedFolderIsInsertedWhereItIsDropped) {
    PickerRun picker({L"C:\\one", L"C:\\two"});
    const HWND window = picker.Window();
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(SelectInTree(window, m_folder + L"\\beta"));
    const HWND tree = ::GetDlgItem(window, IDC_FOLDER_TREE), list = ::GetDlgItem(window, IDC_SOURCE_LIST);
    RECT from{}, to{};
    ASSERT_TRUE(TreeView_GetItemRect(tree, TreeView_GetSelection(tree), &from, TRUE));
    ASSERT_TRUE(ListView_GetItemRect(list, 1, &to, LVIR_BOUNDS));
    const POINT start = CentreOnScreen(tree, from), end = CentreOnScreen(list, to);

    MouseTo(start);
    MouseTo(start, MOUSEEVENTF_LEFTDOWN);
    for (int step = 1; step <= 10; ++step)
        MouseTo({start.x + (end.x - start.x) * step / 10, start.y + (end.y - start.y) * step / 10});
    MouseTo(end, MOUSEEVENTF_LEFTUP);
    ASSERT_TRUE(test::WaitUntil([&] { return Listed(window).size() == 3; }, 20000));
    const std::vector<std::wstring> expected = {L"C:\\one", m_folder + L"\\beta", L"C:\\two"};
    EXPECT_EQ(expected, Listed(window));
}

// The program's drives (every removable drive: E: with a disk, F: empty)
// hold the mirror: they are no sources.
TEST_F(FolderPickerTest, TheProgramsDrivesAreNotInTheSourceTree) {
    const std::string disk = "/tmp/tvx-ui-pick-" + std::to_string(::GetCurrentProcessId());
    ASSERT_EQ(0u, testdisks::MakeDiskFolder(disk, 0x7EE5, L"SOURCE"));
    ASSERT_EQ(0u, testdisks::InsertDisk(L'E', disk));
    {
        PickerRun picker({});
        ASSERT_NE(nullptr, picker.Window());
        const std::vector<std::wstring> roots = TreeRoots(::GetDlgItem(picker.Window(), IDC_FOLDER_TREE));
        EXPECT_NE(roots.end(), std::find(roots.begin(), roots.end(), L"C:\\"));
        EXPECT_EQ(roots.end(), std::find(roots.begin(), roots.end(), L"E:\\"));
        EXPECT_EQ(roots.end(), std::find(roots.begin(), roots.end(), L"F:\\"));
    }
    testdisks::RemoveDisk(L'E');
    testdisks::DeleteDiskFolder(disk);
}

}  // namespace
}  // namespace tvx::ui
