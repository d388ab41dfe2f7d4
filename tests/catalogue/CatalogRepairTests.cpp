// The catalogue's recoveries: record counts set from the file size, orphaned
// copy records purged, tables made anew when their index is gone, and the
// whole catalogue made anew when it cannot be opened.
#include "tests/catalogue/CatalogTestSupport.h"

#include "framework/Handle.h"

#include <string>

namespace tvx::catalogue::testing {
namespace {

constexpr DWORD kAttr = FILE_ATTRIBUTE_ARCHIVE;
constexpr std::uint64_t kTime = 0x01DA'0000'0000'1000ull;

std::wstring Source(int i) { return L"C:\\work\\file" + std::to_wstring(i) + L".txt"; }

class CatalogueRepair : public CatalogueTest {
protected:
    // Three files copied to E:, the first two also to F:.
    void Populate() {
        ASSERT_EQ(0, m_catalog.OpenOrReset());
        for (int i = 1; i <= 3; ++i) ASSERT_EQ(0, m_catalog.RecordCopy(Source(i), L"E:", kAttr, kTime + i));
        for (int i = 1; i <= 2; ++i) ASSERT_EQ(0, m_catalog.RecordCopy(Source(i), L"F:", kAttr, kTime + i));
        m_catalog.Close();
    }

    int NeedsCopy(int i, const wchar_t* dest = L"E:") {
        int flag = -1;
        EXPECT_EQ(0, m_catalog.IsUpToDate(Source(i), dest, kAttr, kTime + i, flag));
        return flag;
    }

