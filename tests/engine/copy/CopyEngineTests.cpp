// The copy engine on real files: what a mirror copy holds, the copy order,
// which failures are silent and which alert, stopping, and the alert rules.
#include "tests/engine/copy/CopyTestSupport.h"

#include <atomic>
#include <thread>

namespace tvx::engine::testing {
namespace {

using MirrorCopyTest = CopyTest;

TEST_F(MirrorCopyTest, MirrorHasTheSourcesBytesTimesAndAttributes) {
    struct Case {
        const wchar_t* name;
        std::string bytes;
        DWORD attributes;
    };
    const std::vector<Case> cases = {
        {L"a\\b\\c\\deep.txt", "nested", FILE_ATTRIBUTE_ARCHIVE},
        {L"read-only.doc", std::string(3 * kTransferBufferBytes + 5, 'r'), FILE_ATTRIBUTE_READONLY},
        {L"hidden.ini", "h", FILE_ATTRIBUTE_HIDDEN},
        {L"system.sys", "s", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE},
        {L"Ünïcødé 日本語\\Größe €.txt", "unicode", FILE_ATTRIBUTE_ARCHIVE},
        {L"empty.bin", "", FILE_ATTRIBUTE_ARCHIVE},
        {L"Notes", "no extension", FILE_ATTRIBUTE_NORMAL}};
    CTVXChangedFileList list;
    std::vector<std::wstring> paths;
    std::vector<FileFacts> before;
    std::uint64_t total = 0, stamp = kStamp;
    for (const Case& c : cases) {
        stamp += kDay;
        const std::wstring path = Source(c.name, c.bytes);
        SetTimes(path, stamp - kDay / 2, stamp + 7, stamp);
        ASSERT_TRUE(SetFileAttributesW(path.c_str(), c.attributes));
        paths.push_back(path);
        before.push_back(Facts(path));
        ASSERT_EQ(0u, list.Add(path));
        total += c.bytes.size();
    }
    EXPECT_EQ(total, list.TotalBytes());

    EXPECT_EQ(0u, m_engine->CopyAll(list, m_destination, m_catalog, m_start));
    EXPECT_EQ(0u, list.Count()) << "the list is cleared after the copy";

    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(paths[i]);
        const std::wstring mirror = Mirror(paths[i]);
        EXPECT_EQ(before[i], Facts(mirror));  // before reading it moves the last-access time
        EXPECT_EQ(cases[i].bytes, Read(mirror));
        EXPECT_TRUE(Recorded(paths[i]));
        EXPECT_TRUE(Names(Mirror(paths[i].substr(0, paths[i].rfind(L'\\'))), kPartialPattern.c_str()).empty());
    }
    EXPECT_TRUE(m_alerts.empty());
    EXPECT_EQ(total, m_engine->BytesCopied());
    EXPECT_EQ(0u, m_engine->GetTotalBytes()) << "no list once the copy is done";
    EXPECT_EQ(stamp, m_start) << "the start stamp rises to the newest stamp copied";
    EXPECT_EQ(kStamp + kDay, m_engine->DiskStartStamp()) << "the oldest file was the disk's first";

    const std::wstring emptyFolder = m_source + L"\\empty folder";
    ASSERT_TRUE(CreateDirectoryW(emptyFolder.c_str(), nullptr));
    CopyPass({emptyFolder});
    EXPECT_FALSE(Exists(Mirror(emptyFolder))) << "a listed folder makes nothing";
    EXPECT_TRUE(m_alerts.empty());

