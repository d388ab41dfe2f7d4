// Storage benchmark: the catalogue's FILES table with its PATH_TAG index
// against SQLite doing the same work (one table, an indexed text column).
//
//   storage_bench [RECORDS]   (default 100000)
//
// Each side runs in a child process of its own, so that its peak memory
// (VmHWM) is its own; both use the same generated records, made from a fixed
// seed. Work measured per side:
//   appends      RECORDS FILES-shaped records (random paths of 20 to 230
//                bytes followed by the end marker "?"), the index kept up to
//                date, then flushed to the file;
//   hit seeks    RECORDS look-ups of paths that are in the table;
//   miss seeks   RECORDS look-ups of paths that are not.
// SQLite inserts in one transaction and looks up through prepared statements.
// Neither side forces data to the disk: the storage writes through its
// buffers without syncing, so SQLite runs with synchronous=OFF. The storage
// keeps the files it uses in its memory buffers; SQLite gets a page cache
// large enough to do the same (cache_size), instead of its default 2 MB.
#include "storage/Db.h"

#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Result {
    double appendSeconds = 0;
    double hitSeconds = 0;
    double missSeconds = 0;
    long baseKiB = 0;  // resident size before the work (the generated records)
    long peakKiB = 0;  // VmHWM after the work
    long fileBytes = 0;
    int failures = 0;  // look-ups that gave the wrong answer
    char error[160] = {};
};

struct Workload {
    std::vector<std::string> paths;   // appended, in record order
    std::vector<std::string> hits;    // paths to find, shuffled
    std::vector<std::string> misses;  // paths that are not in the table
};

// A path of the given length: a drive, then folder and file names drawn from
// a small vocabulary and random letters, so that keys share prefixes as real
// paths do; bytes above 127 included. '|' never occurs, so a '|' put into a
// path makes a path that is certainly not in the table.
std::string RandomPath(std::mt19937_64& rng, std::size_t length) {
    static const char* const kWords[] = {"Users", "Documents", "Pictures", "Program Files", "Windows",
                                         "backup", "Projekte", "R\xE9sum\xE9", "2024", "src", "Fotos",
                                         "M\xFCller", "Musik", "archive", "tmp"};
    std::string path = (rng() & 1) ? "C:\\" : "D:\\";
    while (path.size() < length) {
        if (rng() % 3 == 0) {
            path += kWords[rng() % (sizeof kWords / sizeof kWords[0])];
        } else {
            std::size_t n = 3 + rng() % 10;
            for (std::size_t i = 0; i < n; ++i) path += static_cast<char>('a' + rng() % 26);
        }
        path += (rng() % 4 == 0) ? "." : "\\";
    }
    path.resize(length);
    if (path.back() == ' ') path.back() = '_';
    return path + "?";
}

Workload MakeWorkload(std::size_t count) {
    Workload w;
    std::mt19937_64 rng(20240611);
    w.paths.reserve(count);
    for (std::size_t i = 0; i < count; ++i) w.paths.push_back(RandomPath(rng, 20 + rng() % 211));
    w.hits = w.paths;
    std::shuffle(w.hits.begin(), w.hits.end(), rng);
    w.misses.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        std::string p = w.paths[rng() % count];
        p[3 + rng() % (p.size() - 4)] = '|';
        w.misses.push_back(p);
    }
    return w;
}

long StatusKiB(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    std::size_t n = std::strlen(key);
    while (std::getline(in, line))
        if (line.compare(0, n, key) == 0) return std::strtol(line.c_str() + n + 1, nullptr, 10);
    return -1;
}

// Starts the peak over from the present resident size (Linux 4.0 and later).
void ResetPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
}

double Since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void SetError(Result& r, const char* what, long code) {
    std::snprintf(r.error, sizeof r.error, "%s: %ld", what, code);
}

