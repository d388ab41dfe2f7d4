// The copy engine against a 2 MiB removable disk in E: (a tmpfs; mounting
// needs root, and the tests skip with mount's message where it is refused):
// files larger than the disk, a disk that fills during a pass, and a new
// version that fits only in place of the old one. Then an 80 MiB disk that
// another program fills during a pass, behind the engine's free-space figure.
#include "tests/engine/copy/CopyTestSupport.h"

#include <atomic>
#include <thread>

namespace tvx::engine::testing {
namespace {

constexpr std::uint64_t kDiskSize = 2 * 1024 * 1024;

class SmallDiskCopyTest : public CopyTest {
protected:
    void SetUp() override {
        CopyTest::SetUp();
        if (HasFatalFailure()) return;
        m_disk = m_unix + "/disk";
        std::string why;
        if (const DWORD error = testdisks::MountTmpfsDisk(m_disk, DiskSize(), &why))
            GTEST_SKIP() << "cannot mount a tmpfs disk here (error " << error << "): " << why;
        m_mounted = true;
        ASSERT_EQ(ERROR_SUCCESS, testdisks::MakeDiskFolder(m_disk, 0x2D15C0DE, L"SMALL"));
        ASSERT_EQ(ERROR_SUCCESS, testdisks::InsertDisk(L'E', m_disk));
        m_destination = L"E:\\";
    }
    virtual std::uint64_t DiskSize() const { return kDiskSize; }
    void TearDown() override {
        if (m_mounted) {
            EXPECT_EQ(ERROR_SUCCESS, testdisks::RemoveDisk(L'E'));
            EXPECT_EQ(ERROR_SUCCESS, testdisks::UnmountDisk(m_disk));
        }
        CopyTest::TearDown();
    }
    bool NoPartialFileUnder(const std::wstring& source) {
        const std::wstring mirror = Mirror(source);
        return Names(mirror.substr(0, mirror.rfind(L'\\')), kPartialPattern.c_str()).empty();
    }

