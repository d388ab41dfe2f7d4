#include "StorageTestSupport.h"

#include <cstring>
#include <ctime>

namespace tvx::db::test {
namespace {

using TableTest = StorageTest;

void ExpectDescriptor(const std::vector<std::uint8_t>& b, int index, const char* name, unsigned offset,
                      unsigned length) {
    const std::size_t at = 32 + 32 * static_cast<std::size_t>(index);
    char stored[12] = {};
    std::memcpy(stored, &b[at], 11);
    EXPECT_STREQ(stored, name);
    for (std::size_t i = std::strlen(name); i < 11; ++i) EXPECT_EQ(b[at + i], 0) << name;
    EXPECT_EQ(b[at + 11], 'C');
    EXPECT_EQ(Le32(b, at + 12), offset) << name;
    EXPECT_EQ(b[at + 16], length & 0xFF) << name;
    EXPECT_EQ(b[at + 17], length >> 8) << name;
    for (std::size_t i = 18; i < 32; ++i) EXPECT_EQ(b[at + i], 0) << name;
}

void ExpectToday(const std::vector<std::uint8_t>& b) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    EXPECT_EQ(b[1], local.tm_year);
    EXPECT_EQ(b[2], local.tm_mon + 1);
    EXPECT_EQ(b[3], local.tm_mday);
}

TEST_F(TableTest, NewCatalogueTablesHaveTheDocumentedBytes) {
    struct Case {
        const char* name;
        const DbFieldInfo* fields;
        const DbTagInfo* tags;
        unsigned header, record, size;
    } cases[] = {{"FILES", kFilesFields, kPathTag, 129, 267, 130},
                 {"DESTS", kDestsFields, kPathTag, 97, 245, 98},
                 {"REVNS", kRevnsFields, kIdTag, 129, 21, 130}};
    for (const Case& c : cases) {
        DbTable* t = DbTable::Create(m_context, Path(c.name).c_str(), c.fields, c.tags);
        ASSERT_NE(t, nullptr) << c.name << " code " << m_context.ErrorCode();
        ASSERT_EQ(t->Close(), kOk);
        const auto b = Bytes(Path(std::string(c.name) + ".DBF"));
        ASSERT_EQ(b.size(), c.size) << c.name;
        EXPECT_EQ(b[0], 0x03);
        ExpectToday(b);
        EXPECT_EQ(Le32(b, 4), 0u);
        EXPECT_EQ(Le16(b, 8), c.header);
        EXPECT_EQ(Le16(b, 10), c.record);
        for (std::size_t i = 12; i < 28; ++i) EXPECT_EQ(b[i], 0);
        EXPECT_EQ(b[28], 0x01);
        EXPECT_EQ(b[29], 0x00);
        EXPECT_EQ(b[c.size - 2], 0x0D);
        EXPECT_EQ(b[c.size - 1], 0x1A);
    }
    const auto files = Bytes(Path("FILES.DBF"));
    ExpectDescriptor(files, 0, "ID", 1, 4);
    ExpectDescriptor(files, 1, "PATH", 5, 240);
    ExpectDescriptor(files, 2, "PATHEX", 245, 22);
    const auto revns = Bytes(Path("REVNS.DBF"));
    ExpectDescriptor(revns, 0, "ID", 1, 8);
    ExpectDescriptor(revns, 1, "MODDATE", 9, 8);
    ExpectDescriptor(revns, 2, "ATTR", 17, 4);
}

TEST_F(TableTest, AppendWritesRecordAndEndMarkerAndCountsIt) {
    DbTable* t = DbTable::Create(m_context, Path("files").c_str(), kFilesFields, kPathTag);
    ASSERT_NE(t, nullptr);
    const auto before = Bytes(Path("FILES.DBF"));
    ASSERT_EQ(AppendValues(t, {"0001", "c:\\a?", "x"}), kOk);
    ASSERT_EQ(t->Close(), kOk);
    const auto after = Bytes(Path("FILES.DBF"));
    ASSERT_EQ(after.size(), 397u);
    EXPECT_EQ(Le32(after, 4), 1u);
    // Only bytes 0..9 of the header and the 268 bytes from 129 on change.
    for (std::size_t i = 10; i < 129; ++i) EXPECT_EQ(after[i], before[i]) << i;
    std::string record(after.begin() + 129, after.begin() + 129 + 267);
    EXPECT_EQ(record.substr(0, 10), " 0001c:\\a?");
    EXPECT_EQ(record.substr(5 + 240, 22), "x" + std::string(21, ' '));
    EXPECT_EQ(after[396], 0x1A);
}

TEST_F(TableTest, RecordCountMayExceedTheSizeByOneButNotTwo) {
    DbTable* t = DbTable::Create(m_context, Path("revns").c_str(), kRevnsFields, nullptr);
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(AppendValues(t, {"AAAAAAAA", "20240101", "0020"}), kOk);
    ASSERT_EQ(t->Close(), kOk);
    auto b = Bytes(Path("REVNS.DBF"));
    b[4] = 2;  // one more than the records
    PutBytes(Path("REVNS.DBF"), b);
    t = DbTable::Open(m_context, Path("revns").c_str());
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->RecordCount(), 2u);
    ASSERT_EQ(t->Close(), kOk);
    b[4] = 3;
    PutBytes(Path("REVNS.DBF"), b);
    EXPECT_EQ(DbTable::Open(m_context, Path("revns").c_str()), nullptr);
    EXPECT_EQ(m_context.ErrorCode(), kErrData);
    // A count below what the size holds opens, the extra record unseen.
    m_context.SetErrorCode(0);
    b[4] = 0;
    PutBytes(Path("REVNS.DBF"), b);
    t = DbTable::Open(m_context, Path("revns").c_str());
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->RecordCount(), 0u);
    EXPECT_EQ(t->Top(), kEof);
}

