// The change watcher on real folders on C: of the test prefix (under
// C:\tvx-watch-<pid>-<n>, removed after each test) with a real wake event.
//
// Under Wine a subtree notification covers an existing subfolder only once a
// process has opened it after the notification was asked for (Windows covers
// the whole subtree at once). Tests that change an existing subfolder list the
// tree first, as a pass's scan does; WineSeesExistingSubfoldersOnlyOnceMet
// pins down the difference itself.
#include "engine/ChangeWatcher.h"
#include "tests/support/Files.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace tvx::engine::testing {
namespace {

constexpr DWORD kReportMs = 5000;  // a change is reported well within this
constexpr DWORD kQuietMs = 1000;   // no report within this counts as none
// The thread looks at its stop flag every second: a stop that works ends it
// within that, one that does not never does. The limit is far from both.
constexpr ULONGLONG kStopLimitMs = 15000;

// Writes the file alone: making its folders (or asking for them) could let
// Wine meet a subfolder the test wants unmet.
void WriteText(const std::wstring& path, const char* text) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << GetLastError();
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr));
    CloseHandle(file);
}

void MakeFolder(const std::wstring& path) { ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr)) << GetLastError(); }

// Opens every folder of the tree, parents first, as a pass's scan does.
void ListTree(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileW(find, &data)) {
        const std::wstring name = data.cFileName;
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != L"." && name != L"..")
            ListTree(folder + L"\\" + name);
    }
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
}

class ChangeWatcherTest : public ::testing::Test {
protected:
    void SetUp() override {
        static int counter = 0;
        m_root = L"C:\\tvx-watch-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
        test::RemoveTree(m_root);
        MakeFolder(m_root);
        m_source = m_root + L"\\Documents";
        MakeFolder(m_source);
        MakeFolder(m_source + L"\\Letters");
        MakeFolder(m_source + L"\\Letters\\2024");
        WriteText(m_source + L"\\Notes.txt", "notes");
        WriteText(m_source + L"\\Letters\\2024\\Bank.txt", "sir");
    }
    void TearDown() override {
        m_watcher.Stop();
        CloseHandle(m_wake);
        test::RemoveTree(m_root);
    }

    void StartWatching(const std::vector<std::wstring>& sources) {
        ASSERT_EQ(0u, m_watcher.Start(m_wake, sources));
        ASSERT_TRUE(m_watcher.WaitUntilWatching(kReportMs));
    }
    bool Woken(DWORD timeoutMs) { return WaitForSingleObject(m_wake, timeoutMs) == WAIT_OBJECT_0; }
    // Lets the reports of the last change die down, then clears the event.
    void Settle() {
        do ResetEvent(m_wake);
        while (Woken(300));
    }

    std::wstring m_root, m_source;
    HANDLE m_wake = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    CTVXChangeWatcher m_watcher;
};

TEST_F(ChangeWatcherTest, SaveRenameOrDeleteAnywhereInTheSubtreeSetsTheWakeEvent) {
    StartWatching({m_source});
    ListTree(m_source);
    EXPECT_FALSE(Woken(0)) << "listing the folders is no change";

    const struct {
        const char* what;
        void (*act)(const std::wstring& source);
    } changes[] = {
        {"save in the source folder", [](const std::wstring& s) { WriteText(s + L"\\Notes.txt", "more notes"); }},
        {"save two folders down", [](const std::wstring& s) { WriteText(s + L"\\Letters\\2024\\Bank.txt", "dear"); }},
        {"new file in a subfolder", [](const std::wstring& s) { WriteText(s + L"\\Letters\\New.txt", "new"); }},
        {"nested folder renamed",
         [](const std::wstring& s) { MoveFileW((s + L"\\Letters\\2024").c_str(), (s + L"\\Letters\\Old").c_str()); }},
        {"folder renamed", [](const std::wstring& s) { MoveFileW((s + L"\\Letters").c_str(), (s + L"\\Post").c_str()); }},
        {"file deleted in a subfolder", [](const std::wstring& s) { DeleteFileW((s + L"\\Post\\New.txt").c_str()); }},
    };
    for (const auto& change : changes) {
        change.act(m_source);
        EXPECT_TRUE(Woken(kReportMs)) << change.what;
        Settle();
    }
    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), m_watcher.ExitCode());
}

// Attributes and last-access times are not watched: they change nothing a
// pass copies. (Wine agrees for the watched kinds: its size, last-write and
// last-access reports all come from writes, never from reads.)
TEST_F(ChangeWatcherTest, AttributeAndLastAccessChangesDoNotSetTheWakeEvent) {
    StartWatching({m_source});
    ListTree(m_source);
    for (const std::wstring& file : {m_source + L"\\Notes.txt", m_source + L"\\Letters\\2024\\Bank.txt"}) {
        ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
        ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_ARCHIVE));
        HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ | FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, handle);
        FILETIME lastYear{};
        GetSystemTimeAsFileTime(&lastYear);
        lastYear.dwHighDateTime -= 0x48;  // about a year back
        EXPECT_TRUE(SetFileTime(handle, nullptr, &lastYear, nullptr));
        char buffer[8];
        DWORD got = 0;
        EXPECT_TRUE(ReadFile(handle, buffer, sizeof buffer, &got, nullptr));
        CloseHandle(handle);
        EXPECT_FALSE(Woken(kQuietMs)) << std::string(file.begin(), file.end());
    }
    WriteText(m_source + L"\\Letters\\2024\\Bank.txt", "changed");
    EXPECT_TRUE(Woken(kReportMs)) << "still watching";
}

