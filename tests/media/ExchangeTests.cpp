// The disk-full exchange and the becoming-full warning, in process, with
// small tmpfs disks (skipped where mounting is not permitted) and the user's
// answers (and disk swaps) scripted.
#include "media/DiskExchange.h"

#include "media/DiskEstimate.h"
#include "media/DiskRules.h"

#include <filesystem>
#include <fstream>

#include "media/DiskProtection.h"
#include "media/ProtectionRecord.h"
#include "tests/media/DiskFixture.h"

namespace tvx::media {
namespace {

constexpr std::uint64_t kTooBigForSmall = 2 << 20;

class ExchangeTest : public DiskFixture {
protected:
    void SetUp() override {
        DiskFixture::SetUp();
        m_small = m_folder + "/small";
        std::string message;
        if (testdisks::MountTmpfsDisk(m_small, 1 << 20, &message) != 0) GTEST_SKIP() << "no tmpfs here: " << message;
        ASSERT_EQ(0u, testdisks::MakeDiskFolder(m_small, 0x0000DDDD, L"SMALL"));
        ASSERT_EQ(0u, testdisks::InsertDisk(L'E', m_small));
        settings::WriteDiskID(Praxon::Drive(L'E').getDisk().identity);
        settings::WriteWarningStatus(1);
    }
    void TearDown() override {
        testdisks::RemoveDisk(L'E');
        testdisks::UnmountDisk(m_small);
        DiskFixture::TearDown();
    }

    DWORD Exchange(std::uint64_t start = 0, std::uint64_t newest = 0) {
        m_asked.clear();
        CTVXDiskExchange exchange;
        return exchange.DiskFullExchange(start, newest, kTooBigForSmall, L"E:", 300 << 20);
    }
    std::function<INT_PTR(const PromptRequest&)> SwapAndOk(const std::string& folder) {
        return [folder](const PromptRequest&) {
            testdisks::SwapDisk(L'E', folder);
            return INT_PTR{IDOK};
        };
    }

