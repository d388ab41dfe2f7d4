// Write protection: the record on the disk keeps a salted hash and never the
// password, a damaged record locks no one out, a pass lifts the protection
// after asking (a wrong password asks again) and puts the same protection
// back afterwards, and a disk that refuses writes by itself is not asked
// about.
#include "media/ProtectionRecord.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "media/DiskProtection.h"
#include "tests/media/DiskFixture.h"

namespace tvx::media {
namespace {

using ProtectionTest = DiskFixture;

std::string FileBytes(const std::string& unixPath) {
    std::ifstream in(std::filesystem::path(testdisks::WindowsPathOf(unixPath)), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(ProtectionRecord, RoundTripsAndADamagedRecordCountsAsNone) {
    const auto record = Praxon::MakeRecord(2, L"s\u00e9same");
    ASSERT_TRUE(record);
    const std::vector<std::uint8_t> bytes = Praxon::EncodeRecord(*record);
    ASSERT_EQ(Praxon::kRecordBytes, bytes.size());
    const auto decoded = Praxon::DecodeRecord(bytes);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(2u, decoded->state);
    EXPECT_TRUE(Praxon::PasswordMatches(*decoded, L"s\u00e9same"));
    EXPECT_FALSE(Praxon::PasswordMatches(*decoded, L"sesame"));
    EXPECT_FALSE(Praxon::PasswordMatches(*decoded, L""));
    // Two records of the same password differ (a fresh salt each).
    EXPECT_NE(bytes, Praxon::EncodeRecord(*Praxon::MakeRecord(2, L"s\u00e9same")));

    auto damaged = bytes;
    damaged.pop_back();
    EXPECT_FALSE(Praxon::DecodeRecord(damaged)) << "truncated";
    damaged = bytes;
    damaged.push_back(0);
    EXPECT_FALSE(Praxon::DecodeRecord(damaged)) << "too long";
    damaged = bytes;
    damaged[7] = 2;
    EXPECT_FALSE(Praxon::DecodeRecord(damaged)) << "another format version";
    for (const std::uint8_t state : {0, 8, 0xFF}) {
        damaged = bytes;
        damaged[8] = state;
        EXPECT_FALSE(Praxon::DecodeRecord(damaged)) << "state " << int(state);
    }
    damaged = bytes;
    damaged[15] = 0x7F;  // about two thousand million rounds
    EXPECT_FALSE(Praxon::DecodeRecord(damaged)) << "a check that would run for minutes";
}

TEST_F(ProtectionTest, TheDiskKeepsTheStateAndAHashButNeverThePassword) {
    Praxon::Drive drive(L'E');
    EXPECT_EQ(Praxon::kUnprotected, drive.getProtectState());
    ASSERT_EQ(0u, drive.setProtect(Praxon::kProtectedWithPassword, L"opensesame"));
    EXPECT_EQ(Praxon::kProtectedWithPassword, drive.getProtectState());
    EXPECT_FALSE(drive.isVolumeReadOnly()) << "Wine refuses the volume's read-only attribute";
    const std::string record = FileBytes(m_folder + "/one/" + "Tavrix Dovetrak 3 Protection.dat");
    ASSERT_EQ(Praxon::kRecordBytes, record.size());
    EXPECT_EQ(std::string::npos, record.find("opensesame"));
    EXPECT_EQ(std::string::npos, record.find(std::string("o\0p\0e\0n", 7)));

    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PASSWORD), drive.setProtect(Praxon::kProtectedNoPassword, L""))
        << "a protected disk is not protected anew without its password";
    EXPECT_EQ(0u, drive.setProtect(Praxon::kUnprotected, L"opensesame"));
    EXPECT_EQ(Praxon::kUnprotected, drive.getProtectState());

    // A record damaged on the disk counts as none.
    std::ofstream(std::filesystem::path(testdisks::WindowsPathOf(m_folder + "/one/Tavrix Dovetrak 3 Protection.dat"))) << "garbage";
    EXPECT_EQ(Praxon::kUnprotected, drive.getProtectState());
    EXPECT_EQ(0u, drive.setProtect(Praxon::kProtectedNoPassword, L""));
    EXPECT_EQ(Praxon::kProtectedNoPassword, drive.getProtectState());
}

TEST_F(ProtectionTest, APassLiftsAfterTheRightPasswordAndPutsTheSameProtectionBack) {
    settings::WriteDiskID(m_one);
    ASSERT_EQ(0u, Praxon::Drive(L'E').setProtect(Praxon::kProtectedWithPassword, L"opensesame"));
    m_answers.push_back(Typing(L"wrong"));
    m_answers.push_back(Typing(L"opensesame"));
    EXPECT_EQ(1, Check(1));
    EXPECT_EQ((std::vector<int>{203, 203}), m_asked) << "a wrong password asks again";
    EXPECT_EQ(Praxon::kUnprotected, Praxon::Drive(L'E').getProtectState());
    EXPECT_TRUE(ProtectionLifted());

    DiskCheckContext context{L"E:\\", 1};
    RunAfterPass(context);
    EXPECT_FALSE(ProtectionLifted());
    EXPECT_EQ(Praxon::kProtectedWithPassword, Praxon::Drive(L'E').getProtectState());
    EXPECT_EQ(0u, Praxon::Drive(L'E').setProtect(Praxon::kUnprotected, L"opensesame")) << "the same password";

    // Without a password the question is a plain OK.
    ASSERT_EQ(0u, Praxon::Drive(L'E').setProtect(Praxon::kProtectedNoPassword, L""));
    m_answers.push_back(Answer(IDOK));
    EXPECT_EQ(1, Check(1));
    EXPECT_EQ(std::vector<int>{204}, m_asked);
    RunAfterPass(context);
    EXPECT_EQ(Praxon::kProtectedNoPassword, Praxon::Drive(L'E').getProtectState());
}

TEST_F(ProtectionTest, ADiskThatRefusesWritesByItselfIsNotAskedAbout) {
    const std::string locked = m_folder + "/locked";
    std::string message;
    if (testdisks::MountTmpfsDisk(locked, 1 << 20, &message) != 0) GTEST_SKIP() << "no tmpfs here: " << message;
    ASSERT_EQ(0u, testdisks::MakeDiskFolder(locked, 0x0000CCCC, L"LOCKED"));
    ASSERT_EQ(0u, testdisks::SetTmpfsReadOnly(locked, true));
    ASSERT_EQ(0u, testdisks::InsertDisk(L'E', locked));
    settings::WriteDiskID(Praxon::Drive(L'E').getDisk().identity);
    EXPECT_EQ(Praxon::kHardwareProtected, Praxon::Drive(L'E').getProtectState());
    EXPECT_EQ(0, Check(1));
    EXPECT_TRUE(m_asked.empty());
    testdisks::RemoveDisk(L'E');
    testdisks::UnmountDisk(locked);
}

}  // namespace
}  // namespace tvx::media
