// The destination drive tree on a tree control of this thread, as the
// settings page and the wizard use it.
#include "ui/DriveTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "framework/FolderWalk.h"
#include "framework/TimeSeam.h"
#include "res/resource.h"
#include "tests/disks/VirtualDisk.h"
#include "tests/support/Automation.h"

namespace tvx::ui {
namespace {

constexpr DWORD Bit(wchar_t letter) { return 1u << (letter - L'A'); }

class DriveTreeTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_parent = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 300, 300, nullptr, nullptr, nullptr, nullptr);
        m_tree = ::CreateWindowExW(0, WC_TREEVIEWW, L"", WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS, 0, 0, 300, 300,
                                   m_parent, reinterpret_cast<HMENU>(IDC_FOLDER_TREE), nullptr, nullptr);
    }
    void TearDown() override { ::DestroyWindow(m_parent); }

    // The paths of an item's children (of the top level for null).
    std::vector<std::wstring> Children(HTREEITEM parent) const {
        std::vector<std::wstring> paths;
        for (HTREEITEM item = parent ? TreeView_GetChild(m_tree, parent) : TreeView_GetRoot(m_tree); item;
             item = TreeView_GetNextSibling(m_tree, item))
            paths.push_back(CTVXFolderTree::PathOf(m_tree, item));
        return paths;
    }

    HWND m_parent = nullptr;
    HWND m_tree = nullptr;
};

// Only drives of the mask; one of the program's drives shows the kind of
// drive with its letter, and the maker's icon in its letter's slot.
TEST_F(DriveTreeTest, ListsTheMasksDrivesWithTheProgramsDriveLabelledByItsKind) {
    const std::string disk = "/tmp/tvx-ui-tree-" + std::to_string(::GetCurrentProcessId());
    ASSERT_EQ(0u, testdisks::MakeDiskFolder(disk, 0x7EE5, L"TREES"));
    ASSERT_EQ(0u, testdisks::InsertDisk(L'E', disk));
    CTVXDriveTree drives;
    ASSERT_TRUE(drives.Attach(m_tree, Bit(L'E') | Bit(L'C')));
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\", L"E:\\"}), Children(nullptr));

    wchar_t label[128] = {};
    TVITEMW item{};
    item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_HANDLE;
    item.hItem = TreeView_GetNextSibling(m_tree, TreeView_GetRoot(m_tree));
    item.pszText = label;
    item.cchTextMax = 128;
    ASSERT_TRUE(TreeView_GetItem(m_tree, &item));
    const Praxon::Drive drive(L'E');
    EXPECT_EQ(drive.getSubFamilyText() + L" (E:)", label);
    if (const UniqueIcon icon{drive.getIcon(16)}) {
        EXPECT_EQ(MakerIconIndex(L'E'), item.iImage);
    }
    EXPECT_TRUE(drives.Select(L"e:\\"));
    EXPECT_EQ(L"E:\\", drives.SelectedPath());
    drives.Detach();
    testdisks::RemoveDisk(L'E');
    testdisks::DeleteDiskFolder(disk);
}

// A folder made on C: after the tree read C: shows once the tree refreshed
// itself; the selected folder stays selected.
TEST_F(DriveTreeTest, AFolderMadeOnADriveShowsAfterTheRefreshWhichKeepsTheSelection) {
    timeseam::SetDivisor(20);
    CTVXDriveTree drives;
    ASSERT_TRUE(drives.Attach(m_tree, Bit(L'C')));
    EXPECT_EQ(1u, drives.WatchedDrives());
    ASSERT_TRUE(drives.Select(L"C:\\windows"));
    const std::wstring made = L"C:\\tvx-tree-" + std::to_wstring(::GetCurrentProcessId());
    ASSERT_TRUE(::CreateDirectoryW(made.c_str(), nullptr));
    const bool shown = test::WaitUntil(
        [&] {
            MSG message;
            while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
            const std::vector<std::wstring> onC = Children(TreeView_GetRoot(m_tree));
            return std::find(onC.begin(), onC.end(), made) != onC.end();
        },
        20000, 10);
    EXPECT_TRUE(shown);
    EXPECT_EQ(0, CompareNoCase(L"C:\\windows", drives.SelectedPath())) << drives.SelectedPath();
    ::RemoveDirectoryW(made.c_str());
    timeseam::SetDivisor(1);
}

}  // namespace
}  // namespace tvx::ui
