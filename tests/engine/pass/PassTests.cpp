// Mirror passes end to end inside one process: the settings in the registry,
// source folders on C:, the catalogue beside the test executable, and the
// controller's RunPass doing scan, disk check, copy and start stamp.
#include "app/MirrorController.h"
#include "catalogue/Catalog.h"
#include "engine/FileQueries.h"
#include "framework/Prompts.h"
#include "framework/TimeSeam.h"
#include "settings/Settings.h"
#include "tests/support/Files.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tvx {
namespace {

namespace fs = std::filesystem;

const std::wstring kRoot = L"C:\\tvx-pass";
const std::wstring kSource = kRoot + L"\\src";
const std::wstring kDestination = kRoot + L"\\dest\\";

// Where a source file's mirror copy lands under kDestination.
std::wstring Mirror(const std::wstring& source) { return kRoot + L"\\dest" + source.substr(2); }

using test::Exists;
using test::Read;
using test::RemoveTree;
using test::Write;

std::uint64_t Stamp(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA d{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &d)) return 0;
    const auto created = std::uint64_t{d.ftCreationTime.dwHighDateTime} << 32 | d.ftCreationTime.dwLowDateTime;
    const auto written = std::uint64_t{d.ftLastWriteTime.dwHighDateTime} << 32 | d.ftLastWriteTime.dwLowDateTime;
    return std::max(created, written);
}

FILETIME LastWrite(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA d{};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &d);
    return d.ftLastWriteTime;
}

void SetTimes(const std::wstring& path, const FILETIME& created, const FILETIME& written) {
    HANDLE h = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    SetFileTime(h, &created, nullptr, &written);
    CloseHandle(h);
}

// Keeps a mirror copy's size and times while changing its bytes (to as many
// '~'), so that a test can see whether a pass copied over it.
void Scribble(const std::wstring& mirror) {
    WIN32_FILE_ATTRIBUTE_DATA d{};
    ASSERT_TRUE(GetFileAttributesExW(mirror.c_str(), GetFileExInfoStandard, &d));
    Write(mirror, std::string(d.nFileSizeLow, '~'));
    SetTimes(mirror, d.ftCreationTime, d.ftLastWriteTime);
    SetFileAttributesW(mirror.c_str(), d.dwFileAttributes);
}

bool StartTimeStored() {
    std::uint64_t stamp = 0;
    return settings::ReadStartTime(stamp) == ERROR_SUCCESS;
}

std::uint64_t StoredStartTime() {
    std::uint64_t stamp = 0;
    settings::ReadStartTime(stamp);
    return stamp;
}

void ForgetStartTime() {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, settings::kOptionsKey, L"Start Time Low");
    RegDeleteKeyValueW(HKEY_CURRENT_USER, settings::kOptionsKey, L"Start Time High");
}

class PassTest : public ::testing::Test {
protected:
    void SetUp() override {
        timeseam::SetDivisor(1000);
        settings::DeleteOptionsKey();
        ASSERT_EQ(0, catalogue::CTVXCatalog().DeleteFiles());
        RemoveTree(kRoot);
        settings::WriteDestination(kDestination);
        settings::WriteSourceList({kSource});
        settings::WriteFilterList({L"TMP"});
        settings::WriteDiskID(L"NotTavrix");
        settings::WriteRevisions(0);
        settings::WriteStartTime(0);
        Write(m_a, "alpha");
        Write(m_b, "bravo");
        Write(m_excluded, "scratch");
        fs::create_directories(kSource + L"\\empty");
    }
    void TearDown() override {
        m_controller.reset();
        RemoveTree(kRoot);
        timeseam::SetDivisor(1);
    }

    DWORD Pass() { return m_controller->RunPass(0); }

    std::unique_ptr<CTVXMirrorController> m_controller = std::make_unique<CTVXMirrorController>();
    const std::wstring m_a = kSource + L"\\a.txt";
    const std::wstring m_b = kSource + L"\\sub\\deep\\b.doc";
    const std::wstring m_excluded = kSource + L"\\sub\\c.tmp";
};