// Live records keep their order through buffers of about one record; a
// pack of only deleted records leaves the header and the end marker.
TEST_F(TableTest, PackKeepsLiveRecordsInOrderThroughSmallBuffersAndOfNoneLeavesTheHeader) {
    m_context.bufferSize = 300;  // about one FILES record per buffer
    DbTable* t = DbTable::Create(m_context, Path("files").c_str(), kFilesFields, kPathTag);
    ASSERT_NE(t, nullptr);
    for (int i = 1; i <= 20; ++i) ASSERT_EQ(AppendValues(t, {std::to_string(i), "p" + std::to_string(100 - i)}), kOk);
    for (std::uint32_t n = 1; n <= 20; n += 3) {
        ASSERT_EQ(t->Go(n), kOk);
        ASSERT_EQ(t->MarkDeleted(), kOk);
    }
    ASSERT_EQ(t->Pack(), kOk);
    ASSERT_EQ(t->RecordCount(), 13u);
    std::vector<std::string> ids;
    for (int rc = t->Top(); rc == kOk; rc = t->Skip(1)) ids.push_back(std::string(t->Field("ID")->Text()));
    const std::vector<std::string> expected = {"2   ", "3   ", "5   ", "6   ", "8   ", "9   ", "11  ",
                                               "12  ", "14  ", "15  ", "17  ", "18  ", "20  "};
    EXPECT_EQ(ids, expected);
    t->SelectTag(t->Tag("path_tag"));
    ASSERT_EQ(t->Top(), kOk);
    EXPECT_EQ(std::string(t->Field("PATH")->Text(), 3), "p80");  // record 20 holds the smallest path

    for (std::uint32_t n = 1; n <= 13; ++n) {
        ASSERT_EQ(t->Go(n), kOk);
        ASSERT_EQ(t->MarkDeleted(), kOk);
    }
    ASSERT_EQ(t->Pack(), kOk);
    EXPECT_EQ(t->RecordCount(), 0u);
    EXPECT_TRUE(t->AtEnd());
    EXPECT_TRUE(t->AtBeginning());
    ASSERT_EQ(t->Close(), kOk);
    const auto b = Bytes(Path("FILES.DBF"));
    ASSERT_EQ(b.size(), 130u);
    EXPECT_EQ(Le32(b, 4), 0u);
    EXPECT_EQ(b[129], 0x1A);
}

// A table opened shared writes through at once and reads from the file:
// what it has just written (not yet pushed from the stream) reads back, by
// record and through the index.
TEST_F(TableTest, SharedTableReadsBackWhatItHasJustWritten) {
    DbTable* t = DbTable::Create(m_context, Path("dests").c_str(), kDestsFields, kPathTag);
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(t->Close(), kOk);
    m_context.accessMode = 0;
    t = DbTable::Open(m_context, Path("dests").c_str());
    ASSERT_NE(t, nullptr);
    for (int i = 1; i <= 3; ++i) ASSERT_EQ(AppendValues(t, {std::to_string(i), "path " + std::to_string(i)}), kOk);
    ASSERT_EQ(t->Go(2), kOk);
    EXPECT_EQ(std::string(t->Field("PATH")->Text(), 6), "path 2");
    ASSERT_EQ(t->Field("PATH")->AssignText("changed"), kOk);
    ASSERT_EQ(t->Go(1), kOk);
    ASSERT_EQ(t->Go(2), kOk);
    EXPECT_EQ(std::string(t->Field("PATH")->Text(), 7), "changed");
    t->SelectTag(t->Tag("PATH_TAG"));
    ASSERT_EQ(t->Seek("path 3"), kOk);
    EXPECT_EQ(t->RecordNumber(), 3u);
    ASSERT_EQ(t->Seek("changed"), kOk);
    EXPECT_EQ(t->RecordNumber(), 2u);
    EXPECT_EQ(t->Seek("path 2"), kAfter);
    ASSERT_EQ(t->Close(), kOk);
}