    m_engine.reset();  // the disk start stamp goes back to the settings
    std::uint64_t stored = 0;
    ASSERT_EQ(ERROR_SUCCESS, settings::ReadDiskStartTime(stored));
    EXPECT_EQ(kStamp + kDay, stored);
}

TEST_F(MirrorCopyTest, ReadOnlyHiddenSystemMirrorCopyIsReplaced) {
    const std::wstring path = Source(L"report.txt", "version 1");
    CopyPass({path});
    const std::wstring mirror = Mirror(path);
    constexpr DWORD kLocked = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    ASSERT_TRUE(SetFileAttributesW(mirror.c_str(), kLocked));

    Source(L"report.txt", "version 2, longer", kStamp + kDay);
    const FileFacts expected = Facts(path);
    CopyPass({path});
    EXPECT_EQ(expected, Facts(mirror));
    EXPECT_EQ("version 2, longer", Read(mirror));
    EXPECT_TRUE(m_alerts.empty());
}

// Source files that happen to have the names a copy into their folder
// would first write to: their mirror copies are files of the user's, and
// stay as they are.
TEST_F(MirrorCopyTest, FilesWithPartialNamesAreNeverTakenForPartialFiles) {
    const std::wstring path = Source(L"Letters\\June.doc", "June, first");
    CopyPass({path});
    const std::wstring mirror = Mirror(path);
    std::vector<std::wstring> namesakes;
    for (unsigned attempt = 0; attempt < 2; ++attempt) {
        const std::wstring name = PartialPathFor(mirror, attempt);
        namesakes.push_back(Source(L"Letters" + name.substr(name.rfind(L'\\')), "a user's file"));
        ASSERT_TRUE(SetFileAttributesW(namesakes.back().c_str(), FILE_ATTRIBUTE_HIDDEN));
    }
    CopyPass({namesakes[0], namesakes[1]});

    // A new version of June.doc replaces its mirror copy, so it is written
    // beside it, under the first name that is free.
    Source(L"Letters\\June.doc", "June, second", kStamp + kDay);
    const FileFacts expected = Facts(path);
    CopyPass({path});
    EXPECT_EQ(expected, Facts(mirror));
    EXPECT_EQ("June, second", Read(mirror));
    for (const std::wstring& namesake : namesakes) EXPECT_EQ("a user's file", Read(Mirror(namesake)));
    EXPECT_EQ(3u, Names(mirror.substr(0, mirror.rfind(L'\\'))).size()) << "nothing left beside them";
    EXPECT_TRUE(Recorded(path));
    EXPECT_TRUE(m_alerts.empty());
}

TEST_F(MirrorCopyTest, FileOverFourGiBIsCopiedWhole) {
    // Sparse, with marks at the start, across the 4 GiB line and at the end.
    constexpr std::uint64_t kSize = (4ull << 30) + 100;
    const std::vector<std::pair<std::uint64_t, std::string>> marks = {
        {0, "first"}, {(4ull << 30) - 3, "across"}, {kSize - 4, "last"}};
    const std::wstring path = m_source + L"\\huge.bin";
    MakeSparseFile(path, kSize, marks);
    CTVXChangedFileList list;
    ASSERT_EQ(0u, list.Add(path));
    EXPECT_EQ(kSize, list.TotalBytes());

    const DWORD started = GetTickCount();
    EXPECT_EQ(0u, m_engine->CopyAll(list, m_destination, m_catalog, m_start));
    RecordProperty("copy_ms", static_cast<int>(GetTickCount() - started));

    const std::wstring mirror = Mirror(path);
    EXPECT_EQ(kSize, GetFileSize(mirror));
    for (const auto& [offset, bytes] : marks) EXPECT_EQ(bytes, ReadAt(mirror, offset, bytes.size()));
    EXPECT_EQ(kSize, m_engine->BytesCopied());
    EXPECT_TRUE(Recorded(path));
}

// Copy order by stamp (equal stamps as found), the file error alert with the
// path and code, and the percent while the list total is 0: every file is
// listed while empty, and each but the oldest has a file where its mirror
// folder should be, so that its copy fails and its alert shows the order.
TEST_F(MirrorCopyTest, FailedCopiesAlertInStampOrderWithTheirErrorCode) {
    const std::vector<std::pair<const wchar_t*, std::uint64_t>> files = {
        {L"z\\late.txt", kStamp + 3 * kDay}, {L"y\\same-z.txt", kStamp + kDay},
        {L"x\\same-y.txt", kStamp + kDay},   {L"w\\middle.txt", kStamp + 2 * kDay}};
    CTVXChangedFileList list;
    const std::wstring first = Source(L"first.txt", "", kStamp);
    ASSERT_EQ(0u, list.Add(first));
    std::vector<std::wstring> paths;
    for (const auto& [name, stamp] : files) {
        paths.push_back(BlockedSource(name, stamp));
        ASSERT_EQ(0u, list.Add(paths.back()));
    }
    Source(L"first.txt", "grown 10 b", kStamp);  // the list still counts it empty

    int percentAtFirstAlert = -1;
    m_onAlert = [&](const PromptRequest&) {
        if (percentAtFirstAlert < 0) percentAtFirstAlert = m_engine->GetPercentDone();
    };
    EXPECT_EQ(0u, m_engine->CopyAll(list, m_destination, m_catalog, m_start));

    EXPECT_EQ("grown 10 b", Read(Mirror(first)));
    EXPECT_EQ(99, percentAtFirstAlert) << "bytes copied against a total of 0";
    ASSERT_EQ(4u, m_alerts.size());
    const std::vector<std::wstring> expectedOrder = {paths[1], paths[2], paths[3], paths[0]};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(kFileErrorAlert, m_alerts[i].dialog);
        EXPECT_EQ(expectedOrder[i], m_alerts[i].text);
        EXPECT_NE(0u, m_alerts[i].code);
        EXPECT_FALSE(Recorded(expectedOrder[i]));
    }
    RecordProperty("error_for_a_file_as_folder", static_cast<int>(m_alerts[0].code));
}

