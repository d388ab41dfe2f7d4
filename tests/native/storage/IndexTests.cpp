#include "StorageTestSupport.h"

#include <cstring>

namespace tvx::db::test {
namespace {

using IndexTest = StorageTest;

TEST_F(IndexTest, NewIndexHeadersHoldTheDocumentedValues) {
    ASSERT_NE(DbTable::Create(m_context, Path("files").c_str(), kFilesFields, kPathTag), nullptr);
    ASSERT_NE(DbTable::Create(m_context, Path("revns").c_str(), kRevnsFields, kIdTag), nullptr);
    ASSERT_EQ(m_context.CloseAll(), 0);
    const auto f = Bytes(Path("FILES.CDX"));
    ASSERT_GE(f.size(), 2048u + 512u);
    EXPECT_EQ(f.size() % 512, 0u);
    EXPECT_EQ(Le16(f, 12), 10u);
    EXPECT_EQ(f[14], 0xE0);
    EXPECT_EQ(f[15], 1);
    const std::size_t h = 1024;
    EXPECT_EQ(Le16(f, h + 12), 240u);
    EXPECT_EQ(f[h + 14], 0x60);
    EXPECT_EQ(f[h + 15], 1);
    for (std::size_t i = 494; i < 502; ++i) EXPECT_EQ(f[h + i], 0);
    EXPECT_EQ(Le16(f, h + 502), 0u);
    EXPECT_EQ(Le16(f, h + 504), 5u);
    EXPECT_EQ(Le16(f, h + 506), 1u);
    EXPECT_EQ(Le16(f, h + 508), 0u);
    EXPECT_EQ(Le16(f, h + 510), 5u);
    EXPECT_EQ(std::string(f.begin() + 1536, f.begin() + 1541), std::string("PATH\0", 5));
    const auto r = Bytes(Path("REVNS.CDX"));
    EXPECT_EQ(Le16(r, h + 12), 8u);
    EXPECT_EQ(Le16(r, h + 510), 3u);
    EXPECT_EQ(std::string(r.begin() + 1536, r.begin() + 1539), std::string("ID\0", 3));
}

TEST_F(IndexTest, SeekWithEndMarkerFindsOnlyTheWholePath) {
    DbTable* t = DbTable::Create(m_context, Path("files").c_str(), kFilesFields, kPathTag);
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(AppendValues(t, {"1", "c:\\dir\\file.txt?"}), kOk);
    ASSERT_EQ(AppendValues(t, {"2", "c:\\other?"}), kOk);
    t->SelectTag(t->Tag("PATH_TAG"));
    EXPECT_EQ(t->Seek("c:\\other?"), kOk);
    EXPECT_EQ(t->RecordNumber(), 2u);
    EXPECT_EQ(t->Seek("c:\\dir?"), kAfter);  // only a longer text starts with "c:\dir"
    EXPECT_EQ(t->RecordNumber(), 1u);
    EXPECT_EQ(t->Seek("d:"), kEof);
    EXPECT_TRUE(t->AtEnd());
    EXPECT_EQ(std::string(t->RecordBuffer(), t->RecordLength()), std::string(267, ' '));
    t->SelectTag(nullptr);
    EXPECT_EQ(t->Seek("c:"), kNoTag);
}

TEST_F(IndexTest, SeekNextVisitsEqualKeysInRecordOrder) {
    DbTable* t = DbTable::Create(m_context, Path("dests").c_str(), kDestsFields, kPathTag);
    ASSERT_NE(t, nullptr);
    const char* paths[] = {"b", "a?", "a?", "c", "a?", "a?x"};
    for (const char* p : paths) ASSERT_EQ(AppendValues(t, {"i", p}), kOk);
    t->SelectTag(t->Tag("PATH_TAG"));
    ASSERT_EQ(t->Seek("a?"), kOk);
    std::vector<std::uint32_t> found{t->RecordNumber()};
    int rc;
    while ((rc = t->SeekNext("a?")) == kOk) found.push_back(t->RecordNumber());
    EXPECT_EQ(rc, kNoMore);
    EXPECT_EQ(found, (std::vector<std::uint32_t>{2, 3, 5, 6}));  // "a?x" shares the two bytes
    EXPECT_EQ(t->RecordNumber(), 1u);  // the first key that differs ("b") is current
    EXPECT_EQ(t->SeekNext("a?x"), kOk);  // "b" does not match: a plain seek
    EXPECT_EQ(t->RecordNumber(), 6u);
    EXPECT_EQ(t->SeekNext("a?x"), kNoMore);
    EXPECT_EQ(t->RecordNumber(), 1u);
}

TEST_F(IndexTest, BinaryKeysAreTakenAsTheyAre) {
    DbTable* t = DbTable::Create(m_context, Path("revns").c_str(), kRevnsFields, kIdTag);
    ASSERT_NE(t, nullptr);
    const std::string keys[] = {std::string("\x00\x00\x01\xff\x80\x00\x00\x00", 8), std::string("\xff\xfe zz\x00\x01", 8),
                                std::string("\x00\x00\x01\xff\x7f\x00\x00\x00", 8)};
    for (const auto& k : keys) ASSERT_EQ(AppendValues(t, {k, "20240101", "0001"}), kOk);
    t->SelectTag(t->Tag("ID_TAG"));
    std::vector<std::uint32_t> order;
    for (int rc = t->Top(); rc == kOk; rc = t->Skip(1)) order.push_back(t->RecordNumber());
    EXPECT_EQ(order, (std::vector<std::uint32_t>{3, 1, 2}));
    for (std::uint32_t n = 1; n <= 3; ++n) {
        EXPECT_EQ(t->SeekBytes(keys[n - 1].data(), 8), kOk);
        EXPECT_EQ(t->RecordNumber(), n);
    }
}

TEST_F(IndexTest, ExpressionNamesFieldWithoutRegardToCaseAndKeepsItsText) {
    const DbTagInfo lower[] = {{"path_tag", "path", nullptr, false, false}, {nullptr, nullptr, nullptr, false, false}};
    DbTable* t = DbTable::Create(m_context, Path("dests").c_str(), kDestsFields, lower);
    ASSERT_NE(t, nullptr);
    ASSERT_NE(t->Tag("PATH_TAG"), nullptr);
    EXPECT_STREQ(t->Tag("Path_Tag")->Expression(), "path");
    EXPECT_EQ(t->Tag("PATH_TAG")->KeyLength(), 240u);
    const DbTagInfo unknown[] = {{"T", "NOFIELD", nullptr, false, false}, {nullptr, nullptr, nullptr, false, false}};
    EXPECT_EQ(DbTable::Create(m_context, Path("other").c_str(), kDestsFields, unknown), nullptr);
    EXPECT_EQ(m_context.ErrorCode(), kErrExpression);
    m_context.SetErrorCode(0);
    const std::string longText(255, 'P');
    const DbTagInfo tooLong[] = {{"T", longText.c_str(), nullptr, false, false}, {nullptr, nullptr, nullptr, false, false}};
    EXPECT_EQ(DbTable::Create(m_context, Path("other2").c_str(), kDestsFields, tooLong), nullptr);
    EXPECT_EQ(m_context.ErrorCode(), kErrExprLength);
}

TEST_F(IndexTest, LeavesOfSeventyThousandRecordsUseWiderRecordNumbers) {
    DbTable* t = DbTable::Create(m_context, Path("files").c_str(), kFilesFields, kPathTag);
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(t->Close(), kOk);
    // The records are written straight into the file, then the tag rebuilt.
    auto b = Bytes(Path("FILES.DBF"));
    const std::uint32_t n = 70000;
    b.pop_back();
    b.reserve(b.size() + std::size_t{n} * 267 + 1);
    std::string rec(267, ' ');
    for (std::uint32_t i = 1; i <= n; ++i) {
        const std::string path = "c:\\data\\" + std::to_string(i % 977) + "\\f" + std::to_string(i) + "?";
        std::fill(rec.begin(), rec.end(), ' ');
        std::memcpy(&rec[5], path.data(), path.size());
        b.insert(b.end(), rec.begin(), rec.end());
    }
    b.push_back(0x1A);
    b[4] = n & 0xFF;
    b[5] = (n >> 8) & 0xFF;
    b[6] = (n >> 16) & 0xFF;
    PutBytes(Path("FILES.DBF"), b);
    t = DbTable::Open(m_context, Path("files").c_str());
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(t->Reindex(), kOk);
    t->SelectTag(t->Tag("PATH_TAG"));
    EXPECT_EQ(t->Seek(("c:\\data\\" + std::to_string(69852 % 977) + "\\f69852?").c_str()), kOk);
    EXPECT_EQ(t->RecordNumber(), 69852u);
    ASSERT_EQ(t->Close(), kOk);
    const auto cdx = Bytes(Path("FILES.CDX"));
    std::size_t leaves = 0;
    for (std::size_t at = 2048; at + 512 <= cdx.size(); at += 512) {
        if (!(cdx[at] & 2)) continue;
        // The directory's own leaf has 10-byte keys (d = t = 4).
        if (cdx[at + 21] != 8) continue;
        ++leaves;
        EXPECT_EQ(cdx[at + 20], 24);
        EXPECT_EQ(cdx[at + 22], 8);
        EXPECT_EQ(cdx[at + 23], 5);
    }
    EXPECT_GT(leaves, 100u);
}

}  // namespace
}  // namespace tvx::db::test