    std::string m_small;
};

TEST_F(ExchangeTest, ANewDiskIsAskedForUntilOneWithRoomIsInAndBecomesTheProgramsDisk) {
    // The full disk was unprotected for the pass: it gets its protection back
    // before it goes.
    ASSERT_EQ(0u, Praxon::Drive(L'E').setProtect(Praxon::kProtectedWithPassword, L"full"));
    m_answers.push_back(Typing(L"full"));
    ASSERT_EQ(1, Check(1));
    ASSERT_TRUE(ProtectionLifted());

    std::wstring dates;
    m_answers.push_back([&dates](const PromptRequest& request) {
        dates = request.detail;
        return INT_PTR{IDOK};  // the full disk is still in: asked again
    });
    m_answers.push_back(SwapAndOk(m_folder + "/one"));
    const std::uint64_t start = 133000000000000000ull, newest = 134000000000000000ull;  // 2022, 2025
    EXPECT_EQ(0u, Exchange(start, newest));
    EXPECT_EQ((std::vector<int>{104, 104}), m_asked);
    EXPECT_EQ(StampDateText(start) + L"|" + StampDateText(newest), dates);
    EXPECT_NE(StampDateText(start), StampDateText(newest));
    EXPECT_EQ(m_one, DiskId());
    const auto record = Praxon::ReadRecord(testdisks::WindowsPathOf(m_small));
    ASSERT_TRUE(record) << "the full disk left without its protection";
    EXPECT_TRUE(Praxon::PasswordMatches(*record, L"full"));
    EXPECT_FALSE(ProtectionLifted());
}

TEST_F(ExchangeTest, DecliningEndsTheCopyAndAnEmptyDriveAsksForADisk) {
    const std::wstring small = DiskId();
    m_answers.push_back([](const PromptRequest&) {
        testdisks::RemoveDisk(L'E');
        return INT_PTR{IDOK};
    });
    EXPECT_EQ(static_cast<DWORD>(ERROR_OPERATION_ABORTED), Exchange());
    EXPECT_EQ((std::vector<int>{104, 160}), m_asked);
    EXPECT_EQ(small, DiskId()) << "nothing adopted";

    // With warnings off an empty drive ends it without asking.
    settings::WriteWarningStatus(0);
    ASSERT_EQ(0u, testdisks::InsertDisk(L'E', m_small));
    m_answers.push_back([](const PromptRequest&) {
        testdisks::RemoveDisk(L'E');
        return INT_PTR{IDOK};
    });
    EXPECT_EQ(static_cast<DWORD>(ERROR_OPERATION_ABORTED), Exchange());
    EXPECT_EQ(std::vector<int>{104}, m_asked);
}

TEST_F(ExchangeTest, AProtectedNewDiskIsMadeWritableAfterAskingAndProtectedAgainAfterThePass) {
    ASSERT_EQ(0u, testdisks::InsertDisk(L'F', m_folder + "/two"));
    ASSERT_EQ(0u, Praxon::Drive(L'F').setProtect(Praxon::kProtectedWithPassword, L"second"));
    ASSERT_EQ(0u, testdisks::RemoveDisk(L'F'));
    m_answers.push_back(SwapAndOk(m_folder + "/two"));
    m_answers.push_back(Answer(IDCANCEL));
    EXPECT_EQ(static_cast<DWORD>(ERROR_OPERATION_ABORTED), Exchange()) << "the new disk stayed protected";
    EXPECT_EQ((std::vector<int>{104, 203}), m_asked);

    ASSERT_EQ(0u, testdisks::SwapDisk(L'E', m_small));
    m_answers.push_back(SwapAndOk(m_folder + "/two"));
    m_answers.push_back(Typing(L"second"));
    EXPECT_EQ(0u, Exchange());
    EXPECT_EQ(Praxon::kUnprotected, Praxon::Drive(L'E').getProtectState());
    RunAfterPass(DiskCheckContext{L"E:\\", 1});
    EXPECT_EQ(Praxon::kProtectedWithPassword, Praxon::Drive(L'E').getProtectState());
}

TEST_F(ExchangeTest, OtherDestinationsAskTheUserToMakeRoom) {
    settings::WriteDiskID(L"NotTavrix");
    m_answers.push_back(Answer(IDOK));
    EXPECT_EQ(0u, Exchange());
    EXPECT_EQ(std::vector<int>{212}, m_asked) << "a removable drive";
    m_asked.clear();
    std::uint64_t start = 0, newest = 0;
    CTVXDiskExchange exchange;
    EXPECT_EQ(static_cast<DWORD>(ERROR_OPERATION_ABORTED), exchange.DiskFullExchange(start, newest, 1, L"C:", 0));
    EXPECT_EQ(std::vector<int>{211}, m_asked) << "a fixed drive";
}

// The wizard's estimate: the room on the disk in the drive, then whole
// disks; an empty drive of the program counts disks of 540 MiB.
TEST_F(DiskFixture, DisksNeededAreMeasuredOnTheDiskInTheDrive) {
    ULARGE_INTEGER room = {}, size = {};
    ASSERT_TRUE(::GetDiskFreeSpaceExW(L"E:\\", &room, &size, nullptr));
    const std::uint64_t roomMiB = room.QuadPart >> 20, sizeMiB = size.QuadPart >> 20;
    EXPECT_EQ(1u, EstimateDisksNeeded(L'E', room.QuadPart / 2));
    EXPECT_EQ(5u, EstimateDisksNeeded(L'E', (roomMiB + 3 * sizeMiB) << 20));
    ASSERT_EQ(0u, testdisks::RemoveDisk(L'E'));
    EXPECT_EQ(3u, EstimateDisksNeeded(L'E', 1080 * kMiB));
}

}  // namespace
}  // namespace tvx::media