void RunStorage(const Workload& w, Result& r) {
    using namespace tvx::db;
    DbContext context;
    context.Setup();
    context.accessMode = 1;
    context.createRefusesExisting = false;
    context.openErrorIsError = false;
    const DbFieldInfo fields[] = {{"ID", 'C', 4, 0, false},
                                  {"PATH", 'C', 240, 0, false},
                                  {"PATHEX", 'C', 22, 0, false},
                                  {nullptr, 0, 0, 0, false}};
    const DbTagInfo tags[] = {{"PATH_TAG", "PATH", nullptr, false, false}, {nullptr, nullptr, nullptr, false, false}};

    auto start = Clock::now();
    DbTable* table = DbTable::Create(context, "FILES", fields, tags);
    if (!table) return SetError(r, "create", context.ErrorCode());
    DbField* id = table->Field("ID");
    DbField* path = table->Field("PATH");
    DbField* pathex = table->Field("PATHEX");
    for (std::size_t i = 0; i < w.paths.size(); ++i) {
        std::uint32_t n = static_cast<std::uint32_t>(i + 1);
        table->AppendStart();
        table->Blank();
        id->AssignBytes(&n, sizeof n);
        path->AssignBytes(w.paths[i].data(), w.paths[i].size());
        pathex->AssignBytes("", 0);
        if (int rc = table->Append(); rc != 0) {
            std::snprintf(r.error, sizeof r.error, "append of record %zu: %d (location %d)", i + 1, rc,
                          context.ErrorLocation());
            return;
        }
    }
    if (int rc = table->Flush(); rc != 0) return SetError(r, "flush", rc);
    r.appendSeconds = Since(start);

    table->SelectTag(table->Tag("PATH_TAG"));
    start = Clock::now();
    for (const std::string& key : w.hits)
        if (table->SeekBytes(key.data(), key.size()) != kOk) ++r.failures;
    r.hitSeconds = Since(start);

    start = Clock::now();
    for (const std::string& key : w.misses) {
        int rc = table->SeekBytes(key.data(), key.size());
        if (rc != kAfter && rc != kEof) ++r.failures;
    }
    r.missSeconds = Since(start);

    // Outside the timing: a sample of hits must land on a record holding the path.
    for (std::size_t i = 0; i < w.hits.size(); i += 97) {
        const std::string& key = w.hits[i];
        if (table->SeekBytes(key.data(), key.size()) != kOk ||
            std::memcmp(path->Ptr(), key.data(), key.size()) != 0)
            ++r.failures;
    }
    r.peakKiB = StatusKiB("VmHWM:");
    if (int rc = context.CloseAll(); rc != 0) return SetError(r, "close", rc);
    r.fileBytes = static_cast<long>(std::filesystem::file_size("FILES.DBF") + std::filesystem::file_size("FILES.CDX"));
}

