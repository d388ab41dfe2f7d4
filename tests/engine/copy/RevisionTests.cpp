// Numbered revisions: the replaced mirror copy is kept under the next number
// in the revisions folder, the oldest beyond the limit are deleted, and a
// name too long to number keeps one plain revision.
#include "tests/engine/copy/CopyTestSupport.h"

#include <filesystem>

namespace tvx::engine::testing {
namespace {

class RevisionTest : public CopyTest {
protected:
    void SetUp() override {
        CopyTest::SetUp();
        if (!HasFatalFailure()) m_engine->SetRevisionLimit(3);
    }
    std::wstring RevisionFolder(const std::wstring& source) const {
        const std::wstring base = RevisionBase(source);
        return base.substr(0, base.rfind(L'\\'));
    }
};

TEST_F(RevisionTest, FirstChangeKeepsTheReplacedMirrorCopyAsRevisionOne) {
    const std::wstring doc = Source(L"Letters\\May.doc", "May, first draft");
    const std::wstring notes = Source(L"Letters\\Notes", "notes 1");
    CopyPass({doc, notes});
    EXPECT_TRUE(Names(RevisionFolder(doc)).empty()) << "no mirror copy before: nothing to keep";
    const FileFacts first = Facts(Mirror(doc));

    Source(L"Letters\\May.doc", "May, final", kStamp + kDay);
    Source(L"Letters\\Notes", "notes 2", kStamp + kDay);
    CopyPass({doc, notes});
    EXPECT_EQ((std::vector<std::wstring>{L"May.(1).doc", L"Notes.(1)"}), Names(RevisionFolder(doc)));
    const std::wstring revision = RevisionNameOf(RevisionBase(doc), 1);
    EXPECT_EQ(first, Facts(revision)) << "the revision has the old copy's times and attributes";
    EXPECT_EQ("May, first draft", Read(revision));
    EXPECT_EQ("May, final", Read(Mirror(doc)));
    EXPECT_TRUE(Recorded(doc));
    EXPECT_EQ(std::string("May, final").size() + 7, m_engine->BytesCopied()) << "revisions are not counted";

    Source(L"Letters\\Notes", "notes 3", kStamp + 2 * kDay);
    CopyPass({notes});
    EXPECT_EQ("notes 2", Read(RevisionNameOf(RevisionBase(notes), 2)));
}

struct LimitCase {
    const char* name;
    DWORD limit;
    std::vector<std::uint32_t> present, after;
};

void PrintTo(const LimitCase& c, std::ostream* os) { *os << c.name; }

class RevisionLimitTest : public RevisionTest, public ::testing::WithParamInterface<LimitCase> {};

TEST_P(RevisionLimitTest, OldestRevisionsBeyondTheLimitAreDeleted) {
    const LimitCase& c = GetParam();
    m_engine->SetRevisionLimit(c.limit);
    const std::wstring path = Source(L"Data\\Sheet.xls", "current copy");
    CopyPass({path});
    const std::wstring base = RevisionBase(path);
    for (std::uint32_t n : c.present) {
        WriteBytes(RevisionNameOf(base, n), "old");
        SetFileAttributesW(RevisionNameOf(base, n).c_str(), FILE_ATTRIBUTE_READONLY);
    }

    Source(L"Data\\Sheet.xls", "newer", kStamp + kDay);
    CopyPass({path});
    std::vector<std::wstring> expected;
    for (std::uint32_t n : c.after) {
        const std::wstring name = RevisionNameOf(base, n);
        expected.push_back(name.substr(name.rfind(L'\\') + 1));
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, Names(RevisionFolder(path), L"Sheet.(*).xls"));
    EXPECT_EQ("current copy", Read(RevisionNameOf(base, c.after.back())));
    EXPECT_EQ("newer", Read(Mirror(path)));
}

INSTANTIATE_TEST_SUITE_P(Limits, RevisionLimitTest,
                         ::testing::Values(LimitCase{"ThreeOfThree", 3, {1, 2, 3}, {2, 3, 4}},
                                           LimitCase{"TwoOfTwo", 2, {4, 5}, {5, 6}},
                                           LimitCase{"GapCountsAsRevisions", 3, {1, 5}, {5, 6}},
                                           LimitCase{"Unlimited", kUnlimitedRevisions, {1, 2, 3}, {1, 2, 3, 4}}),
                         [](const ::testing::TestParamInfo<LimitCase>& info) { return std::string(info.param.name); });

TEST_F(RevisionTest, NameTooLongToNumberKeepsOnePlainRevision) {
    // The first revision name of `longName` is 255 characters, that of
    // `shortName` 254.
    const std::size_t length = 251 - RevisionBase(m_source + L"\\").size();
    const std::wstring longName = std::wstring(length - 4, L'n') + L".txt";
    const std::wstring shortName = std::wstring(length - 5, L's') + L".txt";
    const std::wstring longPath = Source(longName, "v1"), shortPath = Source(shortName, "v1");
    ASSERT_EQ(255u, RevisionNameOf(RevisionBase(longPath), 1).size());
    CopyPass({longPath, shortPath});

    for (int version = 2; version <= 3; ++version) {
        Source(longName, "v" + std::to_string(version), kStamp + version * kDay);
        Source(shortName, "v" + std::to_string(version), kStamp + version * kDay);
        CopyPass({longPath, shortPath});
    }
    std::vector<std::wstring> expected = {longName, shortName.substr(0, length - 5) + L".(1).txt",
                                          shortName.substr(0, length - 5) + L".(2).txt"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, Names(RevisionFolder(longPath)));
    EXPECT_EQ("v2", Read(RevisionBase(longPath))) << "replaced at each change";
    EXPECT_EQ("v3", Read(Mirror(longPath)));
    // The first copy already finds no numbered revision and warns, then each change.
    ASSERT_EQ(3u, m_alerts.size());
    for (const PromptRequest& alert : m_alerts) {
        EXPECT_EQ(kLongNameAlert, alert.dialog);
        EXPECT_EQ(RevisionNameOf(RevisionBase(longPath), 1), alert.text);
    }
}

// Source, mirror and revision paths past the classic limit of 260
// characters: the file is copied, and its (unnumbered) revision made.
TEST_F(RevisionTest, PathsLongerThanTheClassicLimitWork) {
    std::wstring relative;
    while (m_source.size() + relative.size() < 300) relative += L"A folder with a long name\\";
    relative += L"Report.txt";
    const std::wstring path = Source(relative, "v1");
    ASSERT_GT(path.size(), static_cast<std::size_t>(MAX_PATH));
    CopyPass({path});
    Source(relative, "v2", kStamp + kDay);
    CopyPass({path});

    EXPECT_EQ("v2", Read(Mirror(path)));
    EXPECT_EQ("v1", Read(RevisionBase(path))) << "too long to number: one plain revision";
    for (const PromptRequest& alert : m_alerts) EXPECT_EQ(kLongNameAlert, alert.dialog) << alert.code;
    EXPECT_FALSE(m_alerts.empty());
}

// A file stands where the revisions folder should be: no revision can be
// made, which the user hears of, and the mirror copy is brought up to date
// at every change all the same.
TEST_F(RevisionTest, RevisionThatCannotBeMadeDoesNotHoldTheCopyBack) {
    const std::wstring path = Source(L"Plans\\Plan.txt", "plan 1");
    CopyPass({path});
    const std::wstring revisions = DestinationRootOf(m_destination) + L"\\" + kRevisionsFolder;
    std::filesystem::remove_all(std::filesystem::path(revisions));
    WriteBytes(revisions, "in the way");
    for (int version = 2; version <= 3; ++version) {
        Source(L"Plans\\Plan.txt", "plan " + std::to_string(version), kStamp + version * kDay);
        CopyPass({path});
        EXPECT_EQ("plan " + std::to_string(version), Read(Mirror(path)));
        EXPECT_TRUE(Recorded(path));
    }
    ASSERT_EQ(2u, m_alerts.size());
    EXPECT_EQ(kFileErrorAlert, m_alerts[0].dialog);
    EXPECT_EQ(RevisionBase(path), m_alerts[0].text);
    EXPECT_NE(0u, m_alerts[0].code);
}

TEST_F(RevisionTest, FileInUseMakesNoRevisionUntilItIsCopied) {
    const std::wstring path = Source(L"Sheet.xls", "version 1");
    CopyPass({path});
    Source(L"Sheet.xls", "version 2", kStamp + kDay);
    HANDLE holder = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    CopyPass({path});
    CopyPass({path});
    EXPECT_TRUE(Names(RevisionFolder(path)).empty()) << "no revision of a mirror copy that stays";
    EXPECT_EQ("version 1", Read(Mirror(path)));
    EXPECT_FALSE(Recorded(path));

    CloseHandle(holder);
    CopyPass({path});
    EXPECT_EQ(std::vector<std::wstring>{L"Sheet.(1).xls"}, Names(RevisionFolder(path)));
    EXPECT_EQ("version 1", Read(RevisionNameOf(RevisionBase(path), 1)));
    EXPECT_EQ("version 2", Read(Mirror(path)));
    EXPECT_TRUE(Recorded(path));
    EXPECT_TRUE(m_alerts.empty());
}

// After a complete copy emptied the catalogue, a mirror copy of the same
// size and times is taken as the source's version and only recorded; one
// whose size (or either time) differs is a version of its own, kept as a
// revision before the copy.
TEST_F(RevisionTest, MirrorCopyOfTheSameSizeAndTimesIsOnlyRecorded) {
    const std::wstring same = Source(L"same.txt", "original");
    const std::wstring other = Source(L"other.txt", "original");
    CopyPass({same, other});
    WriteBytes(Mirror(same), "ORIGINAL");
    SetTimes(Mirror(same), kStamp, kStamp, kStamp);
    // A longer document copied over the source keeps the times it had.
    Source(L"other.txt", "another document", kStamp);
    m_catalog.Close();
    ASSERT_EQ(0, m_catalog.DeleteFiles());
    ASSERT_EQ(0, m_catalog.OpenOrReset());

    CopyPass({same, other});
    EXPECT_TRUE(Recorded(same));
    EXPECT_EQ("ORIGINAL", Read(Mirror(same))) << "nothing was copied";
    EXPECT_TRUE(Names(RevisionFolder(same), L"same*").empty()) << "no revision";
    EXPECT_TRUE(Recorded(other));
    EXPECT_EQ("another document", Read(Mirror(other)));
    EXPECT_EQ("original", Read(RevisionNameOf(RevisionBase(other), 1)));
    EXPECT_EQ(16u, m_engine->BytesCopied());

    // Wine reports a file's creation time as its last-write time; the rule
    // itself holds for files whose creation time is the later one.
    FILE_BASIC_INFO source{};
    source.CreationTime.QuadPart = static_cast<LONGLONG>(kStamp + kDay);
    source.LastWriteTime.QuadPart = static_cast<LONGLONG>(kStamp);
    WIN32_FILE_ATTRIBUTE_DATA mirror{};
    mirror.ftCreationTime = {static_cast<DWORD>(kStamp + kDay), static_cast<DWORD>((kStamp + kDay) >> 32)};
    mirror.ftLastWriteTime = {static_cast<DWORD>(kStamp), static_cast<DWORD>(kStamp >> 32)};
    mirror.nFileSizeLow = 8;
    EXPECT_TRUE(IsSameVersion(source, 8, mirror));
    EXPECT_FALSE(IsSameVersion(source, 9, mirror));
    mirror.ftLastWriteTime.dwLowDateTime += 1;  // an older document: its creation time stays the later one
    EXPECT_FALSE(IsSameVersion(source, 8, mirror));
}

}  // namespace
}  // namespace tvx::engine::testing
