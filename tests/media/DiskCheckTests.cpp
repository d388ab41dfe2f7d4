// The disk check before a pass copies: only the program's own disk is
// written to, it is followed to another drive letter, a first disk is adopted
// after asking, and a wrong or missing disk is asked for (or, with warnings
// off, silently not copied to). The prompts are answered by a script.
#include "media/DiskCheck.h"

#include "tests/media/DiskFixture.h"

namespace tvx::media {
namespace {

using DiskCheckTest = DiskFixture;

TEST_F(DiskCheckTest, OnlyTheProgramsDiskIsWrittenToWhereverItIs) {
    settings::WriteDiskID(m_one);
    EXPECT_EQ(1, Check(1));
    EXPECT_TRUE(m_asked.empty());

    // The disk went to F: the pass copies there, and the setting follows.
    ASSERT_EQ(0u, testdisks::RemoveDisk(L'E'));
    ASSERT_EQ(0u, testdisks::InsertDisk(L'F', m_folder + "/one"));
    EXPECT_EQ(1, Check(1, L"E:\\Backup"));
    EXPECT_EQ(L"F:\\Backup", m_destination);
    std::wstring stored;
    settings::ReadDestination(stored);
    EXPECT_EQ(L"F:\\Backup", stored);

    // Another disk in the drive: silently nothing with warnings off; asked
    // for with them on, until the user takes it as the program's disk.
    ASSERT_EQ(0u, testdisks::RemoveDisk(L'F'));
    ASSERT_EQ(0u, testdisks::InsertDisk(L'E', m_folder + "/two"));
    EXPECT_EQ(0, Check(0));
    EXPECT_TRUE(m_asked.empty());
    EXPECT_EQ(0, Check(1));
    EXPECT_EQ(std::vector<int>{115}, m_asked);
    m_answers.push_back(Answer(kMakeCurrentDisk));
    EXPECT_EQ(1, Check(1));
    EXPECT_EQ(Praxon::Drive(L'E').getDisk().identity, DiskId());
}

// The disk taken out while the not-my-disk question is up, and "make the
// current disk mine" chosen: there is nothing to adopt, so the check asks
// again (now for a disk).
TEST_F(DiskCheckTest, MakingAnEmptyDriveMineAdoptsNothingAndAsksAgain) {
    settings::WriteDiskID(m_one);
    ASSERT_EQ(0u, testdisks::SwapDisk(L'E', m_folder + "/two"));
    m_answers.push_back([](const PromptRequest&) {
        testdisks::RemoveDisk(L'E');
        return kMakeCurrentDisk;
    });
    EXPECT_EQ(0, Check(1));
    EXPECT_EQ((std::vector<int>{115, 160}), m_asked);
    EXPECT_EQ(m_one, DiskId());

    // A destination that is no drive of the program has no disk to check.
    settings::WriteDiskID(L"NotTavrix");
    EXPECT_EQ(1, Check(1, L"C:\\Backup"));
}

}  // namespace
}  // namespace tvx::media