TEST_F(MirrorCopyTest, FilesInUseOrGoneAreSkippedSilentlyAndListedAgain) {
    const std::wstring locked = Source(L"locked.txt", "in use");
    const std::wstring gone = Source(L"gone.txt", "deleted after the scan");
    const std::wstring plain = Source(L"plain.txt", "plain");
    HANDLE holder = CreateFileW(locked.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    CTVXChangedFileList list;
    for (const std::wstring& path : {locked, gone, plain}) ASSERT_EQ(0u, list.Add(path));
    ASSERT_TRUE(DeleteFileW(gone.c_str()));

    EXPECT_EQ(0u, m_engine->CopyAll(list, m_destination, m_catalog, m_start));
    EXPECT_TRUE(m_alerts.empty());
    EXPECT_EQ("plain", Read(Mirror(plain)));
    EXPECT_FALSE(Exists(Mirror(locked)));
    EXPECT_FALSE(Recorded(locked)) << "so that the next pass lists it again";
    EXPECT_FALSE(Exists(Mirror(gone)));

    CloseHandle(holder);
    CopyPass({locked});
    EXPECT_EQ("in use", Read(Mirror(locked)));
    EXPECT_TRUE(Recorded(locked));
}

// A log that its writer keeps open and writes to while it is copied: the
// copy record holds the state the copy began with, so the next pass lists
// the file again and brings the mirror copy up to date.
TEST_F(MirrorCopyTest, FileChangedWhileItIsCopiedIsCopiedAgainByTheNextPass) {
    const std::wstring path = Source(L"growing.log", std::string(64 * 1024 * 1024, 'a'));
    HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    std::atomic<bool> done{false};
    std::thread change([&] {
        while (!done.load() && m_engine->BytesCopied() == 0) YieldProcessor();
        const LARGE_INTEGER end{};
        DWORD written = 0;
        SetFilePointerEx(writer, end, nullptr, FILE_END);
        WriteFile(writer, "more", 4, &written, nullptr);
        const FILETIME later{static_cast<DWORD>(kStamp + kDay), static_cast<DWORD>((kStamp + kDay) >> 32)};
        SetFileTime(writer, nullptr, nullptr, &later);
    });
    CopyPass({path});
    done.store(true);
    change.join();
    CloseHandle(writer);
    EXPECT_FALSE(Recorded(path)) << "recorded as it was when the copy ended, not as it was copied";

    CopyPass({path});
    EXPECT_TRUE(Recorded(path));
    EXPECT_EQ(64u * 1024 * 1024 + 4, GetFileSize(Mirror(path)));
    EXPECT_EQ("more", ReadAt(Mirror(path), 64u * 1024 * 1024, 4));
}

TEST_F(MirrorCopyTest, StopDuringALargeFileKeepsThePreviousMirrorCopy) {
    const std::wstring big = Source(L"big.bin", "old version");
    const std::wstring later = Source(L"later.txt", "later", kStamp + 2 * kDay);
    CopyPass({big});
    const std::wstring mirror = Mirror(big);
    const FileFacts old = Facts(mirror);
    MakeSparseFile(big, 1ull << 30, {{0, "new version"}});
    SetTimes(big, kStamp + kDay, kStamp + kDay, kStamp + kDay);
    m_engine = std::make_unique<ProbeEngine>(m_handler);  // no bytes counted yet

    std::atomic<bool> done{false};
    std::wstring sourceSeen, destinationSeen;
    const std::wstring partials = mirror.substr(0, mirror.rfind(L'\\') + 1) + kPartialPattern;
    DWORD partialAttributes = INVALID_FILE_ATTRIBUTES;
    std::thread stopper([&] {
        while (!done.load() && m_engine->BytesCopied() == 0) YieldProcessor();
        m_engine->GetCurrentSource(sourceSeen);
        m_engine->GetCurrentDestination(destinationSeen);
        WIN32_FIND_DATAW found{};
        const HANDLE find = FindFirstFileW(partials.c_str(), &found);
        if (find != INVALID_HANDLE_VALUE) {
            partialAttributes = found.dwFileAttributes;
            FindClose(find);
        }
        m_engine->Stop();
    });
    CopyPass({big, later});
    done.store(true);
    stopper.join();

    EXPECT_EQ(big, sourceSeen);
    EXPECT_EQ(mirror, destinationSeen);
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, partialAttributes) << "the copy is written beside the mirror copy";
    EXPECT_TRUE(partialAttributes & FILE_ATTRIBUTE_HIDDEN) << "and hidden while it is";
    EXPECT_LT(m_engine->BytesCopied(), 1ull << 30) << "the copy ended early";
    EXPECT_EQ(old, Facts(mirror));
    EXPECT_EQ("old version", Read(mirror));
    EXPECT_TRUE(Names(mirror.substr(0, mirror.rfind(L'\\')), kPartialPattern.c_str()).empty());
    EXPECT_FALSE(Recorded(big));
    EXPECT_FALSE(Exists(Mirror(later))) << "the loop ends at a stop";
    EXPECT_TRUE(m_alerts.empty());
}

