// Support for the copy engine tests: a work folder under /tmp (reached through
// Z:) with a source tree and a destination, the catalogue in the test
// executable's folder, the alerts recorded, and a disk-full handler double.
#pragma once

#include "catalogue/Catalog.h"
#include "engine/Alerts.h"
#include "engine/ChangedFileList.h"
#include "engine/CopyEngine.h"
#include "engine/FileQueries.h"
#include "framework/ProcessFlags.h"
#include "framework/Prompts.h"
#include "settings/Settings.h"
#include "tests/disks/VirtualDisk.h"
#include "tests/support/Files.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace tvx::engine::testing {

// What the file system says about a file, read without opening it (so that
// reading it does not move its last-access time first).
struct FileFacts {
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    std::uint64_t created = 0, accessed = 0, written = 0, size = 0;
    bool operator==(const FileFacts&) const = default;
};

inline FileFacts Facts(const std::wstring& path) {
    FileFacts facts;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(ExtendedPath(path).c_str(), GetFileExInfoStandard, &data)) return facts;
    facts.attributes = data.dwFileAttributes;
    facts.created = FileTimeValue(data.ftCreationTime);
    facts.accessed = FileTimeValue(data.ftLastAccessTime);
    facts.written = FileTimeValue(data.ftLastWriteTime);
    facts.size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    return facts;
}

inline void PrintTo(const FileFacts& f, std::ostream* os) {
    *os << "attributes 0x" << std::hex << f.attributes << std::dec << " created " << f.created << " accessed "
        << f.accessed << " written " << f.written << " size " << f.size;
}

using test::Exists;
using test::Read;

inline void WriteBytes(const std::wstring& path, const std::string& bytes) {
    ASSERT_TRUE(test::Write(path, bytes)) << GetLastError();
}

// Sets the three times (creation, last access, last write) of a file.
inline void SetTimes(const std::wstring& path, std::uint64_t created, std::uint64_t accessed, std::uint64_t written) {
    HANDLE file = CreateFileW(ExtendedPath(path).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << GetLastError();
    auto ft = [](std::uint64_t v) { return FILETIME{static_cast<DWORD>(v), static_cast<DWORD>(v >> 32)}; };
    const FILETIME c = ft(created), a = ft(accessed), w = ft(written);
    EXPECT_TRUE(SetFileTime(file, &c, &a, &w)) << GetLastError();
    CloseHandle(file);
}

// A sparse file of `size` bytes with the given bytes at the given offsets.
inline void MakeSparseFile(const std::wstring& path, std::uint64_t size,
                           const std::vector<std::pair<std::uint64_t, std::string>>& marks) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << GetLastError();
    DWORD unused = 0;
    DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &unused, nullptr);
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(size);
    EXPECT_TRUE(SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && SetEndOfFile(file)) << GetLastError();
    for (const auto& [offset, bytes] : marks) {
        at.QuadPart = static_cast<LONGLONG>(offset);
        DWORD written = 0;
        EXPECT_TRUE(SetFilePointerEx(file, at, nullptr, FILE_BEGIN) &&
                    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    }
    CloseHandle(file);
}

inline std::string ReadAt(const std::wstring& path, std::uint64_t offset, std::size_t count) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(offset);
    std::string bytes(count, '\0');
    DWORD got = 0;
    SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
    ReadFile(file, bytes.data(), static_cast<DWORD>(count), &got, nullptr);
    CloseHandle(file);
    bytes.resize(got);
    return bytes;
}

// What a folder listing matches the partial files of copies by.
inline const std::wstring kPartialPattern = std::wstring(kPartialCopyPrefix) + L"*" + kPartialCopySuffix;