    std::string m_disk;
    bool m_mounted = false;
};

TEST_F(SmallDiskCopyTest, FileLargerThanTheDiskIsLeftOutWithOneAlert) {
    EXPECT_EQ(0u, m_engine->EnsureFolder(L"E:\\")) << "a drive root exists";
    EXPECT_EQ(kDiskSize, GetCapacity(L"E:\\Any\\Folder"));
    EXPECT_LT(GetFreeSpace(L"E:"), kDiskSize);
    // 4 GiB + 100 bytes: its low 32 bits alone would fit.
    const std::wstring huge = m_source + L"\\huge.bin";
    MakeSparseFile(huge, (4ull << 30) + 100, {});
    const std::wstring small = Source(L"small.txt", "small");

    CopyPass({huge, small});
    ASSERT_EQ(1u, m_alerts.size());
    EXPECT_EQ(kFileTooLargeAlert, m_alerts[0].dialog);
    EXPECT_EQ(huge, m_alerts[0].text);
    EXPECT_FALSE(Exists(Mirror(huge)));
    EXPECT_FALSE(Recorded(huge));
    EXPECT_EQ("small", Read(Mirror(small)));
    EXPECT_TRUE(m_handler.calls.empty());
}

TEST_F(SmallDiskCopyTest, FullDiskGoesToTheExchangeAndTheSameFileIsCopiedAgain) {
    WriteBytes(L"E:\\filler.bin", std::string(1536 * 1024, 'f'));
    const std::wstring early = Source(L"early.txt", std::string(100 * 1024, 'e'), kStamp + kDay);
    const std::wstring late = Source(L"late.bin", std::string(600 * 1024, 'l'), kStamp + 2 * kDay);
    int percentAtExchange = -1;
    m_handler.answer = [&] {
        percentAtExchange = m_engine->GetPercentDone();
        EXPECT_TRUE(DeleteFileW(L"E:\\filler.bin"));  // room on the "new" disk
        return DWORD{0};
    };

    CopyPass({late, early});
    ASSERT_EQ(1u, m_handler.calls.size());
    const FakeDiskFullHandler::Call& call = m_handler.calls[0];
    EXPECT_EQ(kStamp + kDay, call.diskStartStamp) << "the first file copied to the full disk";
    EXPECT_EQ(kStamp + kDay, call.newestCopiedStamp);
    EXPECT_EQ(600u * 1024, call.fileSize);
    EXPECT_EQ(L"E:", call.root);
    EXPECT_EQ(100u * 1024, call.bytesCopied);
    EXPECT_EQ(14, percentAtExchange) << "100 KiB of 700 KiB";

    EXPECT_EQ(std::string(600 * 1024, 'l'), Read(Mirror(late)));
    EXPECT_TRUE(Recorded(late));
    EXPECT_TRUE(NoPartialFileUnder(late));
    EXPECT_EQ(kStamp + 2 * kDay, m_engine->DiskStartStamp()) << "the first file copied to the new disk";
    EXPECT_EQ(kStamp + 2 * kDay, m_start);
    EXPECT_TRUE(m_alerts.empty());
}

TEST_F(SmallDiskCopyTest, DeclinedExchangeEndsThePass) {
    WriteBytes(L"E:\\filler.bin", std::string(1900 * 1024, 'f'));
    const std::wstring first = Source(L"first.bin", std::string(300 * 1024, '1'), kStamp + kDay);
    const std::wstring second = Source(L"second.txt", "small enough", kStamp + 2 * kDay);

    CopyPass({first, second});
    EXPECT_EQ(1u, m_handler.calls.size());
    EXPECT_FALSE(Exists(Mirror(first)));
    EXPECT_FALSE(Exists(Mirror(second))) << "nothing after a declined exchange";
    EXPECT_FALSE(Recorded(first));
    EXPECT_TRUE(m_alerts.empty());
}

TEST_F(SmallDiskCopyTest, ExchangeThatBringsNoRoomIsNotAskedForEver) {
    WriteBytes(L"E:\\filler.bin", std::string(1900 * 1024, 'f'));
    const std::wstring path = Source(L"first.bin", std::string(300 * 1024, '1'));
    m_handler.answer = [] { return DWORD{0}; };  // "a disk with room is in", but it is the same full one

    CopyPass({path});
    EXPECT_EQ(static_cast<std::size_t>(kMostExchangesPerFile), m_handler.calls.size());
    EXPECT_FALSE(Exists(Mirror(path)));
    EXPECT_FALSE(Recorded(path));
}

// The disk is pulled out while the first file's alert is up: the files after
// it give one alert for the destination, and stay listed.
TEST_F(SmallDiskCopyTest, DiskPulledOutEndsTheCopyWithOneAlert) {
    const std::wstring first = BlockedSource(L"blocked\\first.txt");
    std::vector<std::wstring> others;
    for (int i = 1; i <= 3; ++i) others.push_back(Source(L"f" + std::to_wstring(i) + L".txt", "x", kStamp + i * kDay));
    m_onAlert = [](const PromptRequest&) {
        if (GetFileAttributesW(L"E:\\") != INVALID_FILE_ATTRIBUTES) {
            EXPECT_EQ(ERROR_SUCCESS, testdisks::RemoveDisk(L'E'));
        }
    };

    CopyPass({others[0], others[1], others[2], first});
    ASSERT_EQ(2u, m_alerts.size());
    EXPECT_EQ(first, m_alerts[0].text);
    EXPECT_EQ(L"E:\\", m_alerts[1].text) << "the second alert names the destination";
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_READY), m_alerts[1].code) << "no disk, as Windows says it";
    for (const std::wstring& path : others) EXPECT_FALSE(Recorded(path));
    ASSERT_EQ(ERROR_SUCCESS, testdisks::InsertDisk(L'E', m_disk));
    for (const std::wstring& path : others) EXPECT_FALSE(Exists(Mirror(path)));
}

