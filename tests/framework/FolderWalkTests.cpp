#include "framework/FolderWalk.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/Files.h"

namespace {

using tvx::test::Write;

class FolderWalkTest : public ::testing::Test {
protected:
    void SetUp() override { tvx::test::RemoveTree(m_root); }
    void TearDown() override { tvx::test::RemoveTree(m_root); }

    static std::int32_t WalkToEnd(CTVXFolderWalk& walk) {
        if (walk.Start() != 0) return -1;
        for (int i = 0; i < 30000 && !walk.IsFinished(); ++i) ::Sleep(1);
        return walk.GetResult();
    }

    const std::wstring m_root = L"C:\\tmp\\tvx-walk-" + std::to_wstring(::GetCurrentProcessId());
};

// root\a\one (10 bytes), root\a\b\two (100), root\a\b\empty (0), root\c (no
// files), a file of 5 bytes at a path beyond MAX_PATH, and a sparse file of
// 5 GiB (which costs no disk space). The listed folders overlap: root, root\A
// (inside root, another case) and ROOT again; one does not exist.
TEST_F(FolderWalkTest, CountsEveryFileFolderAndByteOnceAtAnyPathLengthIn64Bits) {
    ASSERT_TRUE(Write(m_root + L"\\a\\one", std::string(10, 'x')));
    ASSERT_TRUE(Write(m_root + L"\\a\\b\\two", std::string(100, 'y')));
    ASSERT_TRUE(Write(m_root + L"\\a\\b\\empty", ""));
    ASSERT_TRUE(::CreateDirectoryW((m_root + L"\\c").c_str(), nullptr));
    std::wstring deep = m_root + L"\\deep";
    for (int level = 0; level < 6; ++level) deep += L"\\" + std::wstring(50, static_cast<wchar_t>(L'k' + level));
    ASSERT_GT(deep.size(), static_cast<size_t>(MAX_PATH));
    ASSERT_TRUE(Write(deep + L"\\far", "12345"));
    ASSERT_TRUE(Write(m_root + L"\\c\\big", ""));
    tvx::UniqueHandle big(::CreateFileW((m_root + L"\\c\\big").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                        0, nullptr));
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = 5LL << 30;
    ASSERT_TRUE(::SetFileInformationByHandle(big.Get(), FileEndOfFileInfo, &end, sizeof(end)));
    big.Close();

    std::wstring upper = m_root;
    for (wchar_t& c : upper) c = static_cast<wchar_t>(::towupper(c));
    CTVXFolderWalk walk({m_root + L"\\", m_root + L"\\A", upper, m_root + L"\\missing"});
    ASSERT_EQ(0, WalkToEnd(walk));
    const CTVXFolderWalk::Totals totals = walk.GetTotals();
    EXPECT_EQ(5u, totals.files);
    EXPECT_EQ(4u + 1 + 6, totals.folders);  // root, a, b, c; deep; its six levels
    EXPECT_EQ((5ULL << 30) + 115, totals.bytes);

    // A second run of the same walk starts from zero again.
    ASSERT_EQ(0, WalkToEnd(walk));
    EXPECT_EQ(5u, walk.GetTotals().files);
}

// Cancel stops the walk at its first look at the flag: the walk over the
// whole system drive, let go only by Cancel, ends cancelled. The folders
// cannot be changed while it runs.
TEST_F(FolderWalkTest, CancelEndsTheWalkAndFoldersStayWhileItRuns) {
    CTVXFolderWalk walk({L"C:\\"});
    ASSERT_EQ(0, walk.Start(true));
    EXPECT_FALSE(walk.SetFolders({m_root}));
    EXPECT_EQ(0, walk.Cancel());
    EXPECT_TRUE(walk.IsFinished());
    EXPECT_EQ(ERROR_OPERATION_ABORTED, walk.GetResult());
    EXPECT_TRUE(walk.SetFolders({m_root}));
}

TEST_F(FolderWalkTest, ListSubfoldersGivesOnlyFoldersSortedWithoutRegardToCase) {
    for (const wchar_t* name : {L"beta", L"Alpha", L"gamma"}) ASSERT_TRUE(Write(m_root + L"\\" + name + L"\\f", ""));
    ASSERT_TRUE(Write(m_root + L"\\afile", "x"));
    const std::vector<std::wstring> expected = {L"Alpha", L"beta", L"gamma"};
    EXPECT_EQ(expected, tvx::ListSubfolders(m_root + L"\\"));
    EXPECT_TRUE(tvx::ListSubfolders(m_root + L"\\none").empty());
}

}  // namespace
