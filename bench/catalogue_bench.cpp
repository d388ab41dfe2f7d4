// Catalogue benchmark (Windows, run under Wine by tools/bench-catalogue).
//
//   catalogue_bench [FILES]   (default 100000)
//
// In the benchmark's own folder (the catalogue's program folder) it builds a
// catalogue of FILES recorded source files on one destination and measures:
//   look-ups      FILES IsUpToDate calls for recorded files, in random order;
//   bare seeks    the same look-ups done as 3 x FILES plain storage seeks
//                 (FILES by path, DESTS by destination, REVNS by pair key):
//                 the floor that IsUpToDate's three seeks stand on;
//   repair purge  the open after FILES.DBF lost its last record (count
//                 repair, purge of the copy records, reindex of FILES);
//   prune         PruneMissingSources when none of the files exists (every
//                 file asked for, every record dropped).
// It prints the time per look-up and its ratio to the bare seeks measured in
// the same run, and the purge and prune times in seconds.
#include "catalogue/Catalog.h"
#include "catalogue/PathBytes.h"
#include "storage/Db.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

using tvx::catalogue::CTVXCatalog;
namespace db = tvx::db;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// Source paths of 20 to 230 characters under folders that share prefixes,
// all unique, none of them existing.
std::vector<std::wstring> MakePaths(std::size_t count) {
    static const wchar_t* const kWords[] = {L"Users", L"Documents", L"Projects", L"Fotos", L"2024", L"R\u00e9sum\u00e9s",
                                            L"Invoices", L"Music", L"Letters", L"Archive", L"\u65e5\u672c"};
    std::mt19937 rng(20261206);
    std::vector<std::wstring> paths;
    paths.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t length = 20 + rng() % 211;
        std::wstring p = L"C:\\bench-missing\\";
        while (p.size() + 12 < length) {
            p += kWords[rng() % std::size(kWords)];
            p += L'\\';
        }
        p += L"f" + std::to_wstring(i) + L".txt";
        while (p.size() < length) p.insert(p.size() - 4, 1, static_cast<wchar_t>(L'a' + rng() % 26));
        paths.push_back(std::move(p));
    }
    return paths;
}

std::string Utf8(const std::wstring& w) {
    return tvx::catalogue::ToStoredBytes(std::u16string_view(reinterpret_cast<const char16_t*>(w.data()), w.size()));
}

// Paths kept to at most 239 stored bytes, so that each is one seek.
std::vector<std::wstring> MakeShortPaths(std::size_t count) {
    std::vector<std::wstring> paths = MakePaths(count);
    for (std::wstring& p : paths) {
        while (Utf8(p).size() > 239) p.erase(17, 1);
    }
    return paths;
}

std::string TableName(const wchar_t* base) { return Utf8(CTVXCatalog::ProgramFolder() + L"\\" + base); }