TEST_F(SmallDiskCopyTest, NewVersionWithRoomOnlyInPlaceOfTheOldOverwritesIt) {
    const std::wstring path = Source(L"big.bin", std::string(1200 * 1024, 'a'));
    CopyPass({path});
    ASSERT_EQ(1200u * 1024, GetFileSize(Mirror(path)));
    ASSERT_LT(GetFreeSpace(L"E:"), 1300u * 1024) << "no room for both copies";
    // Attributes that CREATE_ALWAYS would refuse or keep.
    ASSERT_TRUE(SetFileAttributesW(Mirror(path).c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));

    Source(L"big.bin", std::string(1300 * 1024, 'b'), kStamp + kDay);
    const FileFacts expected = Facts(path);
    CopyPass({path});
    EXPECT_EQ(expected, Facts(Mirror(path))) << "the source's attributes and times, nothing of the old copy's";
    EXPECT_EQ(std::string(1300 * 1024, 'b'), Read(Mirror(path)));
    EXPECT_TRUE(Recorded(path));
    EXPECT_TRUE(NoPartialFileUnder(path));
    EXPECT_TRUE(m_handler.calls.empty());
    EXPECT_TRUE(m_alerts.empty());
}

// The engine asks the volume for its free space when a pass starts and then
// counts what it writes; another program filling the disk during the pass
// must not change what the pass does: the disk's own answer decides.
class FillingDiskCopyTest : public SmallDiskCopyTest {
protected:
    std::uint64_t DiskSize() const override { return 80ull * 1024 * 1024; }

    // A listed file, first in the copy order, whose copy fails at once with
    // the file error alert (a file stands where its mirror folder should
    // be). Its alert is when the other program fills the disk, leaving
    // `left` bytes.
    std::wstring FirstFileFillingTheDiskTo(std::uint64_t left) {
        const std::wstring path = BlockedSource(L"blocked\\first.txt");
        m_onAlert = [left](const PromptRequest&) {
            const std::uint64_t free = GetFreeSpace(L"E:");
            ASSERT_GT(free, left);
            WriteBytes(L"E:\\filler.bin", std::string(static_cast<std::size_t>(free - left), 'f'));
        };
        return path;
    }
};

TEST_F(FillingDiskCopyTest, FreeSpaceFigureNeverClaimsMoreThanTheDiskHas) {
    CTVXChangedFileList list;
    for (int i = 0; i < 40; ++i)
        list.Add(Source(L"many\\small " + std::to_wstring(i) + L".txt", std::string(1000 + 100 * i, 's')));
    list.Add(Source(L"large.bin", std::string(3 * 1024 * 1024 + 1, 'l')));
    EXPECT_EQ(0u, m_engine->CopyAll(list, m_destination, m_catalog, m_start));

    const std::uint64_t free = GetFreeSpace(L"E:");
    EXPECT_LE(m_engine->FreeSpaceFigure(), free);
    EXPECT_GE(m_engine->FreeSpaceFigure() + 41 * 65536, free) << "short by less than 64 KiB a file";
}

TEST_F(FillingDiskCopyTest, RoomOnlyInPlaceOfTheOldCopyIsFoundAndUsed) {
    const std::wstring path = Source(L"data.bin", std::string(1024 * 1024, 'a'), kStamp + kDay);
    CopyPass({path});
    Source(L"data.bin", std::string(1536 * 1024, 'b'), kStamp + 2 * kDay);
    const std::wstring first = FirstFileFillingTheDiskTo(1024 * 1024);

    CopyPass({path, first});
    ASSERT_EQ(1u, m_alerts.size()) << "the first file's alert only";
    EXPECT_LT(GetFreeSpace(L"E:"), 1024u * 1024) << "the disk was filled";
    EXPECT_TRUE(m_handler.calls.empty()) << "the new copy fits in place of the old: no exchange";
    EXPECT_EQ(std::string(1536 * 1024, 'b'), Read(Mirror(path)));
    EXPECT_TRUE(Recorded(path));
    EXPECT_TRUE(NoPartialFileUnder(path));
    EXPECT_EQ(1536u * 1024, m_engine->BytesCopied()) << "each byte counted once";
}