TEST_F(TableTest, TopAndBottomOfEmptyTableGoPastTheEndAndSkipStopsAtBothEnds) {
    DbTable* t = DbTable::Create(m_context, Path("files").c_str(), kFilesFields, kPathTag);
    ASSERT_NE(t, nullptr);
    for (DbTag* tag : {static_cast<DbTag*>(nullptr), t->Tag("PATH_TAG")}) {
        t->SelectTag(tag);
        t->Field("ID")->AssignText("zz");
        EXPECT_EQ(t->Top(), kEof);
        EXPECT_EQ(std::string(t->RecordBuffer(), t->RecordLength()), std::string(267, ' '));
        EXPECT_EQ(t->RecordNumber(), 1u);
        EXPECT_EQ(t->Bottom(), kEof);
        EXPECT_TRUE(t->AtEnd());
    }

    t->SelectTag(nullptr);
    for (int i = 1; i <= 3; ++i) ASSERT_EQ(AppendValues(t, {std::to_string(i), "p"}), kOk);
    ASSERT_EQ(t->Top(), kOk);
    EXPECT_EQ(t->Skip(2), kOk);
    EXPECT_EQ(t->RecordNumber(), 3u);
    EXPECT_EQ(t->Skip(1), kEof);
    EXPECT_EQ(t->RecordNumber(), 4u);
    EXPECT_EQ(t->Skip(-1), kOk);
    EXPECT_EQ(t->RecordNumber(), 3u);
    EXPECT_EQ(t->Skip(-5), kBof);
    EXPECT_TRUE(t->AtBeginning());
    EXPECT_EQ(t->RecordNumber(), 1u);
}

TEST_F(TableTest, AssignPadsShortValuesAndCutsLongOnes) {
    DbTable* t = DbTable::Create(m_context, Path("files").c_str(), kFilesFields, nullptr);
    ASSERT_NE(t, nullptr);
    DbField* id = t->Field("id");
    ASSERT_NE(id, nullptr);
    EXPECT_EQ(id->AssignBytes("ABCDE", 5), kErrGeneral);
    EXPECT_EQ(std::string(id->Ptr(), 4), "ABCD");
    EXPECT_EQ(id->AssignBytes("xy", 2), kOk);
    EXPECT_EQ(std::string(id->Ptr(), 4), "xy  ");
    EXPECT_STREQ(id->Text(), "xy  ");
    EXPECT_EQ(id->AssignBytes(nullptr, 1), kErrNullPointer);
    EXPECT_EQ(t->Field("PATHEXTRA1X"), nullptr);  // longer than any field name
    EXPECT_EQ(m_context.ErrorCode(), 0);          // a cut value is reported, not made pending
}

TEST_F(TableTest, PendingErrorBlocksOpenWithoutTouchingFiles) {
    ASSERT_NE(DbTable::Create(m_context, Path("files").c_str(), kFilesFields, kPathTag), nullptr);
    ASSERT_EQ(m_context.CloseAll(), 0);
    FailingFileSystem counting(1000000);
    m_context.SetFileSystem(&counting);
    m_context.SetErrorCode(-120);
    EXPECT_EQ(DbTable::Open(m_context, Path("files").c_str()), nullptr);
    EXPECT_EQ(DbTable::Create(m_context, Path("other").c_str(), kFilesFields, nullptr), nullptr);
    EXPECT_EQ(m_context.ErrorCode(), -120);
    EXPECT_EQ(counting.Operations(), 0);
    EXPECT_FALSE(fs::exists(m_dir / "OTHER.DBF"));
    EXPECT_EQ(m_context.CloseAll(), -120);
    EXPECT_EQ(m_context.SetErrorCode(0), -120);
    EXPECT_NE(DbTable::Open(m_context, Path("files").c_str()), nullptr);
    EXPECT_GT(counting.Operations(), 0);
    m_context.CloseAll();
    m_context.SetFileSystem(nullptr);
}