// E: without a disk: no destination folder, no space to ask about.
TEST_F(MirrorCopyTest, EmptyDriveGetsTheFileErrorAlertAndCopiesNothing) {
    ASSERT_EQ(ERROR_SUCCESS, testdisks::RemoveDisk(L'E'));
    EXPECT_EQ(kUnknownSpace, GetFreeSpace(L"E:\\Data"));
    EXPECT_EQ(kUnknownSpace, GetCapacity(L"E:"));
    const std::wstring path = Source(L"a.txt", "a");
    CopyPass({path}, L"E:\\Backup");
    ASSERT_EQ(1u, m_alerts.size());
    EXPECT_EQ(kFileErrorAlert, m_alerts[0].dialog);
    EXPECT_EQ(L"E:\\Backup", m_alerts[0].text);
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_READY), m_alerts[0].code) << "Wine's 3 for an empty drive is told as 21";
    EXPECT_FALSE(Recorded(path, L"E:\\Backup"));
}

TEST(DestinationPathsTest, FollowTheSourcePathBelowItsDrive) {
    EXPECT_EQ(L"E:", DestinationRootOf(L"E:\\"));
    EXPECT_EQ(L"E:\\Notes.txt", MirrorPathOf(L"E:", L"C:\\Notes.txt"));
    const std::wstring base = RevisionBaseOf(L"E:", L"C:\\My Documents\\May.doc");
    EXPECT_EQ(L"E:\\Tavrix Dovetrak 3 Revisions\\My Documents\\May.(12).doc", RevisionNameOf(base, 12));
    EXPECT_EQ(L"E:\\v1.2\\Notes.(1)", RevisionNameOf(L"E:\\v1.2\\Notes", 1)) << "a folder's dot is no extension";
    EXPECT_EQ(7u, RevisionNumberOf(L"a.(1).b.(7x).doc"));
    EXPECT_EQ(0u, RevisionNumberOf(L"May.(x).doc"));
}