// Wine 8 sets a subtree notification up on the folder alone; a subfolder joins
// it when the wineserver first meets it afterwards: made after the start, or
// opened by any process of the prefix. Windows covers every subfolder at once.
TEST_F(ChangeWatcherTest, WineSeesExistingSubfoldersOnlyOnceMet) {
    StartWatching({m_source});
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr) {
        WriteText(m_source + L"\\Letters\\2024\\Bank.txt", "not yet met");
        EXPECT_FALSE(Woken(kQuietMs)) << "Wine reports unmet subfolders now: update the watcher's notes";

        MakeFolder(m_source + L"\\Photos");
        MakeFolder(m_source + L"\\Photos\\Summer");
        ASSERT_TRUE(Woken(kReportMs));
        Settle();
        WriteText(m_source + L"\\Photos\\Summer\\Beach.jpg", "jpeg");
        EXPECT_TRUE(Woken(kReportMs)) << "save in folders made after the start";
        Settle();

        ListTree(m_source + L"\\Letters");
    }
    WriteText(m_source + L"\\Letters\\2024\\Bank.txt", "met");
    EXPECT_TRUE(Woken(kReportMs));
}

TEST_F(ChangeWatcherTest, TrailingBackslashIsWatchedTheSame) {
    StartWatching({m_source + L"\\"});
    ListTree(m_source);
    WriteText(m_source + L"\\Letters\\2024\\Bank.txt", "changed");
    EXPECT_TRUE(Woken(kReportMs));
}

// "C:\" stays a root: "C:" alone would name the current folder of drive C:.
TEST_F(ChangeWatcherTest, DriveRootKeepsItsBackslash) {
    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(m_source.c_str()));
    StartWatching({L"C:\\"});
    WriteText(m_root + L"-root.txt", "directly in C:\\");
    const bool woken = Woken(kReportMs);
    DeleteFileW((m_root + L"-root.txt").c_str());
    SetCurrentDirectoryW(previous);
    EXPECT_TRUE(woken);
}

TEST_F(ChangeWatcherTest, StopEndsTheWatchAndStartWatchesAgain) {
    StartWatching({m_source});
    const ULONGLONG before = GetTickCount64();
    EXPECT_EQ(0u, m_watcher.Stop());
    EXPECT_LE(GetTickCount64() - before, kStopLimitMs);
    EXPECT_EQ(0u, m_watcher.ExitCode());
    WriteText(m_source + L"\\Notes.txt", "after the stop");
    EXPECT_FALSE(Woken(kQuietMs));

    StartWatching({m_source});
    WriteText(m_source + L"\\Notes.txt", "started again");
    EXPECT_TRUE(Woken(kReportMs));
}

TEST_F(ChangeWatcherTest, FolderThatCannotBeWatchedEndsTheWatchAndWatchesNothing) {
    const struct {
        std::vector<std::wstring> sources;
        DWORD error;
    } cases[] = {
        {{m_source, m_root + L"\\Gone"}, ERROR_FILE_NOT_FOUND},
        {{m_source, m_root + L"\\Gone\\Deeper"}, ERROR_PATH_NOT_FOUND},
        {{}, ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        SetEvent(m_wake);  // a wake from before the watch began
        ASSERT_EQ(0u, m_watcher.Start(m_wake, c.sources));
        EXPECT_EQ(c.error, m_watcher.ExitCode(kReportMs));
        EXPECT_FALSE(m_watcher.WaitUntilWatching(0));
        EXPECT_TRUE(Woken(0)) << "the watch must not take back a wake it did not give";
        ResetEvent(m_wake);
        WriteText(m_source + L"\\Notes.txt", "unwatched");
        EXPECT_FALSE(Woken(kQuietMs)) << "the folder before the bad one must not stay watched";
    }
}

// Beyond what one wait can take (MAXIMUM_WAIT_OBJECTS, 64).
TEST_F(ChangeWatcherTest, SeventyFoldersAreAllWatchedOrNoneIs) {
    std::vector<std::wstring> sources;
    for (int i = 0; i < 70; ++i) {
        sources.push_back(m_root + L"\\Source" + std::to_wstring(i));
        MakeFolder(sources.back());
    }
    StartWatching(sources);
    for (int i : {0, 63, 64, 69}) {
        WriteText(sources[i] + L"\\File.txt", "x");
        EXPECT_TRUE(Woken(kReportMs)) << "folder " << i;
        Settle();
    }
    const ULONGLONG before = GetTickCount64();
    EXPECT_EQ(0u, m_watcher.Stop());
    EXPECT_LE(GetTickCount64() - before, kStopLimitMs);
    EXPECT_EQ(0u, m_watcher.ExitCode());

    sources[67] = m_root + L"\\Gone";
    ASSERT_EQ(0u, m_watcher.Start(m_wake, sources));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), m_watcher.ExitCode(kReportMs));
    WriteText(sources[0] + L"\\File.txt", "y");
    EXPECT_FALSE(Woken(kQuietMs));
}

}  // namespace
}  // namespace tvx::engine::testing
