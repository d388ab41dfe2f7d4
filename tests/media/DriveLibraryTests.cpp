// The drive library on Wine's removable drives: which drives are the
// program's, the disk identity that follows a disk from letter to letter, and
// the requests that Wine's drives refuse without breaking anything.
#include "media/Praxon.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/disks/VirtualDisk.h"

namespace tvx {
namespace {

class DriveLibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = "/tmp/tvx-media-tests-" + std::to_string(::GetCurrentProcessId());
        for (const char* disk : {"/one", "/two"}) testdisks::DeleteDiskFolder(m_folder + disk);
        ASSERT_EQ(0u, testdisks::MakeDiskFolder(m_folder + "/one", 0x1234ABCD, L"BACKUP"));
        ASSERT_EQ(0u, testdisks::MakeDiskFolder(m_folder + "/two", 0x0BADF00D, L"BACKUP"));
        ASSERT_EQ(0u, testdisks::InsertDisk(L'E', m_folder + "/one"));
    }
    void TearDown() override {
        testdisks::RemoveDisk(L'E');
        testdisks::RemoveDisk(L'F');
        testdisks::DeleteDiskFolder(m_folder);
    }
    std::string m_folder;
};

TEST_F(DriveLibraryTest, IdentityFollowsTheDiskAndAReformattedOrMissingDiskIsAnother) {
    const std::wstring identity = Praxon::Drive(L'E').getDisk().identity;
    EXPECT_EQ(0u, identity.find(L"1234ABCD-")) << "serial first";

    // The same disk under another letter is the same disk.
    ASSERT_EQ(0u, testdisks::RemoveDisk(L'E'));
    ASSERT_EQ(0u, testdisks::InsertDisk(L'F', m_folder + "/one"));
    EXPECT_EQ(identity, Praxon::Drive(L'F').getDisk().identity);
    EXPECT_EQ(L"BACKUP", Praxon::Drive(L'F').getDisk().label);

    // Another serial (a reformatted disk) is another disk; an empty drive has none.
    ASSERT_EQ(0u, testdisks::SwapDisk(L'F', m_folder + "/two"));
    EXPECT_NE(identity, Praxon::Drive(L'F').getDisk().identity);
    const Praxon::Drive empty(L'E');
    EXPECT_FALSE(empty.hasDisk());
    EXPECT_EQ(L"", empty.getDisk().identity);
    EXPECT_EQ(0u, empty.getMaxRawCapacity());
    EXPECT_TRUE(empty.isTavrixDrive()) << "an empty removable drive is still one of the program's drives";
}

TEST_F(DriveLibraryTest, TheProgramsDrivesAreTheRemovableOnes) {
    Praxon::DriveArray drives(0xFF, true);
    ASSERT_TRUE(drives.init(0x80FF));
    bool sawE = false;
    for (std::size_t i = 0; i < drives.count(); ++i) {
        const Praxon::Drive& drive = drives[i];
        EXPECT_NE(L'C', drive.letter()) << "the system drive";
        EXPECT_EQ(Praxon::kMakerFamily, drive.getFamily());
        sawE = sawE || drive.letter() == L'E';
    }
    EXPECT_TRUE(sawE);
    const Praxon::Drive e(L'E');
    EXPECT_EQ(L"E:\\", e.getDrvRootPath());
    EXPECT_NE(0u, Praxon::SubFamilyIconId(e.getSubFamily())) << "every drive of the program has an icon";
    EXPECT_EQ(L"BACKUP (E:)", e.getLabelText());
    EXPECT_FALSE(Praxon::Drive(L'C').isTavrixDrive());
}

}  // namespace
}  // namespace tvx