TEST(ChangedFileListTest, MissingFileIsNotAdded) {
    std::uint64_t stamp = 1;
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetFileStamp(L"Z:\\tmp\\tvx-none\\none.txt", stamp));
    EXPECT_EQ(0u, stamp);
    CTVXChangedFileList list;
    EXPECT_NE(0u, list.Add(L"Z:\\tmp\\tvx-none\\none.txt"));
    EXPECT_EQ(0u, list.Count() + list.OrderCount() + list.TotalBytes());
}

TEST(ChangedFileListTest, DirectoryEntryGivesTheWholeSizeAndTheLaterTimeAsStamp) {
    constexpr FILETIME kEarlier{0x0000'0100, 0x01D8'0000}, kLater{0x0000'0200, 0x01D8'0000};
    WIN32_FIND_DATAW entry{};
    entry.nFileSizeHigh = 1;  // 4 GiB + 5
    entry.nFileSizeLow = 5;
    entry.ftCreationTime = kLater;  // copied in after it was last written
    entry.ftLastWriteTime = kEarlier;
    CTVXChangedFileList list;
    EXPECT_EQ(0u, list.Add(L"C:\\Data\\copied.bin", entry));
    entry.nFileSizeHigh = 0;
    entry.nFileSizeLow = 0xFFFF'FFFF;
    entry.ftCreationTime = kEarlier;
    entry.ftLastWriteTime = kLater;
    EXPECT_EQ(0u, list.Add(L"C:\\Data\\written.bin", entry));

    ASSERT_EQ(2u, list.Count());
    ASSERT_EQ(2u, list.OrderCount());
    EXPECT_EQ((4ull << 30) + 5 + 0xFFFF'FFFFull, list.TotalBytes());
    for (std::uint32_t i = 0; i < 2; ++i) EXPECT_EQ(0x01D8'0000'0000'0200ull, list.EntryAt(i).stamp) << i;
    EXPECT_EQ(L"C:\\Data\\written.bin", list.EntryAt(1).path) << "found order";
}

using AlertRulesTest = CopyTest;

TEST_F(AlertRulesTest, ShownOnlyWithItsOwnShowAgainValueAtOneAndNoOtherWindowOpen) {
    const std::pair<int, LONG (*)(DWORD)> alerts[] = {{kFileTooLargeAlert, settings::Write2LargeStatus},
                                                      {kFileErrorAlert, settings::WriteFileErrorStatus},
                                                      {kLongNameAlert, settings::WriteFileNameStatus}};
    for (const auto& [dialog, write] : alerts) {
        for (const auto& [other, writeOther] : alerts) writeOther(other == dialog ? 0 : 1);
        EXPECT_EQ(0, RaiseAlert(dialog, L"C:\\a.txt", 5)) << dialog << " with its value 0";
        write(2);
        EXPECT_EQ(0, RaiseAlert(dialog, L"C:\\a.txt", 5)) << dialog << " with its value 2";
        write(1);
        Flags().modalWindow.store(1);
        EXPECT_EQ(0, RaiseAlert(dialog, L"C:\\a.txt", 5)) << dialog << " under another window";
        EXPECT_EQ(1, Flags().modalWindow.load()) << "the other window's flag stays";
        Flags().modalWindow.store(0);
        ASSERT_TRUE(m_alerts.empty());

        EXPECT_EQ(1, RaiseAlert(dialog, L"C:\\a.txt", 5));
        ASSERT_EQ(1u, m_alerts.size());
        EXPECT_EQ(dialog, m_alerts[0].dialog);
        EXPECT_EQ(L"C:\\a.txt", m_alerts[0].text);
        EXPECT_EQ(5u, m_alerts[0].code);
        EXPECT_EQ(0, Flags().modalWindow.load()) << "cleared once the alert is down";
        m_alerts.clear();
    }
}

}  // namespace
}  // namespace tvx::engine::testing
