// The catalogue against real files in the test executable's folder: look-ups,
// stored paths, identities, repairs, resets and the prune.
#include "tests/catalogue/CatalogTestSupport.h"

#include "catalogue/PathBytes.h"
#include "tests/support/Files.h"

#include <string>

namespace tvx::catalogue::testing {
namespace {

const std::wstring kDest = L"E:";
constexpr DWORD kAttr = FILE_ATTRIBUTE_ARCHIVE;
constexpr std::uint64_t kTime = 0x01D9'1234'5678'9ABCull;

int NeedsCopy(CTVXCatalog& catalog, const std::wstring& path, const std::wstring& dest = kDest, DWORD attr = kAttr,
              std::uint64_t time = kTime) {
    int flag = -1;
    EXPECT_EQ(0, catalog.IsUpToDate(path, dest, attr, time, flag));
    return flag;
}

// A path of exactly `bytes` UTF-8 bytes (ASCII), distinct per `tag`.
std::wstring PathOfLength(std::size_t bytes, wchar_t tag = L'a') {
    std::wstring path = L"C:\\";
    path.push_back(tag);
    path.push_back(L'\\');
    while (path.size() < bytes) path.push_back(L'x');
    path.resize(bytes);
    return path;
}

// Source files in a folder beside the catalogue, for the prune to find or
// miss; the folder goes when the test ends.
class CatalogueBasics : public CatalogueTest {
protected:
    void TearDown() override {
        test::RemoveTree(m_folder);
        CatalogueTest::TearDown();
    }
    std::wstring MakeSource(const std::wstring& name) {
        const std::wstring path = m_folder + L"\\" + name;
        EXPECT_TRUE(test::Write(path, "x"));
        return path;
    }
    const std::wstring m_folder = CTVXCatalog::ProgramFolder() + L"\\prune-src";
};

TEST_F(CatalogueBasics, FirstRunCreatesAllSixFilesEmpty) {
    ASSERT_EQ(0, m_catalog.OpenOrReset());
    EXPECT_TRUE(m_catalog.IsOpen());
    m_catalog.Close();
    for (const wchar_t* name : {L"FILES.DBF", L"FILES.CDX", L"DESTS.DBF", L"DESTS.CDX", L"REVNS.DBF", L"REVNS.CDX"})
        EXPECT_TRUE(FileExists(name)) << "missing after the first open";
    EXPECT_EQ(kFilesEmptySize, FileSize(L"FILES.DBF"));
    EXPECT_EQ(kDestsEmptySize, FileSize(L"DESTS.DBF"));
    EXPECT_EQ(kRevnsEmptySize, FileSize(L"REVNS.DBF"));
    EXPECT_EQ(0u, Counter(settings::kDBReset));
}

TEST_F(CatalogueBasics, FirstLookUpAddsIdentityOneAndSaysCopyThenRecordedCopySaysSkip) {
    ASSERT_EQ(0, m_catalog.OpenOrReset());
    const std::wstring path = L"C:\\Users\\Ann\\Letter.doc";
    EXPECT_EQ(1, NeedsCopy(m_catalog, path));
    ASSERT_EQ(0, m_catalog.RecordCopy(path, kDest, kAttr, kTime));
    EXPECT_EQ(0, NeedsCopy(m_catalog, path));
    EXPECT_EQ(1, NeedsCopy(m_catalog, path, kDest, kAttr | FILE_ATTRIBUTE_READONLY, kTime)) << "attributes differ";
    EXPECT_EQ(1, NeedsCopy(m_catalog, path, kDest, kAttr, kTime ^ 1)) << "low half of the time differs";
    EXPECT_EQ(1, NeedsCopy(m_catalog, path, kDest, kAttr, kTime ^ (1ull << 32))) << "high half differs";
    EXPECT_EQ(1, NeedsCopy(m_catalog, path, L"F:")) << "another destination has no copy";
    m_catalog.Close();

    // What was recorded is remembered across a close and in the files.
    ASSERT_EQ(0, m_catalog.OpenOrReset());
    EXPECT_EQ(0, NeedsCopy(m_catalog, path));
    m_catalog.Close();
    const auto files = ReadTable(L"Files").rows;
    const auto dests = ReadTable(L"Dests").rows;
    const auto revns = ReadTable(L"Revns").rows;
    ASSERT_EQ(1u, files.size());
    EXPECT_EQ(1u, files[0].Id());
    EXPECT_EQ("C:\\Users\\Ann\\Letter.doc", Text(files[0].fields[1]));
    EXPECT_EQ("?" + std::string(21, ' '), files[0].fields[2]);
    ASSERT_EQ(2u, dests.size());
    EXPECT_EQ(1u, dests[0].Id());
    EXPECT_EQ("E:", Text(dests[0].fields[1]));
    EXPECT_EQ(2u, dests[1].Id());
    ASSERT_EQ(1u, revns.size());
    const std::string& key = revns[0].fields[0];
    EXPECT_EQ(1u, Le32(key, 0)) << "destination identity first";
    EXPECT_EQ(1u, Le32(key, 4)) << "file identity second";
    EXPECT_EQ(static_cast<std::uint32_t>(kTime), Le32(revns[0].fields[1], 0)) << "low word of the time first";
    EXPECT_EQ(static_cast<std::uint32_t>(kTime >> 32), Le32(revns[0].fields[1], 4));
    EXPECT_EQ(kAttr, Le32(revns[0].fields[2], 0));
}

// A file recorded again for the same destination has its one copy record
// updated in place.
TEST_F(CatalogueBasics, AnswersStayRightWhileOneSessionAlternatesDestinationsAndRecords) {
    ASSERT_EQ(0, m_catalog.OpenOrReset());
    const std::wstring a = L"C:\\s\\a.txt", b = L"C:\\s\\b.txt";
    ASSERT_EQ(0, m_catalog.RecordCopy(a, L"E:", kAttr, kTime));
    EXPECT_EQ(0, NeedsCopy(m_catalog, a, L"E:"));
    EXPECT_EQ(1, NeedsCopy(m_catalog, b, L"E:"));
    EXPECT_EQ(1, NeedsCopy(m_catalog, a, L"F:"));
    ASSERT_EQ(0, m_catalog.RecordCopy(b, L"E:", kAttr, kTime + 1));
    ASSERT_EQ(0, m_catalog.RecordCopy(a, L"F:", kAttr, kTime + 2));
    EXPECT_EQ(0, NeedsCopy(m_catalog, b, L"E:", kAttr, kTime + 1));
    EXPECT_EQ(0, NeedsCopy(m_catalog, a, L"F:", kAttr, kTime + 2));
    EXPECT_EQ(0, NeedsCopy(m_catalog, a, L"E:", kAttr, kTime)) << "a's record for E: was mixed up with F:'s";
    ASSERT_EQ(0, m_catalog.RecordCopy(a, L"E:", 0, kTime + 3));
    EXPECT_EQ(1, NeedsCopy(m_catalog, a, L"E:"));
    EXPECT_EQ(0, NeedsCopy(m_catalog, a, L"E:", 0, kTime + 3));
    m_catalog.Close();
    ASSERT_EQ(0, m_catalog.OpenOrReset());
    EXPECT_EQ(0, NeedsCopy(m_catalog, a, L"E:", 0, kTime + 3)) << "the last record did not reach the file";
    EXPECT_EQ(0, NeedsCopy(m_catalog, a, L"F:", kAttr, kTime + 2));
    m_catalog.Close();
    EXPECT_EQ(3u, ReadTable(L"Revns").rows.size()) << "one copy record each for a on E:, b on E: and a on F:";
}

TEST_F(CatalogueBasics, ClosedOrDoublyOpenedCatalogueAnswersWithItsCodes) {
    int flag = 0;
    EXPECT_EQ(CAT_NOT_OPEN, m_catalog.IsUpToDate(L"C:\\a", kDest, 0, 1, flag));
    EXPECT_EQ(1, flag) << "a closed catalogue says copy";
    EXPECT_EQ(CAT_NOT_OPEN, m_catalog.RecordCopy(L"C:\\a", kDest, 0, 1));
    EXPECT_EQ(0, m_catalog.DeleteFiles()) << "no files is no error";

    ASSERT_EQ(0, m_catalog.OpenOrReset());
    EXPECT_EQ(CAT_ALREADY_OPEN, m_catalog.Open());
    EXPECT_EQ(CAT_ALREADY_OPEN, m_catalog.OpenOrReset());
    EXPECT_EQ(CAT_STILL_OPEN, m_catalog.DeleteFiles());
    for (const wchar_t* name : {L"FILES.DBF", L"DESTS.DBF", L"REVNS.DBF"}) EXPECT_TRUE(FileExists(name));
    EXPECT_EQ(0, m_catalog.Close());
    EXPECT_EQ(0, m_catalog.Close()) << "closing twice";
    EXPECT_EQ(0, m_catalog.DeleteFiles());
    EXPECT_FALSE(FileExists(L"FILES.DBF"));
}

// ------------------------------------------------------------- stored paths

using CataloguePaths = CatalogueTest;

// The limits count UTF-8 bytes: 3 + 85 * 3 = 258 bytes in 88 characters are
// stored with a 19-byte start.
TEST_F(CataloguePaths, PathsUpTo239BytesStayWholeLongerOnesSpillTheirStart) {
    ASSERT_EQ(0, m_catalog.OpenOrReset());
    const std::wstring p239 = PathOfLength(239, L'a');
    const std::wstring p240 = PathOfLength(240, L'b');
    const std::wstring p260 = PathOfLength(260, L'c');
    const std::wstring wide = L"C:\\" + std::wstring(85, L'\u65e5');
    for (const auto& p : {p239, p240, p260, wide}) {
        ASSERT_EQ(0, m_catalog.RecordCopy(p, kDest, kAttr, kTime));
        EXPECT_EQ(0, NeedsCopy(m_catalog, p));
    }
    m_catalog.Close();
    const auto files = ReadTable(L"Files").rows;
    ASSERT_EQ(4u, files.size());
    EXPECT_EQ(std::string(p239.begin(), p239.end()) + "?", files[0].fields[1]);
    EXPECT_EQ("?", Text(files[0].fields[2]) + "?");
    EXPECT_EQ(' ', files[0].fields[2][1]);
    EXPECT_EQ("C?", files[1].fields[2].substr(0, 2)) << "240 bytes: the first byte goes to PATHEX";
    EXPECT_EQ(std::string(p240.begin() + 1, p240.end()) + "?", files[1].fields[1]);
    EXPECT_EQ(std::string(p260.begin(), p260.begin() + 21) + "?", files[2].fields[2]);
    EXPECT_EQ(19u, Text(files[3].fields[2]).size());
    EXPECT_EQ(239u, Text(files[3].fields[1]).size());
}

TEST_F(CataloguePaths, PathTooLongToStoreIsNeverRecordedAndDamagesNothing) {
    ASSERT_EQ(0, m_catalog.OpenOrReset());
    const std::wstring kept = L"C:\\kept.txt";
    ASSERT_EQ(0, m_catalog.RecordCopy(kept, kDest, kAttr, kTime));
    const std::wstring tooLong = PathOfLength(261);
    EXPECT_EQ(CAT_NO_IDENTITY, m_catalog.RecordCopy(tooLong, kDest, kAttr, kTime));
    EXPECT_EQ(1, NeedsCopy(m_catalog, tooLong));
    // 3 + 87 * 3 = 264 bytes in 90 characters.
    EXPECT_EQ(CAT_NO_IDENTITY, m_catalog.RecordCopy(L"C:\\" + std::wstring(87, L'\u65e5'), kDest, kAttr, kTime));
    EXPECT_EQ(CAT_NO_IDENTITY, m_catalog.RecordCopy(L"C:\\x", std::wstring(240, L'D'), kAttr, kTime))
        << "a destination of more than 239 bytes";
    // The refused records must not have touched the last stored one.
    EXPECT_EQ(0, NeedsCopy(m_catalog, kept));
    m_catalog.Close();
    const auto files = ReadTable(L"Files").rows;
    ASSERT_EQ(2u, files.size()) << "the kept file and the short path of the refused destination";
    EXPECT_EQ("C:\\kept.txt", Text(files[0].fields[1]));
    EXPECT_EQ(1u, files[0].Id());
}

TEST_F(CataloguePaths, LongPathsSharingTheirLast239BytesAreToldApartByTheirStart) {
    ASSERT_EQ(0, m_catalog.OpenOrReset());
    const std::wstring tail = PathOfLength(242).substr(3);  // 239 characters
    const std::wstring a = L"C:\\one\\" + tail;
    const std::wstring b = L"C:\\two\\" + tail;
    ASSERT_EQ(0, m_catalog.RecordCopy(a, kDest, kAttr, kTime));
    EXPECT_EQ(1, NeedsCopy(m_catalog, b)) << "b is not a";
    ASSERT_EQ(0, m_catalog.RecordCopy(b, kDest, kAttr, kTime + 1));
    EXPECT_EQ(0, NeedsCopy(m_catalog, a));
    EXPECT_EQ(0, NeedsCopy(m_catalog, b, kDest, kAttr, kTime + 1));
    m_catalog.Close();
    const auto files = ReadTable(L"Files").rows;
    ASSERT_EQ(2u, files.size());
    EXPECT_EQ(files[0].fields[1], files[1].fields[1]) << "same PATH field";
    EXPECT_NE(files[0].Id(), files[1].Id());
}

TEST_F(CataloguePaths, APathAndALongerPathWithTheSameStartGetDifferentIdentities) {
    ASSERT_EQ(0, m_catalog.OpenOrReset());
    ASSERT_EQ(0, m_catalog.RecordCopy(L"C:\\doc\\Letter.doc.bak", kDest, kAttr, kTime));
    EXPECT_EQ(1, NeedsCopy(m_catalog, L"C:\\doc\\Letter.doc")) << "the shorter path matched the longer one";
    ASSERT_EQ(0, m_catalog.RecordCopy(L"C:\\doc\\Letter.doc ", kDest, kAttr, kTime + 5));
    EXPECT_EQ(1, NeedsCopy(m_catalog, L"C:\\doc\\Letter.doc")) << "a trailing blank is part of the path";
    EXPECT_EQ(0, NeedsCopy(m_catalog, L"C:\\doc\\Letter.doc ", kDest, kAttr, kTime + 5));
    m_catalog.Close();
    EXPECT_EQ(3u, ReadTable(L"Files").rows.size());
}

TEST_F(CataloguePaths, UnicodePathsAreStoredAsUtf8AndKeptApart) {
    ASSERT_EQ(0, m_catalog.OpenOrReset());
    const std::wstring japanese = L"C:\\\u6587\u66f8\\\u624b\u7d19.doc";
    const std::wstring chinese = L"C:\\\u4e2d\u6587\\\u4fe1\u4ef6.doc";  // same length, same cp1252 "?" form
    const std::wstring latin = L"C:\\R\u00e9sum\u00e9s\\M\u00fcller.txt";
    const std::wstring emoji = L"C:\\Fotos\\\U0001F600.jpg";
    const std::wstring lone = std::wstring(L"C:\\odd\\") + wchar_t(0xD800) + L".txt";
    const std::wstring loneOther = std::wstring(L"C:\\odd\\") + wchar_t(0xDC00) + L".txt";
    const std::wstring all[] = {japanese, chinese, latin, emoji, lone, loneOther};
    for (std::size_t i = 0; i < std::size(all); ++i)
        ASSERT_EQ(0, m_catalog.RecordCopy(all[i], kDest, kAttr, kTime + i));
    for (std::size_t i = 0; i < std::size(all); ++i) {
        EXPECT_EQ(0, NeedsCopy(m_catalog, all[i], kDest, kAttr, kTime + i)) << i;
        EXPECT_EQ(1, NeedsCopy(m_catalog, all[(i + 1) % std::size(all)], kDest, kAttr, kTime + i)) << i;
    }
    m_catalog.Close();
    const auto files = ReadTable(L"Files").rows;
    ASSERT_EQ(std::size(all), files.size());
    EXPECT_EQ("C:\\R\xC3\xA9sum\xC3\xA9s\\M\xC3\xBCller.txt", Text(files[2].fields[1]));
    EXPECT_EQ("C:\\Fotos\\\xF0\x9F\x98\x80.jpg", Text(files[3].fields[1]));
    EXPECT_EQ("C:\\odd\\\xED\xA0\x80.txt", Text(files[4].fields[1]));
}

// ------------------------------------------------------------- identities

TEST_F(CatalogueBasics, IdentitiesAscendAndContinueAfterTheLastRemainingRecord) {
    std::wstring paths[4];
    for (int i = 0; i < 4; ++i) paths[i] = MakeSource(L"f" + std::to_wstring(i) + L".txt");
    ASSERT_EQ(0, m_catalog.OpenOrReset());
    for (const auto& p : paths) ASSERT_EQ(0, m_catalog.RecordCopy(p, kDest, kAttr, kTime));
    m_catalog.Close();
    // The last file goes; the prune packs it away.
    ASSERT_TRUE(DeleteFileW(paths[3].c_str()));
    ASSERT_EQ(0, m_catalog.OpenOrReset());
    ASSERT_EQ(0, m_catalog.PruneMissingSources());
    ASSERT_EQ(0, m_catalog.RecordCopy(m_folder + L"\\new.txt", kDest, kAttr, kTime));
    m_catalog.Close();
    const auto files = ReadTable(L"Files").rows;
    ASSERT_EQ(4u, files.size());
    for (std::uint32_t i = 0; i < 4; ++i) EXPECT_EQ(i + 1, files[i].Id());
    EXPECT_EQ("\\new.txt", Text(files[3].fields[1]).substr(Text(files[3].fields[1]).size() - 8));
}

TEST_F(CatalogueBasics, PruneDropsTheRecordsOfMissingSourcesOnlyForEveryDestination) {
    const std::wstring kept = MakeSource(L"kept.txt"), gone = MakeSource(L"gone.txt");
    const std::wstring keptToo = MakeSource(L"\u00e9t\u00e9.txt");
    ASSERT_EQ(0, m_catalog.OpenOrReset());
    for (const auto& p : {kept, gone, keptToo}) {
        ASSERT_EQ(0, m_catalog.RecordCopy(p, L"E:", kAttr, kTime));
        ASSERT_EQ(0, m_catalog.RecordCopy(p, L"F:", kAttr, kTime));
    }
    m_catalog.Close();
    ASSERT_TRUE(DeleteFileW(gone.c_str()));

    ASSERT_EQ(0, m_catalog.OpenOrReset());
    EXPECT_EQ(0, m_catalog.PruneMissingSources());
    for (const auto& p : {kept, keptToo})
        for (const wchar_t* d : {L"E:", L"F:"}) EXPECT_EQ(0, NeedsCopy(m_catalog, p, d)) << "a kept file lost its record";
    m_catalog.Close();
    const auto files = ReadTable(L"Files").rows;
    const auto revns = ReadTable(L"Revns").rows;
    ASSERT_EQ(2u, files.size());
    EXPECT_EQ(1u, files[0].Id());
    EXPECT_EQ(3u, files[1].Id());
    ASSERT_EQ(4u, revns.size());
    for (const Row& r : revns) EXPECT_NE(2u, Le32(r.fields[0], 4)) << "a copy record of the missing file survived";
    EXPECT_EQ(2u, ReadTable(L"Dests").rows.size());
}

// A file pruned away while the catalogue stays open, then back: it is a new
// file. (Another file recorded meanwhile takes the identity it had; keeping
// the old one would answer the other file's copy record for it.)
TEST_F(CatalogueBasics, PrunedFileThatComesBackInTheSameSessionIsANewFile) {
    const std::wstring kept = MakeSource(L"kept.txt"), back = MakeSource(L"back.txt");
    const std::wstring other = m_folder + L"\\other.txt";
    ASSERT_EQ(0, m_catalog.OpenOrReset());
    for (const auto& p : {kept, back}) ASSERT_EQ(0, m_catalog.RecordCopy(p, kDest, kAttr, kTime));
    m_catalog.Close();

    ASSERT_TRUE(DeleteFileW(back.c_str()));
    ASSERT_EQ(0, m_catalog.OpenOrReset());
    EXPECT_EQ(0, NeedsCopy(m_catalog, kept));
    ASSERT_EQ(0, m_catalog.PruneMissingSources());
    ASSERT_EQ(0, m_catalog.RecordCopy(other, kDest, kAttr, kTime));  // identity 2 again
    MakeSource(L"back.txt");
    EXPECT_EQ(1, NeedsCopy(m_catalog, back)) << "the file that came back took the identity of another";
    EXPECT_EQ(0, NeedsCopy(m_catalog, other));
    m_catalog.Close();
    const auto files = ReadTable(L"Files").rows;
    ASSERT_EQ(3u, files.size());
    EXPECT_EQ(3u, files[2].Id());
}

// FILES records written by hand, as damage or another program could leave
// them, are found exactly as a seek of the path index finds them: records
// without a marker, or with a start beside a short head, are never found; of
// two equal records the first counts; a head followed by anything but blanks
// after its marker sorts after the plain one (the catalogue then answers
// every look-up from the index; the other answers stay the same).
TEST_F(CatalogueBasics, HandWrittenFilesRecordsAreFoundAsThePathIndexFindsThem) {
    struct Record {
        const char* path;
        const char* start;
        std::uint32_t id;
    };
    for (const bool damaged : {false, true}) {
        SCOPED_TRACE(damaged ? "with a record that has bytes after its marker" : "well-formed records");
        m_catalog.Close();
        ASSERT_EQ(0, CTVXCatalog().DeleteFiles());
        ASSERT_EQ(0, m_catalog.OpenOrReset());
        m_catalog.Close();
        std::vector<Record> records = {
            {"C:\\b", "?", 1},                         // no marker: never found
            {"x?", "C:\\?", 2},                        // start beside a short head: never found
            {"C:\\d?", "?", 3}, {"C:\\d?", "?", 4},  // "C:\d": the first
        };
        if (damaged) {
            records.push_back({"C:\\a?zz", "?", 5});   // "C:\a": the seek finds 6 first
            records.push_back({"C:\\a?", "?", 6});
        }
        {
            db::DbContext context;
            context.Setup();
            const std::wstring wide = CatalogueFile(L"Files");
            db::DbTable* files = db::DbTable::Open(context, std::string(wide.begin(), wide.end()).c_str());
            ASSERT_NE(nullptr, files);
            for (const Record& r : records) {
                const char id[4] = {static_cast<char>(r.id), 0, 0, 0};
                ASSERT_EQ(0, files->AppendStart());
                files->Blank();
                ASSERT_EQ(0, files->Field("ID")->AssignBytes(id, 4));
                ASSERT_EQ(0, files->Field("PATH")->AssignText(r.path));
                ASSERT_EQ(0, files->Field("PATHEX")->AssignText(r.start));
                ASSERT_EQ(0, files->Append());
            }
            ASSERT_EQ(0, files->Close());
        }
        ASSERT_EQ(0, m_catalog.OpenOrReset());
        std::vector<const wchar_t*> paths = {L"C:\\b", L"C:\\x", L"C:\\d"};
        if (damaged) paths.push_back(L"C:\\a");
        for (const wchar_t* path : paths) ASSERT_EQ(0, m_catalog.RecordCopy(path, kDest, kAttr, kTime));
        m_catalog.Close();
        const auto files = ReadTable(L"Files").rows;
        const std::uint32_t next = damaged ? 7 : 5;  // after the last record's identity
        ASSERT_EQ(records.size() + 2, files.size()) << "C:\\b and C:\\x are new files, the others are found";
        EXPECT_EQ(next, files[records.size()].Id());
        EXPECT_EQ("C:\\b", Text(files[records.size()].fields[1]));
        EXPECT_EQ(next + 1, files[records.size() + 1].Id());
        EXPECT_EQ("C:\\x", Text(files[records.size() + 1].fields[1]));
        std::vector<std::uint32_t> copied;
        for (const Row& r : ReadTable(L"Revns").rows) copied.push_back(Le32(r.fields[0], 4));
        std::vector<std::uint32_t> want = {next, next + 1, 3};
        if (damaged) want.push_back(6);
        EXPECT_EQ(want, copied);
    }
}

}  // namespace
}  // namespace tvx::catalogue::testing
