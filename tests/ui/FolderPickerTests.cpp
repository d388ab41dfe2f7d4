// The folder picker driven as a user drives it: the picker runs on a thread
// of its own, the test selects folders in its tree, clicks, types,
// answers the questions it asks, and reads its list and texts.
#include "ui/FolderPicker.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// A click that opens a question must not wait for its answer.
void PostClick(HWND dialog, int id) { ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

// The dialog that `owner` opened in front of itself, or null.
HWND WaitForQuestion(HWND owner) {
    struct Search {
        HWND owner, found;
    } search{owner, nullptr};
    test::WaitUntil(
        [&] {
            ::EnumThreadWindows(
                ::GetWindowThreadProcessId(owner, nullptr),
                [](HWND hwnd, LPARAM data) -> BOOL {
                    auto* s = reinterpret_cast<Search*>(data);
                    if (::IsWindowVisible(hwnd) && ::GetWindow(hwnd, GW_OWNER) == s->owner) s->found = hwnd;
                    return s->found == nullptr;
                },
                reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        20000);
    return search.found;
}

// Answers a question and waits for it to go.
void Answer(HWND question, int button) {
    Click(question, button);
    EXPECT_TRUE(test::WaitUntil([&] { return !::IsWindow(question); }, 20000));
}

std::wstring FirstStatic(HWND dialog) {
    wchar_t text[512] = {};
    ::GetWindowTextW(::FindWindowExW(dialog, nullptr, L"Static", nullptr), text, 512);
    return text;
}

std::vector<std::wstring> Listed(HWND picker) {
    const HWND list = ::GetDlgItem(picker, IDC_SOURCE_LIST);
    std::vector<std::wstring> texts(static_cast<size_t>(ListView_GetItemCount(list)), std::wstring(1024, 0));
    for (size_t i = 0; i < texts.size(); ++i) {
        ListView_GetItemText(list, static_cast<int>(i), 0, texts[i].data(), 1024);
        texts[i].resize(std::wcslen(texts[i].c_str()));
    }
    return texts;
}

bool Enabled(HWND dialog, int id) { return ::IsWindowEnabled(::GetDlgItem(dialog, id)); }

// Selects the path's item in the tree as a user does, expanding each folder
// along it. False when the tree does not show it.
bool SelectInTree(HWND picker, const std::wstring& path) {
    const HWND tree = ::GetDlgItem(picker, IDC_FOLDER_TREE);
    for (HTREEITEM item = TreeView_GetRoot(tree); item;) {
        std::wstring at = CTVXFolderTree::PathOf(tree, item);
        if (CompareNoCase(at, path) == 0 || CompareNoCase(at, path + L"\\") == 0) return TreeView_SelectItem(tree, item);
        if (at.back() != L'\\') at += L'\\';
        if (path.size() > at.size() && CompareNoCase(path.substr(0, at.size()), at) == 0) {
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
    HWND window = nullptr;

    explicit PickerRun(std::vector<std::wstring> sources)
        : m_sources(std::move(sources)), m_thread([this] { return RunFolderPicker(nullptr, m_sources); }) {
        if (!(window = m_thread.WaitForDialog(IDC_SOURCE_LIST))) m_thread.Abandon();
    }
    ~PickerRun() {
        if (::IsWindow(window)) ::PostMessageW(window, WM_CLOSE, 0, 0);
    }
    INT_PTR Result() { return m_thread.Result(); }
    const std::vector<std::wstring>& Sources() const { return m_sources; }

private:
    std::vector<std::wstring> m_sources;
    testing::DialogThread m_thread;
};

// C:\tmp\tvx-pick-<pid> with the folders alpha (a file of 3 MiB and a bit,
// sparse) and beta.
class FolderPickerTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::RemoveTree(m_folder);
        ASSERT_TRUE(test::Write(m_folder + L"\\beta\\file.txt", "x"));
        ASSERT_TRUE(test::Write(m_folder + L"\\alpha\\big", ""));
        UniqueHandle big(::CreateFileW((m_folder + L"\\alpha\\big").c_str(), GENERIC_WRITE, 0, nullptr,
                                       OPEN_EXISTING, 0, nullptr));
        FILE_END_OF_FILE_INFO end{};
        end.EndOfFile.QuadPart = (3 << 20) + 1000;
        ASSERT_TRUE(::SetFileInformationByHandle(big.Get(), FileEndOfFileInfo, &end, sizeof(end)));
    }
    void TearDown() override { test::RemoveTree(m_folder); }

    const std::wstring m_folder = L"C:\\tmp\\tvx-pick-" + std::to_wstring(::GetCurrentProcessId());
};

TEST_F(FolderPickerTest, AddsEachFolderOnceInAnyCaseAndReturnsTheListInOrder) {
    std::wstring upper = m_folder + L"\\ALPHA";
    std::transform(upper.begin(), upper.end(), upper.begin(), ::towupper);
    PickerRun picker({upper});
    ASSERT_NE(nullptr, picker.window);
    for (const std::wstring& path : {m_folder + L"\\alpha", m_folder + L"\\beta", std::wstring(L"C:")}) {
        ASSERT_TRUE(SelectInTree(picker.window, path)) << path;
        Click(picker.window, IDC_ADD_FOLDER);
    }
    Click(picker.window, IDOK);
    EXPECT_EQ(IDOK, picker.Result());
    // The drive root is listed as its two characters.
    const std::vector<std::wstring> expected = {upper, m_folder + L"\\beta", L"C:"};
    EXPECT_EQ(expected, picker.Sources());
}

// Z:\tmp\x is /tmp/x; C:\tmp\x lies in the prefix: two folders of one path.
TEST_F(FolderPickerTest, TheSameFolderOnAnotherDriveIsAddedOnlyAfterAskingAndCancelKeepsTheList) {
    const std::wstring onZ = L"Z:" + m_folder.substr(2);
    ASSERT_TRUE(test::Write(onZ + L"\\alpha\\file.txt", "x"));
    PickerRun picker({m_folder + L"\\alpha"});
    ASSERT_NE(nullptr, picker.window);
    if (!SelectInTree(picker.window, onZ + L"\\alpha")) GTEST_SKIP() << "no Z: drive in the source tree";
    for (const int answer : {IDCANCEL, IDOK}) {
        PostClick(picker.window, IDC_ADD_FOLDER);
        const HWND question = WaitForQuestion(picker.window);
        ASSERT_NE(nullptr, question);
        EXPECT_NE(std::wstring::npos, FirstStatic(question).find(L"already exists on another drive"));
        Answer(question, answer);
        EXPECT_EQ(answer == IDOK ? 2u : 1u, Listed(picker.window).size());
    }
    Click(picker.window, IDCANCEL);
    EXPECT_EQ(IDCANCEL, picker.Result());
    EXPECT_EQ(std::vector<std::wstring>{m_folder + L"\\alpha"}, picker.Sources());
    test::RemoveTree(onZ);
}

// 254 folders (none of them exists) and alpha.
TEST_F(FolderPickerTest, At255FoldersAddIsOffRemoveNeedsASelectionOkAFolderAndTheSizeFollows) {
    std::vector<std::wstring> many;
    for (size_t i = 0; i + 1 < kMostSourceFolders; ++i) many.push_back(m_folder + L"\\f" + std::to_wstring(i));
    PickerRun picker(many);
    const HWND window = picker.window, list = ::GetDlgItem(window, IDC_SOURCE_LIST);
    ASSERT_NE(nullptr, window);
    EXPECT_FALSE(Enabled(window, IDC_REMOVE_FOLDER));
    ASSERT_TRUE(SelectInTree(window, m_folder + L"\\alpha"));
    Click(window, IDC_ADD_FOLDER);
    EXPECT_EQ(kMostSourceFolders, Listed(window).size());
    EXPECT_FALSE(Enabled(window, IDC_ADD_FOLDER));
    EXPECT_TRUE(test::WaitUntil([&] { return Text(window, IDC_COPY_SIZE) == L"Copy Size: 3 MB"; }, 20000))
        << Text(window, IDC_COPY_SIZE);

    ListView_SetItemState(list, 3, LVIS_SELECTED, LVIS_SELECTED);
    ASSERT_TRUE(Enabled(window, IDC_REMOVE_FOLDER));
    Click(window, IDC_REMOVE_FOLDER);
    EXPECT_EQ(kMostSourceFolders - 1, Listed(window).size());
    EXPECT_TRUE(Enabled(window, IDC_ADD_FOLDER));
    EXPECT_FALSE(Enabled(window, IDC_REMOVE_FOLDER));

    // Every folder selected and the Delete key: nothing left, no OK.
    ListView_SetItemState(list, -1, LVIS_SELECTED, LVIS_SELECTED);
    ::SendMessageW(list, WM_KEYDOWN, VK_DELETE, 0);
    EXPECT_TRUE(Listed(window).empty());
    EXPECT_FALSE(Enabled(window, IDOK));
    EXPECT_EQ(L"Copy Size: 0 MB", Text(window, IDC_COPY_SIZE));
}

// The program's drives (every removable drive: E: with a disk, F: empty)
// hold the mirror: the tree leaves them out, and no folder is made there.
TEST_F(FolderPickerTest, NewFolderRefusesBadPathsAndTheProgramsDrivesThenMakesEveryLevel) {
    const std::string disk = "/tmp/tvx-ui-pick-" + std::to_string(::GetCurrentProcessId());
    ASSERT_EQ(0u, testdisks::MakeDiskFolder(disk, 0x7EE5, L"SOURCE"));
    ASSERT_EQ(0u, testdisks::InsertDisk(L'E', disk));
    PickerRun picker({});
    ASSERT_NE(nullptr, picker.window);
    EXPECT_TRUE(SelectInTree(picker.window, L"C:"));
    EXPECT_FALSE(SelectInTree(picker.window, L"E:"));
    EXPECT_FALSE(SelectInTree(picker.window, L"F:"));
    EXPECT_FALSE(Enabled(picker.window, IDOK));

    PostClick(picker.window, IDC_NEW_FOLDER);
    const HWND name = WaitForQuestion(picker.window);
    ASSERT_NE(nullptr, ::GetDlgItem(name, IDC_NEW_FOLDER_NAME));
    for (const std::wstring& bad : {m_folder + L"\\\\made", std::wstring(L"E:\\made")}) {
        ::SetDlgItemTextW(name, IDC_NEW_FOLDER_NAME, bad.c_str());
        PostClick(name, IDOK);
        const HWND invalid = WaitForQuestion(name);
        ASSERT_NE(nullptr, invalid) << bad;
        EXPECT_EQ(L"You have chosen an invalid path.", FirstStatic(invalid));
        Answer(invalid, IDOK);
        EXPECT_TRUE(::IsWindowVisible(name)) << "the new-folder dialog stays for another try";
    }
    const std::wstring made = m_folder + L"\\made\\deeper";
    ::SetDlgItemTextW(name, IDC_NEW_FOLDER_NAME, (made + L"\\").c_str());
    Answer(name, IDOK);
    EXPECT_TRUE(test::Exists(made));
    EXPECT_EQ(std::vector<std::wstring>{made}, Listed(picker.window));
    EXPECT_TRUE(Enabled(picker.window, IDOK));
    testdisks::RemoveDisk(L'E');
    testdisks::DeleteDiskFolder(disk);
}

}  // namespace
}  // namespace tvx::ui
