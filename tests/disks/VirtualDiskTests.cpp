// What the product relies on from a virtual removable disk under Wine, and
// the tvxdisk tool that scripts use. Every test works on drive E: with disk
// folders below its own folder in /tmp, and leaves E: empty.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/disks/VirtualDisk.h"

namespace tvx::testdisks {
namespace {

constexpr wchar_t kDrive = L'E';
constexpr const wchar_t* kRoot = L"E:\\";

struct Volume {
    DWORD error = ERROR_SUCCESS;
    DWORD serial = 0;
    std::wstring label;
};

Volume QueryVolume() {
    Volume v;
    wchar_t label[MAX_PATH + 1] = {};
    if (GetVolumeInformationW(kRoot, label, MAX_PATH + 1, &v.serial, nullptr, nullptr, nullptr, 0))
        v.label = label;
    else
        v.error = GetLastError();
    return v;
}

// The error of a query of the drive's root; ERROR_SUCCESS when it answers.
DWORD RootError() {
    return GetFileAttributesW(kRoot) == INVALID_FILE_ATTRIBUTES ? GetLastError() : ERROR_SUCCESS;
}

bool WriteText(const std::wstring& path, const std::string& text) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == text.size();
}

std::string ReadText(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    char buffer[4096];
    DWORD got = 0;
    ReadFile(file, buffer, sizeof buffer, &got, nullptr);
    CloseHandle(file);
    return std::string(buffer, got);
}

class VirtualDiskTest : public testing::Test {
protected:
    void SetUp() override {
        base_ = "/tmp/tvx-disk-tests-" + std::to_string(GetCurrentProcessId());
        diskA_ = base_ + "/disk-a";
        diskB_ = base_ + "/disk-b";
        ASSERT_EQ(ERROR_SUCCESS, MakeDiskFolder(diskA_, 0x1A2B3C4D, L"BACKUP-A"));
        ASSERT_EQ(ERROR_SUCCESS, MakeDiskFolder(diskB_, 0x0BADF00D, L"BACKUP-B"));
    }
    void TearDown() override {
        EXPECT_EQ(ERROR_SUCCESS, RemoveDisk(kDrive));
        EXPECT_EQ(ERROR_SUCCESS, DeleteDiskFolder(base_));
    }
    std::wstring InFolder(const std::string& unixPath, const wchar_t* name) {
        return WindowsPathOf(unixPath) + L"\\" + name;
    }
    std::string base_, diskA_, diskB_;
};

TEST_F(VirtualDiskTest, InsertedDiskIsRemovableWithItsFolderSerialAndLabel) {
    ASSERT_EQ(ERROR_SUCCESS, InsertDisk(kDrive, diskA_));
    EXPECT_EQ(static_cast<UINT>(DRIVE_REMOVABLE), GetDriveTypeW(kRoot));
    EXPECT_EQ(ERROR_SUCCESS, RootError());
    const Volume v = QueryVolume();
    ASSERT_EQ(ERROR_SUCCESS, v.error);
    EXPECT_EQ(0x1A2B3C4Du, v.serial);
    EXPECT_EQ(L"BACKUP-A", v.label);
}

TEST_F(VirtualDiskTest, DriveAndDiskFolderShareTheirFiles) {
    ASSERT_EQ(ERROR_SUCCESS, InsertDisk(kDrive, diskA_));
    ASSERT_TRUE(CreateDirectoryW(L"E:\\mirror", nullptr));
    ASSERT_TRUE(WriteText(L"E:\\mirror\\notes.txt", "written on E:"));
    EXPECT_EQ("written on E:", ReadText(InFolder(diskA_, L"mirror\\notes.txt")));
    ASSERT_TRUE(WriteText(InFolder(diskA_, L"from-unix.txt"), "put in the folder"));
    EXPECT_EQ("put in the folder", ReadText(L"E:\\from-unix.txt"));
}

TEST_F(VirtualDiskTest, SwapShowsTheOtherDiskAtOnceAndBackAgain) {
    ASSERT_TRUE(WriteText(InFolder(diskA_, L"only-a.txt"), "a"));
    ASSERT_EQ(ERROR_SUCCESS, InsertDisk(kDrive, diskA_));
    ASSERT_EQ(0x1A2B3C4Du, QueryVolume().serial);  // now cached by the mount manager

    ASSERT_EQ(ERROR_SUCCESS, SwapDisk(kDrive, diskB_));
    Volume v = QueryVolume();
    EXPECT_EQ(0x0BADF00Du, v.serial);
    EXPECT_EQ(L"BACKUP-B", v.label);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(L"E:\\only-a.txt"));