// A missing table file, or a missing index file of a table that has one:
// an error, or only a status when open failures are switched off.
TEST_F(TableTest, MissingTableOrIndexFileFailsTheOpenSilentlyWhenSwitchedOff) {
    ASSERT_NE(DbTable::Create(m_context, Path("files").c_str(), kFilesFields, kPathTag), nullptr);
    ASSERT_EQ(m_context.CloseAll(), kOk);
    ASSERT_TRUE(fs::remove(Path("FILES.CDX")));
    for (const char* name : {"missing", "files"}) {
        SCOPED_TRACE(name);
        m_context.openErrorIsError = true;
        EXPECT_EQ(DbTable::Open(m_context, Path(name).c_str()), nullptr);
        EXPECT_EQ(m_context.ErrorCode(), kErrOpen);
        m_context.SetErrorCode(0);
        m_context.openErrorIsError = false;
        EXPECT_EQ(DbTable::Open(m_context, Path(name).c_str()), nullptr);
        EXPECT_EQ(m_context.ErrorCode(), kNotOpened);
        // 70 is a status, not a pending error: the next open works.
        ASSERT_NE(DbTable::Create(m_context, Path("other").c_str(), kFilesFields, nullptr), nullptr);
        ASSERT_EQ(m_context.CloseAll(), kOk);
    }
}

TEST_F(TableTest, CreateRefusesExistingFilesAndOpenTablesAndBadLayouts) {
    m_context.createRefusesExisting = true;
    ASSERT_NE(DbTable::Create(m_context, Path("files").c_str(), kFilesFields, kPathTag), nullptr);
    EXPECT_EQ(DbTable::Create(m_context, Path("FILES").c_str(), kFilesFields, kPathTag), nullptr);
    EXPECT_EQ(m_context.ErrorCode(), kErrCreate);
    m_context.SetErrorCode(0);
    m_context.createRefusesExisting = false;
    EXPECT_EQ(DbTable::Create(m_context, Path("files").c_str(), kFilesFields, kPathTag), nullptr);  // open here
    EXPECT_EQ(m_context.ErrorCode(), kErrCreate);
    m_context.SetErrorCode(0);
    const DbFieldInfo unknownType[] = {{"X", 'Z', 4, 0, false}, {nullptr, 0, 0, 0, false}};
    EXPECT_EQ(DbTable::Create(m_context, Path("bad").c_str(), unknownType, nullptr), nullptr);
    EXPECT_EQ(m_context.ErrorCode(), kErrData);
    m_context.SetErrorCode(0);
    const DbFieldInfo tooLong[] = {{"A", 'C', 40000, 0, false}, {"B", 'C', 30000, 0, false}, {nullptr, 0, 0, 0, false}};
    EXPECT_EQ(DbTable::Create(m_context, Path("bad").c_str(), tooLong, nullptr), nullptr);
    EXPECT_EQ(m_context.ErrorCode(), kErrRecordLength);
    m_context.SetErrorCode(0);
    EXPECT_EQ(m_context.Setup(6000), kErrVersion);
}

TEST_F(TableTest, WriteBackBeforeMovingKeepsChanges) {
    DbTable* t = DbTable::Create(m_context, Path("dests").c_str(), kDestsFields, kPathTag);
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(AppendValues(t, {"1", "b"}), kOk);
    ASSERT_EQ(AppendValues(t, {"2", "c"}), kOk);
    ASSERT_EQ(t->Go(2), kOk);
    t->Field("PATH")->AssignText("a");
    ASSERT_EQ(t->Go(1), kOk);
    ASSERT_EQ(t->Close(), kOk);
    t = DbTable::Open(m_context, Path("dests").c_str());
    ASSERT_NE(t, nullptr);
    t->SelectTag(t->Tag("PATH_TAG"));
    ASSERT_EQ(t->Top(), kOk);
    EXPECT_EQ(t->RecordNumber(), 2u);
    EXPECT_EQ(t->Field("PATH")->Text()[0], 'a');
}

TEST_F(TableTest, GivenUpAppendNeverOverwritesTheRecordThatWasCurrent) {
    DbTable* t = DbTable::Create(m_context, Path("dests").c_str(), kDestsFields, kPathTag);
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(AppendValues(t, {"1", "kept"}), kOk);
    ASSERT_EQ(t->Bottom(), kOk);
    ASSERT_EQ(t->AppendStart(), kOk);
    t->Blank();
    EXPECT_EQ(t->Field("PATH")->AssignBytes(std::string(300, 'x').data(), 300), kErrGeneral);
    // The caller gives the append up and moves on.
    ASSERT_EQ(t->Top(), kOk);
    EXPECT_EQ(std::string(t->Field("PATH")->Text(), 4), "kept");
    ASSERT_EQ(t->Close(), kOk);
    t = DbTable::Open(m_context, Path("dests").c_str());
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->RecordCount(), 1u);
    ASSERT_EQ(t->Top(), kOk);
    EXPECT_EQ(std::string(t->Field("PATH")->Text(), 4), "kept");
}

}  // namespace
}  // namespace tvx::db::test