// A copy written over the old one in place cannot give it back: a stop that
// comes while it is written waits until the file is complete, then ends the
// copy before the next file.
TEST_F(FillingDiskCopyTest, StopDuringAnInPlaceCopyFinishesThatFileFirst) {
    const std::wstring path = Source(L"data.bin", std::string(30 * 1024 * 1024, 'a'), kStamp + kDay);
    CopyPass({path});
    const std::string bytes(40 * 1024 * 1024, 'b');
    Source(L"data.bin", bytes, kStamp + 2 * kDay);
    const std::wstring first = FirstFileFillingTheDiskTo(20 * 1024 * 1024);
    const std::wstring later = Source(L"later.txt", "later", kStamp + 3 * kDay);
    m_engine = std::make_unique<ProbeEngine>(m_handler);  // no bytes counted yet

    // The stopper watches from before the copy begins: the copy of 40 MiB
    // can be over in a few tens of milliseconds.
    std::atomic<bool> done{false}, watching{false};
    std::thread stopper([&] {
        watching.store(true);
        while (!done.load() && m_engine->BytesCopied() == 0) YieldProcessor();
        m_engine->Stop();
    });
    while (!watching.load()) ::Sleep(1);
    CopyPass({path, first, later});
    done.store(true);
    stopper.join();

    EXPECT_TRUE(m_handler.calls.empty()) << "the new copy fits in place of the old";
    EXPECT_EQ(bytes.size(), GetFileSize(Mirror(path)));
    EXPECT_EQ(bytes, Read(Mirror(path)));
    EXPECT_TRUE(Recorded(path));
    EXPECT_FALSE(Exists(Mirror(later))) << "the stop ends the copy after that file";
}

TEST_F(FillingDiskCopyTest, SmallNewFileThatStopsFittingLeavesNothingUnderItsName) {
    // Written under its own name (it is new and small), it meets the full
    // disk after 100 KiB; the exchange is declined.
    const std::wstring path = Source(L"notes\\new.txt", std::string(600 * 1024, 's'), kStamp + kDay);
    const std::wstring first = FirstFileFillingTheDiskTo(100 * 1024);

    CopyPass({path, first});
    ASSERT_EQ(1u, m_handler.calls.size());
    EXPECT_EQ(600u * 1024, m_handler.calls[0].fileSize);
    EXPECT_FALSE(Exists(Mirror(path))) << "no half-written file under the real name";
    EXPECT_TRUE(NoPartialFileUnder(path));
    EXPECT_FALSE(Recorded(path));
}

TEST_F(FillingDiskCopyTest, NoRoomIsFoundAndGoesToTheExchangeWithExactCounts) {
    const std::string bytes(3 * 1024 * 1024, 'n');
    const std::wstring path = Source(L"new.bin", bytes, kStamp + kDay);
    const std::wstring first = FirstFileFillingTheDiskTo(1024 * 1024);
    m_handler.answer = [] {
        EXPECT_TRUE(DeleteFileW(L"E:\\filler.bin"));  // room on the "new" disk
        return DWORD{0};
    };

    CopyPass({path, first});
    ASSERT_EQ(1u, m_handler.calls.size());
    EXPECT_EQ(bytes.size(), m_handler.calls[0].fileSize);
    EXPECT_EQ(0u, m_handler.calls[0].bytesCopied) << "the bytes of the copy that did not fit are not counted";
    EXPECT_EQ(bytes, Read(Mirror(path)));
    EXPECT_TRUE(Recorded(path));
    EXPECT_TRUE(NoPartialFileUnder(path));
    EXPECT_EQ(bytes.size(), m_engine->BytesCopied());
}

}  // namespace
}  // namespace tvx::engine::testing