    ASSERT_EQ(ERROR_SUCCESS, SwapDisk(kDrive, diskA_));
    v = QueryVolume();
    EXPECT_EQ(0x1A2B3C4Du, v.serial);
    EXPECT_EQ(L"BACKUP-A", v.label);
    EXPECT_EQ("a", ReadText(L"E:\\only-a.txt"));
}

TEST_F(VirtualDiskTest, FailedSwapLeavesTheOldDiskIn) {
    ASSERT_EQ(ERROR_SUCCESS, InsertDisk(kDrive, diskA_));
    EXPECT_NE(ERROR_SUCCESS, SwapDisk(kDrive, base_ + "/no-such-disk"));
    EXPECT_EQ(ERROR_SUCCESS, RootError());
    EXPECT_EQ(0x1A2B3C4Du, QueryVolume().serial);
}

// Windows answers ERROR_NOT_READY (21) for the root of an empty drive; Wine
// answers ERROR_PATH_NOT_FOUND (3). The product treats both as "no disk".
TEST_F(VirtualDiskTest, EmptyDriveStaysRemovableAndItsRootQueriesFail) {
    ASSERT_EQ(ERROR_SUCCESS, InsertDisk(kDrive, diskA_));
    ASSERT_EQ(ERROR_SUCCESS, RemoveDisk(kDrive));
    EXPECT_EQ(static_cast<UINT>(DRIVE_REMOVABLE), GetDriveTypeW(kRoot));

    const DWORD rootError = RootError();
    RecordProperty("GetFileAttributesW_root_error", static_cast<int>(rootError));
    EXPECT_TRUE(rootError == ERROR_PATH_NOT_FOUND || rootError == ERROR_NOT_READY) << rootError;

    ULARGE_INTEGER available{}, total{}, free{};
    EXPECT_FALSE(GetDiskFreeSpaceExW(kRoot, &available, &total, &free));
    EXPECT_EQ(rootError, GetLastError());
}

// Wine still answers GetVolumeInformationW for an empty drive (a made-up
// serial, an empty label); it must not be the disk that was taken out.
TEST_F(VirtualDiskTest, EmptyDriveVolumeInformationNamesNoRemovedDisk) {
    ASSERT_EQ(ERROR_SUCCESS, InsertDisk(kDrive, diskA_));
    ASSERT_EQ(0x1A2B3C4Du, QueryVolume().serial);
    ASSERT_EQ(ERROR_SUCCESS, RemoveDisk(kDrive));
    const Volume v = QueryVolume();
    RecordProperty("GetVolumeInformationW_error", static_cast<int>(v.error));
    RecordProperty("GetVolumeInformationW_serial", static_cast<int>(v.serial));
    if (v.error == ERROR_SUCCESS) {
        EXPECT_NE(0x1A2B3C4Du, v.serial);
        EXPECT_EQ(L"", v.label);
    }
}