TEST_F(PassTest, FirstPassCopiesEveryFileButExcludedOnesAndStoresTheNewestStamp) {
    ASSERT_EQ(0u, Pass());
    EXPECT_EQ("alpha", Read(Mirror(m_a)));
    EXPECT_EQ("bravo", Read(Mirror(m_b)));
    EXPECT_FALSE(Exists(Mirror(m_excluded))) << "an excluded extension was copied";
    EXPECT_EQ(std::max(Stamp(m_a), Stamp(m_b)), StoredStartTime());
}

TEST_F(PassTest, NothingChangedCopiesNothingAndLeavesTheStartStampAlone) {
    ASSERT_EQ(0u, Pass());
    ForgetStartTime();
    Scribble(Mirror(m_a));
    ASSERT_EQ(0u, Pass());
    EXPECT_EQ("~~~~~", Read(Mirror(m_a))) << "an unchanged file was copied again";
    EXPECT_FALSE(StartTimeStored()) << "a pass without changes wrote the start stamp";
}

TEST_F(PassTest, AnAttributeChangeOrAnOlderTimeIsCopiedAgain) {
    ASSERT_EQ(0u, Pass());
    Scribble(Mirror(m_a));
    Scribble(Mirror(m_b));
    ASSERT_TRUE(SetFileAttributesW(m_a.c_str(), FILE_ATTRIBUTE_HIDDEN));
    FILETIME older = LastWrite(m_b);
    older.dwHighDateTime -= 100;  // some days back
    SetTimes(m_b, older, older);
    ASSERT_EQ(0u, Pass());
    EXPECT_EQ("alpha", Read(Mirror(m_a)));
    EXPECT_TRUE(GetFileAttributesW(Mirror(m_a).c_str()) & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ("bravo", Read(Mirror(m_b)));
    EXPECT_EQ(older.dwHighDateTime, LastWrite(Mirror(m_b)).dwHighDateTime);
}

TEST_F(PassTest, ASourceWithOrWithoutItsTrailingBackslashIsTheSameFiles) {
    settings::WriteSourceList({kSource + L"\\"});
    ASSERT_EQ(0u, Pass());
    EXPECT_EQ("alpha", Read(Mirror(m_a)));
    Scribble(Mirror(m_a));
    settings::WriteSourceList({kSource});
    ASSERT_EQ(0u, Pass());
    EXPECT_EQ("~~~~~", Read(Mirror(m_a))) << "the same file was looked up under another path";
}

TEST_F(PassTest, WithoutTheDiskOrWhenStoppedNothingIsCopiedAndTheFilesStayListed) {
    settings::WriteDiskID(L"0");  // a disk of the maker that cannot be checked here
    ASSERT_EQ(0u, Pass());
    EXPECT_FALSE(Exists(Mirror(m_a)));
    EXPECT_EQ(0u, StoredStartTime()) << "the start stamp must not move without a copy";

    settings::WriteDiskID(L"NotTavrix");
    m_controller->Stop();
    EXPECT_EQ(static_cast<DWORD>(ERROR_OPERATION_ABORTED), Pass());
    EXPECT_FALSE(Exists(Mirror(m_a)));

    m_controller = std::make_unique<CTVXMirrorController>();  // not stopped
    ASSERT_EQ(0u, Pass());
    EXPECT_EQ("alpha", Read(Mirror(m_a))) << "files left by earlier passes are listed again";
}

TEST_F(PassTest, AMissingSourceYieldsNothingWhileTheOthersAreScanned) {
    const std::wstring other = kRoot + L"\\other";
    Write(other + L"\\o.txt", "other");
    settings::WriteSourceList({kRoot + L"\\missing", kSource, kRoot + L"\\gone\\too", other});
    ASSERT_EQ(0u, Pass());
    EXPECT_EQ("alpha", Read(Mirror(m_a)));
    EXPECT_EQ("other", Read(Mirror(other + L"\\o.txt")));
    EXPECT_FALSE(Exists(kRoot + L"\\dest\\tvx-pass\\missing"));
}

TEST_F(PassTest, NoDestinationMeansNoPassAtAll) {
    settings::DeleteOptionsKey();
    settings::WriteSourceList({kSource});
    settings::WriteDiskID(L"NotTavrix");
    m_controller = std::make_unique<CTVXMirrorController>();
    EXPECT_EQ(0u, Pass());
    EXPECT_FALSE(Exists(catalogue::CTVXCatalog::ProgramFolder() + L"\\FILES.DBF")) << "the catalogue was opened";
}

TEST_F(PassTest, EmptiedExclusionListTakesEffectAtTheNextPass) {
    ASSERT_EQ(0u, Pass());
    EXPECT_FALSE(Exists(Mirror(m_excluded)));
    ASSERT_EQ(ERROR_SUCCESS, settings::DeleteFilterList());  // the dialog's OK with an empty list
    ASSERT_EQ(0u, Pass());
    EXPECT_EQ("scratch", Read(Mirror(m_excluded)));
}

// "Complete copy of all files" while a pass runs (here: while its alert is
// up) keeps its start stamp of 0, and the next pass copies every file again.
TEST_F(PassTest, CompleteCopyAskedForDuringAPassIsNotLost) {
    settings::WriteFileErrorStatus(1);
    ASSERT_EQ(0u, Pass());
    Scribble(Mirror(m_a));
    Write(kSource + L"\\blocked\\new.txt", "new");
    Write(Mirror(kSource + L"\\blocked"), "a file in the way");  // the new file's copy fails with an alert
    const PromptSink previous = SetPromptSink([this](const PromptRequest&) -> INT_PTR {
        m_controller->RequestCompleteCopy();
        return IDOK;
    });
    const DWORD result = Pass();
    SetPromptSink(previous);
    ASSERT_EQ(0u, result);
    EXPECT_EQ(0u, StoredStartTime()) << "the pass stored its own start stamp over the request";
    ASSERT_EQ(0u, Pass());
    EXPECT_EQ("alpha", Read(Mirror(m_a))) << "the complete copy lists every file again";
    EXPECT_NE(0u, StoredStartTime());
}

// A Cancel in the progress window before the first file is copied (or any
// stop of the copy after the pass began) is kept: nothing is copied.
TEST_F(PassTest, CancelBeforeTheFirstFileCopiesNothing) {
    int shown = 0;
    m_controller->SetProgressWindow([&](CTVXMirrorController& controller, bool show) {
        if (show) {
            ++shown;
            controller.CancelCopy();
        }
    });
    ASSERT_EQ(0u, m_controller->RunPass(1));
    EXPECT_EQ(1, shown);
    EXPECT_FALSE(Exists(Mirror(m_a)));
    EXPECT_FALSE(Exists(Mirror(m_b)));

    m_controller->SetProgressWindow(nullptr);
    ASSERT_EQ(0u, m_controller->RunPass(1));
    EXPECT_EQ("alpha", Read(Mirror(m_a))) << "the next pass copies";
}

// A source tree deeper than the classic 260-character limit is scanned and
// copied all the way down.
TEST_F(PassTest, SourceTreeDeeperThanTheClassicLimitIsCopied) {
    std::wstring folder = kSource;
    while (folder.size() < 300) {
        folder += L"\\a rather long folder name";
        ASSERT_TRUE(CreateDirectoryW(engine::ExtendedPath(folder).c_str(), nullptr)) << GetLastError();
    }
    const std::wstring deep = folder + L"\\deep.txt";
    HANDLE file = CreateFileW(engine::ExtendedPath(deep).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    CloseHandle(file);
    ASSERT_EQ(0u, Pass());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(engine::ExtendedPath(Mirror(deep)).c_str()));
    EXPECT_EQ("alpha", Read(Mirror(m_a)));
}

}  // namespace
}  // namespace tvx