// The names of a folder's entries that match a pattern ("*" for all).
inline std::vector<std::wstring> Names(const std::wstring& folder, const wchar_t* pattern = L"*") {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(ExtendedPath(folder + L"\\" + pattern).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

// The disk-full exchange as the engine called it; the test decides the
// answer and may free room first.
class FakeDiskFullHandler : public media::CTVXDiskFullHandler {
public:
    struct Call {
        std::uint64_t diskStartStamp, newestCopiedStamp, fileSize;
        std::wstring root;
        std::uint64_t bytesCopied;
    };
    std::vector<Call> calls;
    std::function<DWORD()> answer = [] { return DWORD{ERROR_OPERATION_ABORTED}; };

    DWORD DiskFullExchange(std::uint64_t& diskStartStamp, std::uint64_t& newestCopiedStamp, std::uint64_t fileSize,
                           const std::wstring& destinationRoot, std::uint64_t bytesCopied) override {
        calls.push_back({diskStartStamp, newestCopiedStamp, fileSize, destinationRoot, bytesCopied});
        return answer();
    }
};

// The engine with its inner steps in reach.
class ProbeEngine : public CTVXCopyEngine {
public:
    using CTVXCopyEngine::CTVXCopyEngine;
    using CTVXCopyEngine::EnsureFolder;
    using CTVXCopyEngine::FreeSpaceFigure;
};

class CopyTest : public ::testing::Test {
protected:
    void SetUp() override {
        LARGE_INTEGER tick{};
        QueryPerformanceCounter(&tick);
        m_unix = "/tmp/tvx-copy-tests-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(tick.QuadPart);
        m_work = testdisks::WindowsPathOf(m_unix);
        m_source = m_work + L"\\src";
        m_destination = m_work + L"\\dest";
        ASSERT_TRUE(CreateDirectoryW(m_work.c_str(), nullptr) && CreateDirectoryW(m_source.c_str(), nullptr));

        for (auto write : {settings::Write2LargeStatus, settings::WriteFileErrorStatus, settings::WriteFileNameStatus})
            ASSERT_EQ(ERROR_SUCCESS, write(1));
        ASSERT_EQ(ERROR_SUCCESS, settings::WriteDiskStartTime(0));
        Flags().modalWindow.store(0);
        m_previousSink = SetPromptSink([this](const PromptRequest& alert) -> INT_PTR {
            EXPECT_EQ(1, Flags().modalWindow.load()) << "the modal-window flag is set while an alert is up";
            m_alerts.push_back(alert);
            if (m_onAlert) m_onAlert(alert);
            return IDOK;
        });

        ASSERT_EQ(0, catalogue::CTVXCatalog().DeleteFiles());
        ASSERT_EQ(0, m_catalog.OpenOrReset());
        // Built after the stored disk start stamp was cleared, which it reads.
        m_engine = std::make_unique<ProbeEngine>(m_handler);
    }

    void TearDown() override {
        m_engine.reset();
        m_catalog.Close();
        SetPromptSink(m_previousSink);
        EXPECT_EQ(ERROR_SUCCESS, testdisks::DeleteDiskFolder(m_unix));
    }

    // A source file (folders made as needed) with bytes and one stamp.
    std::wstring Source(const std::wstring& relative, const std::string& bytes, std::uint64_t stamp = kStamp) {
        const std::wstring path = m_source + L"\\" + relative;
        WriteBytes(path, bytes);
        SetTimes(path, stamp, stamp, stamp);
        return path;
    }

    // A source file whose copy fails at once with the file error alert: a
    // file stands where its mirror folder should be.
    std::wstring BlockedSource(const std::wstring& relative, std::uint64_t stamp = kStamp) {
        const std::wstring path = Source(relative, "", stamp);
        WriteBytes(Mirror(path.substr(0, path.rfind(L'\\'))), "a file in the way");
        return path;
    }

    std::wstring Mirror(const std::wstring& source) const {
        return MirrorPathOf(DestinationRootOf(m_destination), source);
    }
    std::wstring RevisionBase(const std::wstring& source) const {
        return RevisionBaseOf(DestinationRootOf(m_destination), source);
    }

    // One pass: lists the paths and copies them.
    void CopyPass(std::initializer_list<std::wstring> paths, const std::wstring& destination = {}) {
        CTVXChangedFileList list;
        for (const std::wstring& path : paths) list.Add(path);
        EXPECT_EQ(0u, m_engine->CopyAll(list, destination.empty() ? m_destination : destination, m_catalog, m_start));
    }

    // Whether the catalogue holds a copy record for the file as it is now.
    bool Recorded(const std::wstring& source, const std::wstring& destination = {}) {
        const FileFacts facts = Facts(source);
        int needsCopy = -1;
        EXPECT_EQ(0, m_catalog.IsUpToDate(source, DestinationRootOf(destination.empty() ? m_destination : destination),
                                          facts.attributes == FILE_ATTRIBUTE_NORMAL ? 0 : facts.attributes,
                                          facts.written, needsCopy));
        return needsCopy == 0;
    }

    static constexpr std::uint64_t kStamp = 0x01D8'0000'0000'0000ull;  // 2021
    static constexpr std::uint64_t kDay = 864'000'000'000ull;

    std::string m_unix;
    std::wstring m_work, m_source, m_destination;
    std::vector<PromptRequest> m_alerts;
    std::function<void(const PromptRequest&)> m_onAlert;
    PromptSink m_previousSink;
    FakeDiskFullHandler m_handler;
    std::unique_ptr<ProbeEngine> m_engine;
    catalogue::CTVXCatalog m_catalog;
    std::uint64_t m_start = 0;
};

}  // namespace tvx::engine::testing