    std::uint32_t StoredCount(const wchar_t* file) { return Le32(ReadBytes(file), 4); }
};

// A table cut short by its last record (or by its end-of-file byte alone):
// its count is set from its size, copy records left without their file or
// destination are purged, and only a lost FILES or DESTS record is counted.
// Every other answer stays; a file whose record was lost comes back as new
// under its old identity.
struct ShortTable {
    const char* name;
    const wchar_t* file;
    std::uint64_t cut;  // bytes taken off the end
    std::uint32_t count, syncFiles, syncDests;
    std::size_t revns;    // copy records left
    int needsCopy[2][3];  // for E: and F:, files 1 to 3
};

const ShortTable kShortTables[] = {
    {"RevnsLosesItsLastCopyRecordOnly", L"REVNS.DBF", kRevnsRecordLength, 4, 0, 0, 4, {{0, 0, 0}, {0, 1, 1}}},
    {"FilesPurgesTheCopyRecordsOfTheLostFile", L"FILES.DBF", kFilesRecordLength, 2, 1, 0, 4, {{0, 0, 1}, {0, 0, 1}}},
    {"DestsPurgesTheCopyRecordsOfTheLostDestination", L"DESTS.DBF", kDestsRecordLength, 1, 0, 1, 3,
     {{0, 0, 0}, {1, 1, 1}}},
    {"MissingEndOfFileByteKeepsTheLastWholeRecord", L"FILES.DBF", 1, 3, 0, 0, 5, {{0, 0, 0}, {0, 0, 1}}},
};

void PrintTo(const ShortTable& table, std::ostream* os) { *os << table.name; }

class CatalogueShortTable : public CatalogueRepair, public ::testing::WithParamInterface<ShortTable> {};

TEST_P(CatalogueShortTable, CountIsSetFromTheSizeAndOrphanedCopyRecordsArePurged) {
    const ShortTable& c = GetParam();
    Populate();
    Truncate(c.file, c.cut);
    ASSERT_EQ(0, m_catalog.OpenOrReset());
    m_catalog.Close();
    EXPECT_EQ(c.count, StoredCount(c.file));
    EXPECT_EQ(0u, Counter(settings::kDBReset));
    EXPECT_EQ(c.syncFiles, Counter(settings::kDBSyncFiles));
    EXPECT_EQ(c.syncDests, Counter(settings::kDBSyncDests));
    EXPECT_EQ(c.revns, ReadTable(L"Revns").rows.size());
    ASSERT_EQ(0, m_catalog.OpenOrReset());
    for (int d = 0; d < 2; ++d) {
        const wchar_t* dest = d ? L"F:" : L"E:";
        for (int i = 1; i <= 3; ++i) EXPECT_EQ(c.needsCopy[d][i - 1], NeedsCopy(i, dest)) << i << (d ? " on F:" : " on E:");
    }
    m_catalog.Close();
    const auto files = ReadTable(L"Files").rows;
    ASSERT_EQ(3u, files.size());
    for (std::uint32_t i = 0; i < 3; ++i) EXPECT_EQ(i + 1, files[i].Id());
}

INSTANTIATE_TEST_SUITE_P(Repair, CatalogueShortTable, ::testing::ValuesIn(kShortTables),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CatalogueRepair, MissingFilesIndexRemakesFilesEmptyAndKeepsTheOthers) {
    Populate();
    ASSERT_TRUE(DeleteFileW(CatalogueFile(L"FILES.CDX").c_str()));
    const std::string dests = ReadBytes(L"DESTS.DBF");
    ASSERT_EQ(0, m_catalog.OpenOrReset());
    m_catalog.Close();
    EXPECT_EQ(kFilesEmptySize, FileSize(L"FILES.DBF"));
    EXPECT_TRUE(FileExists(L"FILES.CDX"));
    EXPECT_EQ(dests, ReadBytes(L"DESTS.DBF")) << "DESTS kept as it was";
    for (const wchar_t* c : {settings::kDBReset, settings::kDBSyncFiles, settings::kDBSyncDests})
        EXPECT_EQ(0u, Counter(c));
    // Copy records of the forgotten file identities are gone too: a new file
    // with identity 1 must not inherit the old file 1's record.
    EXPECT_EQ(0u, ReadTable(L"Revns").rows.size());
    ASSERT_EQ(0, m_catalog.OpenOrReset());
    int flag = -1;
    ASSERT_EQ(0, m_catalog.IsUpToDate(L"C:\\other\\new.txt", L"E:", kAttr, kTime + 1, flag));
    EXPECT_EQ(1, flag) << "a new file took over another file's copy record";
}

struct Damage {
    const char* name;
    const wchar_t* file;
    void (*apply)(const wchar_t* file);
};

const Damage kFatalDamage[] = {
    {"UnknownCollatingSequence", L"FILES.CDX",
     [](const wchar_t* f) {
         // The tag header of the only tag follows the directory's header and
         // its one leaf; its collating sequence name sits at offset 494.
         std::string bytes = ReadBytes(f);
         const std::uint32_t tagHeader = 1024;
         ASSERT_GT(bytes.size(), tagHeader + 502);
         bytes.replace(tagHeader + 494, 8, std::string("SPANISH\0", 8));
         WriteBytes(f, bytes);
     }},
    {"GarbageTableHeader", L"DESTS.DBF",
     [](const wchar_t* f) {
         std::string bytes = ReadBytes(f);
         for (std::size_t i = 0; i < 32 && i < bytes.size(); ++i) bytes[i] = static_cast<char>(0xA5 ^ (i * 37));
         WriteBytes(f, bytes);
     }},
    {"TableShorterThanItsHeader", L"REVNS.DBF", [](const wchar_t* f) { Truncate(f, FileSize(f) - 40); }},
    {"GarbageIndexHeader", L"REVNS.CDX",
     [](const wchar_t* f) {
         std::string bytes = ReadBytes(f);
         for (std::size_t i = 0; i < 24; ++i) bytes[i] = static_cast<char>(0xFF - i);
         WriteBytes(f, bytes);
     }},
};

void PrintTo(const Damage& damage, std::ostream* os) { *os << damage.name; }

class CatalogueReset : public CatalogueRepair, public ::testing::WithParamInterface<Damage> {};

TEST_P(CatalogueReset, UnopenableCatalogueIsDeletedAndMadeAnewOnce) {
    Populate();
    GetParam().apply(GetParam().file);
    ASSERT_EQ(0, m_catalog.OpenOrReset());
    m_catalog.Close();
    EXPECT_EQ(1u, Counter(settings::kDBReset));
    EXPECT_EQ(kFilesEmptySize, FileSize(L"FILES.DBF"));
    EXPECT_EQ(kDestsEmptySize, FileSize(L"DESTS.DBF"));
    EXPECT_EQ(kRevnsEmptySize, FileSize(L"REVNS.DBF"));
    ASSERT_EQ(0, m_catalog.OpenOrReset());
    EXPECT_EQ(1, NeedsCopy(1)) << "everything is copied once more";
    EXPECT_EQ(1u, Counter(settings::kDBReset));
}

INSTANTIATE_TEST_SUITE_P(Damage, CatalogueReset, ::testing::ValuesIn(kFatalDamage),
                         [](const auto& info) { return std::string(info.param.name); });

// Another process holds FILES.DBF open (the storage tool, waiting for keys on
// its standard input): the tables are opened for exclusive use, so the open
// fails, the reset cannot delete the held file, and the catalogue stays
// closed; files are then copied and nothing is recorded. Once the other
// process has ended, the catalogue opens again.
TEST_F(CatalogueRepair, TableHeldByAnotherProcessLeavesTheCatalogueClosedUntilReleased) {
    Populate();
    // The tool opens the table for its own exclusive use; a probe that finds
    // it held sees a sharing violation. A probe that comes first makes the
    // tool's open fail and end, and the tool is started again.
    UniqueHandle process, keys;
    bool held = false;
    for (int attempt = 0; attempt < 20 && !held; ++attempt) {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE readEnd = nullptr, writeEnd = nullptr;
        ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, &inherit, 0));
        UniqueHandle childInput(readEnd);
        keys.Attach(writeEnd);
        SetHandleInformation(keys.Get(), HANDLE_FLAG_INHERIT, 0);
        UniqueHandle nul(CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                     OPEN_EXISTING, 0, nullptr));
        STARTUPINFOW start{};
        start.cb = sizeof start;
        start.dwFlags = STARTF_USESTDHANDLES;
        start.hStdInput = childInput.Get();
        start.hStdOutput = start.hStdError = nul.Get();
        std::wstring command =
            L"\"" TVX_TVXDB_EXE L"\" seek \"" + CTVXCatalog::ProgramFolder() + L"\\Files\" PATH_TAG";
        PROCESS_INFORMATION child{};
        ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                   nullptr, &start, &child))
            << GetLastError();
        process.Attach(child.hProcess);
        CloseHandle(child.hThread);
        // Probes far apart, so that they seldom meet the tool's own open.
        for (int i = 0; i < 120 && !held && WaitForSingleObject(process.Get(), 250) == WAIT_TIMEOUT; ++i) {
            UniqueHandle probe(CreateFileW(CatalogueFile(L"FILES.DBF").c_str(), GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
            held = !probe && GetLastError() == ERROR_SHARING_VIOLATION;
        }
    }
    ASSERT_TRUE(held) << "the storage tool did not hold the table";

    EXPECT_NE(0, m_catalog.OpenOrReset());
    EXPECT_FALSE(m_catalog.IsOpen());
    EXPECT_EQ(1u, Counter(settings::kDBReset));
    int flag = 0;
    EXPECT_EQ(CAT_NOT_OPEN, m_catalog.IsUpToDate(Source(1), L"E:", kAttr, kTime + 1, flag));
    EXPECT_EQ(1, flag);
    EXPECT_EQ(CAT_NOT_OPEN, m_catalog.RecordCopy(Source(1), L"E:", kAttr, kTime + 1));
    EXPECT_EQ(0, m_catalog.Close());

    keys.Close();  // end of input: the tool closes the table and ends
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.Get(), 30000));
    ASSERT_EQ(0, m_catalog.OpenOrReset());
    EXPECT_EQ(1, NeedsCopy(1)) << "what the reset removed is copied again";
    ASSERT_EQ(0, m_catalog.RecordCopy(Source(1), L"E:", kAttr, kTime + 1));
    EXPECT_EQ(0, NeedsCopy(1));
}

}  // namespace
}  // namespace tvx::catalogue::testing