TEST_F(VirtualDiskTest, RemadeDiskShowsExactlyTheNewSerialAndUnicodeLabel) {
    const std::wstring label = L"Sicherung \u00e4\u00f6\u00fc \u65e5\u672c";
    ASSERT_EQ(ERROR_SUCCESS, MakeDiskFolder(diskA_, 0xFFFFFFFF, L"AN OLD LABEL MUCH LONGER THAN THE NEW ONE"));
    ASSERT_EQ(ERROR_SUCCESS, MakeDiskFolder(diskA_, 0x00000ABC, label));
    ASSERT_EQ(ERROR_SUCCESS, InsertDisk(kDrive, diskA_));
    const Volume v = QueryVolume();
    EXPECT_EQ(0x00000ABCu, v.serial);
    EXPECT_EQ(label, v.label);
}

TEST_F(VirtualDiskTest, InsertRefusesWhatCannotBeADisk) {
    EXPECT_EQ(ERROR_INVALID_PARAMETER, InsertDisk(L'C', diskA_));  // the prefix's own drive
    EXPECT_EQ(ERROR_INVALID_PARAMETER, InsertDisk(L'Z', diskA_));  // the way to the Unix side
    EXPECT_EQ(ERROR_INVALID_PARAMETER, InsertDisk(L'1', diskA_));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, InsertDisk(kDrive, "tmp/relative"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, InsertDisk(kDrive, base_ + "/missing"));
    ASSERT_TRUE(WriteText(InFolder(base_, L"plain-file"), "x"));
    EXPECT_EQ(ERROR_DIRECTORY, InsertDisk(kDrive, base_ + "/plain-file"));
    EXPECT_NE(ERROR_SUCCESS, RootError());  // nothing was inserted
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

// Runs tvxdisk.exe (beside this test); returns its exit code and its standard
// output and error, which share one pipe.
DWORD RunTool(const std::wstring& arguments, std::string& output) {
    wchar_t self[MAX_PATH];
    const std::wstring exe(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
    std::wstring commandLine = L"\"" + exe.substr(0, exe.rfind(L'\\') + 1) + L"tvxdisk.exe\" " + arguments;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    CreatePipe(&readEnd, &writeEnd, &inherit, 0);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = writeEnd;
    PROCESS_INFORMATION process{};
    DWORD exitCode = 9999;
    if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &process)) {
        WaitForSingleObject(process.hProcess, 60000);  // the output fits the pipe
        GetExitCodeProcess(process.hProcess, &exitCode);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    CloseHandle(writeEnd);
    output.clear();
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got) output.append(buffer, got);
    CloseHandle(readEnd);
    return exitCode;
}

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

TEST_F(VirtualDiskTest, ToolInsertsReportsAndRemovesForOtherProcesses) {
    std::string out;
    ASSERT_EQ(0u, RunTool(L"insert E \"" + Wide(diskA_) + L"\"", out)) << out;
    EXPECT_EQ(0x1A2B3C4Du, QueryVolume().serial);  // seen by this process at once

    EXPECT_EQ(0u, RunTool(L"info e:", out));
    EXPECT_NE(std::string::npos, out.find("type: 2 removable\nroot: attributes")) << out;
    EXPECT_NE(std::string::npos, out.find("serial: 1A2B3C4D\nlabel: BACKUP-A\n")) << out;

    ASSERT_EQ(0u, RunTool(L"remove E", out)) << out;
    EXPECT_NE(ERROR_SUCCESS, RootError());
    EXPECT_EQ(0u, RunTool(L"info E", out));
    EXPECT_NE(std::string::npos, out.find("root: error ")) << out;
}

TEST_F(VirtualDiskTest, ToolFailsWithStatusTwoAndOneLine) {
    for (const std::wstring& arguments : {L"insert E \"" + Wide(base_) + L"/missing\"",
                                          std::wstring(L"insert C /tmp"), std::wstring(L"eject E")}) {
        std::string out;
        EXPECT_EQ(2u, RunTool(arguments, out)) << out;
        EXPECT_EQ(0u, out.rfind("tvxdisk: ", 0)) << out;
        EXPECT_EQ(1, std::count(out.begin(), out.end(), '\n')) << out;
    }
}

}  // namespace
}  // namespace tvx::testdisks
