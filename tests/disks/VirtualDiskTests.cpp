// What the product relies on from a virtual removable disk under Wine: the
// drive type, how the root of an empty drive fails, and the free space and
// "disk full" of a small disk. Every test works on drive E: with a disk
// folder below its own folder in /tmp, and leaves E: empty.
#include <gtest/gtest.h>

#include <string>

#include "tests/disks/VirtualDisk.h"

namespace tvx::testdisks {
namespace {

constexpr wchar_t kDrive = L'E';
constexpr const wchar_t* kRoot = L"E:\\";

// The error of a query of the drive's root; ERROR_SUCCESS when it answers.
DWORD RootError() {
    return GetFileAttributesW(kRoot) == INVALID_FILE_ATTRIBUTES ? GetLastError() : ERROR_SUCCESS;
}

class VirtualDiskTest : public testing::Test {
protected:
    void SetUp() override {
        base_ = "/tmp/tvx-disk-tests-" + std::to_string(GetCurrentProcessId());
        disk_ = base_ + "/disk-a";
        ASSERT_EQ(ERROR_SUCCESS, MakeDiskFolder(disk_, 0x1A2B3C4D, L"BACKUP-A"));
    }
    void TearDown() override {
        EXPECT_EQ(ERROR_SUCCESS, RemoveDisk(kDrive));
        EXPECT_EQ(ERROR_SUCCESS, DeleteDiskFolder(base_));
    }
    std::string base_, disk_;
};

// The product finds its disk on a removable drive by the serial and label.
TEST_F(VirtualDiskTest, InsertedDiskIsRemovableWithItsFolderSerialAndLabel) {
    ASSERT_EQ(ERROR_SUCCESS, InsertDisk(kDrive, disk_));
    EXPECT_EQ(static_cast<UINT>(DRIVE_REMOVABLE), GetDriveTypeW(kRoot));
    EXPECT_EQ(ERROR_SUCCESS, RootError());
    wchar_t label[MAX_PATH + 1] = {};
    DWORD serial = 0;
    ASSERT_TRUE(GetVolumeInformationW(kRoot, label, MAX_PATH + 1, &serial, nullptr, nullptr, nullptr, 0))
        << GetLastError();
    EXPECT_EQ(0x1A2B3C4Du, serial);
    EXPECT_EQ(std::wstring(L"BACKUP-A"), label);
}

// Windows answers ERROR_NOT_READY (21) for the root of an empty drive; Wine
// answers ERROR_PATH_NOT_FOUND (3). The product treats both as "no disk".
TEST_F(VirtualDiskTest, EmptyDriveStaysRemovableAndItsRootQueriesFail) {
    ASSERT_EQ(ERROR_SUCCESS, InsertDisk(kDrive, disk_));
    ASSERT_EQ(ERROR_SUCCESS, RemoveDisk(kDrive));
    EXPECT_EQ(static_cast<UINT>(DRIVE_REMOVABLE), GetDriveTypeW(kRoot));

    const DWORD rootError = RootError();
    RecordProperty("GetFileAttributesW_root_error", static_cast<int>(rootError));
    EXPECT_TRUE(rootError == ERROR_PATH_NOT_FOUND || rootError == ERROR_NOT_READY) << rootError;

    ULARGE_INTEGER available{}, total{}, free{};
    EXPECT_FALSE(GetDiskFreeSpaceExW(kRoot, &available, &total, &free));
    EXPECT_EQ(rootError, GetLastError());
}

// A 2 MiB tmpfs disk, so that the disk can run full. Mounting needs root.
class SmallDiskTest : public VirtualDiskTest {
protected:
    static constexpr ULONGLONG kSize = 2 * 1024 * 1024;
    void SetUp() override {
        VirtualDiskTest::SetUp();
        small_ = base_ + "/small";
        std::string why;
        if (const DWORD error = MountTmpfsDisk(small_, kSize, &why))
            GTEST_SKIP() << "cannot mount a tmpfs disk here (error " << error << "): " << why;
        mounted_ = true;
        ASSERT_EQ(ERROR_SUCCESS, MakeDiskFolder(small_, 0x5A11D15C, L"SMALL"));
        ASSERT_EQ(ERROR_SUCCESS, InsertDisk(kDrive, small_));
    }
    void TearDown() override {
        EXPECT_EQ(ERROR_SUCCESS, RemoveDisk(kDrive));
        if (mounted_) {
            EXPECT_EQ(ERROR_SUCCESS, UnmountDisk(small_));
        }
        VirtualDiskTest::TearDown();
    }
    ULONGLONG FreeBytes() {
        ULARGE_INTEGER available{}, total{}, free{};
        EXPECT_TRUE(GetDiskFreeSpaceExW(kRoot, &available, &total, &free)) << GetLastError();
        EXPECT_EQ(kSize, total.QuadPart);
        return available.QuadPart;
    }
    std::string small_;
    bool mounted_ = false;
};

// Free space is the small disk's own, and a write past it fails as "disk full".
TEST_F(SmallDiskTest, FreeSpaceIsRealAndWritingPastItFailsWithDiskFull) {
    const ULONGLONG before = FreeBytes();  // total is checked to be exactly kSize
    EXPECT_GT(before, kSize / 2);
    HANDLE file = CreateFileW(L"E:\\too-big.bin", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    const std::string chunk(64 * 1024, 'x');
    ULONGLONG written = 0;
    DWORD error = ERROR_SUCCESS, n = 0;
    while (written <= kSize) {
        if (!WriteFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &n, nullptr)) {
            error = GetLastError();
            break;
        }
        written += n;
    }
    CloseHandle(file);
    RecordProperty("disk_full_error", static_cast<int>(error));
    EXPECT_TRUE(error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL) << error;
    EXPECT_LE(written, before);
    EXPECT_EQ(0u, FreeBytes());
    ASSERT_TRUE(DeleteFileW(L"E:\\too-big.bin"));
    EXPECT_EQ(before, FreeBytes());
}

}  // namespace
}  // namespace tvx::testdisks