void RunSqlite(const Workload& w, Result& r) {
    sqlite3* db = nullptr;
    if (sqlite3_open("files.sqlite", &db) != SQLITE_OK) return SetError(r, "sqlite3_open", sqlite3_errcode(db));
    auto exec = [&](const char* sql) {
        char* message = nullptr;
        int rc = sqlite3_exec(db, sql, nullptr, nullptr, &message);
        if (rc != SQLITE_OK) {
            std::snprintf(r.error, sizeof r.error, "%s: %s", sql, message ? message : "?");
            sqlite3_free(message);
        }
        return rc == SQLITE_OK;
    };
    auto start = Clock::now();
    if (!exec("PRAGMA synchronous=OFF") || !exec("PRAGMA cache_size=-262144") ||
        !exec("CREATE TABLE files(id BLOB, path TEXT, pathex TEXT)") ||
        !exec("CREATE INDEX path_tag ON files(path)") || !exec("BEGIN"))
        return;
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO files(id, path, pathex) VALUES(?, ?, '')", -1, &insert, nullptr);
    for (std::size_t i = 0; i < w.paths.size(); ++i) {
        std::uint32_t n = static_cast<std::uint32_t>(i + 1);
        sqlite3_bind_blob(insert, 1, &n, sizeof n, SQLITE_STATIC);
        sqlite3_bind_text(insert, 2, w.paths[i].data(), static_cast<int>(w.paths[i].size()), SQLITE_STATIC);
        if (int rc = sqlite3_step(insert); rc != SQLITE_DONE) return SetError(r, "insert", rc);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    if (!exec("COMMIT")) return;
    r.appendSeconds = Since(start);

    sqlite3_stmt* find = nullptr;
    sqlite3_prepare_v2(db, "SELECT rowid FROM files WHERE path = ?", -1, &find, nullptr);
    auto lookUp = [&](const std::string& key) {
        sqlite3_bind_text(find, 1, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
        int rc = sqlite3_step(find);
        sqlite3_reset(find);
        return rc;
    };
    start = Clock::now();
    for (const std::string& key : w.hits)
        if (lookUp(key) != SQLITE_ROW) ++r.failures;
    r.hitSeconds = Since(start);
    start = Clock::now();
    for (const std::string& key : w.misses)
        if (lookUp(key) != SQLITE_DONE) ++r.failures;
    r.missSeconds = Since(start);
    sqlite3_finalize(find);
    r.peakKiB = StatusKiB("VmHWM:");
    sqlite3_close(db);
    r.fileBytes = static_cast<long>(std::filesystem::file_size("files.sqlite"));
}

// Runs one side in a child process, in a fresh folder; its result comes back
// through a pipe.
Result RunChild(std::size_t count, void (*side)(const Workload&, Result&), const char* name) {
    int fds[2];
    if (pipe(fds) != 0) std::exit(2);
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        Result r;
        Workload w = MakeWorkload(count);
        auto folder = std::filesystem::temp_directory_path() /
                      ("tvx-bench-" + std::to_string(getpid()) + "-" + name);
        std::filesystem::create_directories(folder);
        std::filesystem::current_path(folder);
        ResetPeak();
        r.baseKiB = StatusKiB("VmRSS:");
        side(w, r);
        std::filesystem::current_path("/");
        std::filesystem::remove_all(folder);
        ssize_t written = write(fds[1], &r, sizeof r);
        _exit(written == static_cast<ssize_t>(sizeof r) ? 0 : 3);
    }
    close(fds[1]);
    Result r;
    ssize_t got = read(fds[0], &r, sizeof r);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (got != static_cast<ssize_t>(sizeof r) || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        std::snprintf(r.error, sizeof r.error, "child process failed (status %d)", status);
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
    if (count < 10) count = 10;
    std::printf("storage benchmark: %zu FILES records, PATH_TAG index; SQLite %s\n", count, sqlite3_libversion());
    Result ours = RunChild(count, RunStorage, "storage");
    Result lite = RunChild(count, RunSqlite, "sqlite");
    for (const Result* r : {&ours, &lite})
        if (r->error[0]) {
            std::printf("%s failed: %s\n", r == &ours ? "storage" : "SQLite", r->error);
            return 1;
        }
    std::printf("%-12s %12s %12s %10s\n", "", "storage s", "SQLite s", "ratio");
    auto row = [](const char* what, double a, double b) {
        std::printf("%-12s %12.3f %12.3f %9.2fx\n", what, a, b, b > 0 ? a / b : 0.0);
    };
    row("appends", ours.appendSeconds, lite.appendSeconds);
    row("hit seeks", ours.hitSeconds, lite.hitSeconds);
    row("miss seeks", ours.missSeconds, lite.missSeconds);
    std::printf("%-12s %9ld KiB %9ld KiB   (VmHWM; records in memory before the work: %ld / %ld KiB)\n",
                "peak memory", ours.peakKiB, lite.peakKiB, ours.baseKiB, lite.baseKiB);
    std::printf("%-12s %9ld KiB %9ld KiB   (peak above that base)\n", "work memory",
                ours.peakKiB - ours.baseKiB, lite.peakKiB - lite.baseKiB);
    std::printf("%-12s %9ld KiB %9ld KiB\n", "files", ours.fileBytes / 1024, lite.fileBytes / 1024);
    if (ours.failures || lite.failures) {
        std::printf("wrong answers: storage %d, SQLite %d\n", ours.failures, lite.failures);
        return 1;
    }
    return 0;
}