int Fail(const char* what) {
    std::fprintf(stderr, "catalogue_bench: %s\n", what);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
    if (count == 0) return Fail("the number of files must be positive");
    const std::wstring dest = L"E:";
    constexpr DWORD kAttr = FILE_ATTRIBUTE_ARCHIVE;
    constexpr std::uint64_t kTime = 0x01DB'0000'0000'0000ull;
    const std::vector<std::wstring> paths = MakeShortPaths(count);
    std::vector<std::size_t> order(count);
    for (std::size_t i = 0; i < count; ++i) order[i] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(7));

    auto build = [&]() -> double {
        CTVXCatalog catalog;
        if (catalog.DeleteFiles() != 0 || catalog.OpenOrReset() != 0) return -1;
        const auto start = Clock::now();
        for (std::size_t i = 0; i < count; ++i)
            if (catalog.RecordCopy(paths[i], dest, kAttr, kTime + i) != 0) return -1;
        if (catalog.Close() != 0) return -1;
        return Seconds(start);
    };

    std::printf("catalogue benchmark: %zu recorded files on one destination\n", count);
    const double recordSeconds = build();
    if (recordSeconds < 0) return Fail("building the catalogue failed");
    std::printf("  record copies   %8.3f s  (%.2f us per file)\n", recordSeconds, recordSeconds * 1e6 / count);

    // Look-ups through the catalogue.
    double lookSeconds = 0;
    {
        CTVXCatalog catalog;
        if (catalog.OpenOrReset() != 0) return Fail("open failed");
        std::size_t wrong = 0;
        const auto start = Clock::now();
        for (std::size_t i : order) {
            int flag = 1;
            catalog.IsUpToDate(paths[i], dest, kAttr, kTime + i, flag);
            wrong += flag != 0;
        }
        lookSeconds = Seconds(start);
        catalog.Close();
        if (wrong) return Fail("a recorded file was not found up to date");
    }

    // The same look-ups as bare storage seeks on the three tables.
    double seekSeconds = 0;
    {
        db::DbContext context;
        context.Setup();
        context.accessMode = 1;
        db::DbTable* files = db::DbTable::Open(context, TableName(L"Files").c_str());
        db::DbTable* dests = db::DbTable::Open(context, TableName(L"Dests").c_str());
        db::DbTable* revns = db::DbTable::Open(context, TableName(L"Revns").c_str());
        if (!files || !dests || !revns) return Fail("opening the tables for the bare seeks failed");
        files->SelectTag(files->Tag("PATH_TAG"));
        dests->SelectTag(dests->Tag("PATH_TAG"));
        revns->SelectTag(revns->Tag("ID_TAG"));
        std::vector<std::string> keys(count);
        for (std::size_t i = 0; i < count; ++i) keys[i] = Utf8(paths[i]) + "?";
        std::size_t wrong = 0;
        char pair[8] = {1, 0, 0, 0, 0, 0, 0, 0};
        const auto start = Clock::now();
        for (std::size_t i : order) {
            const std::string& key = keys[i];
            const auto id = static_cast<std::uint32_t>(i + 1);
            for (int b = 0; b < 4; ++b) pair[4 + b] = static_cast<char>((id >> (8 * b)) & 0xFF);
            wrong += files->Seek(key.c_str()) != db::kOk;
            wrong += dests->Seek("E:?") != db::kOk;
            wrong += revns->SeekBytes(pair, 8) != db::kOk;
        }
        seekSeconds = Seconds(start);
        context.CloseAll();
        if (wrong) std::printf("  (bare seeks: %zu did not find their key)\n", wrong);
    }
    std::printf("  IsUpToDate      %8.3f s  (%.2f us per call)\n", lookSeconds, lookSeconds * 1e6 / count);
    std::printf("  bare seeks x3   %8.3f s  (%.2f us per 3 seeks)\n", seekSeconds, seekSeconds * 1e6 / count);
    std::printf("  ratio IsUpToDate / 3 bare seeks: %.2f (goal: at most 1.2)\n", lookSeconds / seekSeconds);

    // The open after a lost last FILES record: count repair, purge, reindex.
    {
        const std::wstring table = CTVXCatalog::ProgramFolder() + L"\\FILES.DBF";
        HANDLE h = CreateFileW(table.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return Fail("cannot open FILES.DBF");
        LARGE_INTEGER size{};
        GetFileSizeEx(h, &size);
        size.QuadPart -= tvx::catalogue::kFilesRecordLength;
        SetFilePointerEx(h, size, nullptr, FILE_BEGIN);
        SetEndOfFile(h);
        CloseHandle(h);
        CTVXCatalog catalog;
        const auto start = Clock::now();
        const int rc = catalog.OpenOrReset();
        const double purge = Seconds(start);
        catalog.Close();
        if (rc != 0) return Fail("the open after the repair failed");
        std::printf("  repair purge    %8.3f s  (open with count repair, purge and reindex of FILES)\n", purge);
    }

    // The prune when every source is gone.
    {
        CTVXCatalog catalog;
        if (catalog.OpenOrReset() != 0) return Fail("open failed");
        const auto start = Clock::now();
        catalog.PruneMissingSources();
        const double prune = Seconds(start);
        catalog.Close();
        std::printf("  prune           %8.3f s  (%zu missing sources asked for and dropped)\n", prune, count - 1);
        catalog.DeleteFiles();
    }
    return 0;
}
