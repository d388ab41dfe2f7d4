// The destination disk's arithmetic: the settle time before an eject, the
// becoming-full thresholds (on disks larger than 4 GiB too) and the number of
// disks a complete copy needs.
#include "media/DiskRules.h"

#include <gtest/gtest.h>

#include "media/Praxon.h"

namespace tvx::media {
namespace {

constexpr std::uint64_t kGiB = 1024 * kMiB;

TEST(DiskRules, SettleTimeIsTheTableTimesTheConnectionFactorAndNeverNothing) {
    // 250 MiB copied with 256 MiB of memory, a connection of type 1.
    EXPECT_EQ(375000u, SettleTime(256 * kMiB, 250 * kMiB, 1));
    // USB, SD and FireWire disks flush on eject: no long wait.
    EXPECT_EQ(5000u, SettleTime(16 * kGiB, 250 * kMiB, Praxon::kAdapterUsb));
    EXPECT_EQ(4000u, SettleTime(16 * kGiB, 150 * kMiB, Praxon::kAdapterCardOr1394));
    EXPECT_EQ(20000u, SettleTime(16 * kGiB, 150 * kMiB, Praxon::kAdapterAta));
    EXPECT_EQ(1250u, SettleTime(100 * kMiB, 150 * kMiB, Praxon::kAdapterOther));
    EXPECT_EQ(2500u, SettleTime(64 * kMiB, 200 * kMiB, Praxon::kAdapterOther));
    // Little copied, little memory, or an unknown connection: 5 s.
    EXPECT_EQ(5000u, SettleTime(16 * kGiB, 99 * kMiB, Praxon::kAdapterAta));
    EXPECT_EQ(5000u, SettleTime(63 * kMiB, 250 * kMiB, 1));
    EXPECT_EQ(5000u, SettleTime(16 * kGiB, 250 * kMiB, 9));
}

TEST(DiskRules, DisksNeededCountsTheRoomLeftAndWholeDisks) {
    EXPECT_EQ(3u, DisksNeeded(0, 250, 100));
    EXPECT_EQ(3u, DisksNeeded(80, 250, 100));
    EXPECT_EQ(1u, DisksNeeded(300, 250, 100));
    EXPECT_EQ(2u, DisksNeeded(250, 250, 100)) << "room equal to the total is not enough";
    // A disk size of 0 divides to nothing rather than failing.
    EXPECT_EQ(1u, DisksNeeded(0, 250, 0));
    EXPECT_EQ(2u, DisksNeeded(80, 250, 0));
    // Sizes beyond 32 bits (MiB of a 10 PiB total) stay exact.
    EXPECT_EQ(1u + (10ull << 30) / 64, DisksNeeded(0, 10ull << 30, 64));
}

TEST(DiskRules, TheProgramsDiskWarnsFromSeventyFivePercentUsedAtAnySize) {
    const std::uint64_t disk = 64 * kGiB;  // a 32-bit count would wrap
    EXPECT_TRUE(MakerDiskFilling(disk, disk / 100 * 75, Praxon::kMakerFamily));
    EXPECT_FALSE(MakerDiskFilling(disk, disk / 100 * 75 - 1, Praxon::kMakerFamily));
    EXPECT_FALSE(MakerDiskFilling(disk, disk / 100 * 74, Praxon::kMakerFamily));
    EXPECT_TRUE(MakerDiskFilling(disk, disk, Praxon::kMakerFamily));
    // A drive that does not tell its capacity counts as 540 MiB.
    EXPECT_TRUE(MakerDiskFilling(0, 405 * kMiB, Praxon::kMakerFamily));
    EXPECT_FALSE(MakerDiskFilling(0, 400 * kMiB, Praxon::kMakerFamily));
    EXPECT_FALSE(MakerDiskFilling(0, 405 * kMiB, 0));
    EXPECT_FALSE(MakerDiskFilling(99, 99, Praxon::kMakerFamily)) << "too small to say";
}

TEST(DiskRules, OtherDestinationsWarnOnlyWhenAlsoLowOnSpace) {
    // 75 % used of 8 GiB leaves 2 GiB: no warning yet.
    EXPECT_FALSE(FixedDestinationFilling(8 * kGiB, 2 * kGiB, 2 * kGiB));
    EXPECT_TRUE(FixedDestinationFilling(8 * kGiB, 500 * kMiB, 500 * kMiB));
    EXPECT_FALSE(FixedDestinationFilling(8 * kGiB, 500 * kMiB, 500 * kMiB + 1));
    // 1 GiB with a quarter free: 75 % used and 256 MiB left.
    EXPECT_TRUE(FixedDestinationFilling(kGiB, kGiB / 4, kGiB / 4));
    EXPECT_FALSE(FixedDestinationFilling(kGiB, kGiB / 4 + kGiB / 100, kGiB / 4 + kGiB / 100));
    EXPECT_FALSE(FixedDestinationFilling(0, 0, 0));
}

}  // namespace
}  // namespace tvx::media
