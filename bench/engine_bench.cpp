// Mirror engine benchmark (Windows, run under Wine by tools/bench-engine).
//
//   engine_bench [scan] [copy]   (both when neither is named)
//
// scan  A tree of 100,000 small files in 1,000 folders on C:, every file
//       known to the catalogue as copied in its present state (recorded the
//       way a copy records it: the attribute word with 0x80 as 0 and the
//       last-write time from the directory entry). Measured, best of 5 each
//       (the runs alternate, so that a busy moment of the machine does not
//       fall on one of them only):
//         bare walk  a recursive FindFirstFileExW walk of the tree with the
//                    scanner's info level and flags: the floor;
//         scan       CTVXFolderScanner::Scan with a catalogue just opened
//                    (its first look-up reads the tables it answers from);
//         pass       CTVXMirrorController::RunPass(0) from the settings in
//                    the registry (reload, catalogue open, scan, close);
//         look-ups   the scan's IsUpToDate calls alone, from a list made
//                    beforehand, after the scan (tables already read).
//       Prints microseconds per file and the ratio of scan and pass to the
//       bare walk.
//
// copy  About 1 GiB of mixed files on C: (2,000 x 16 KiB, 200 x 1 MiB,
//       4 x 200 MiB), copied to a virtual removable disk in E:. Measured,
//       best of 10 each, every run onto an empty disk, each of the five
//       first in two runs:
//         CopyFileW  the folders made and every file copied with CopyFileW
//                    to a folder of its own on the same disk: the baseline;
//         CopyAll    CTVXCopyEngine::CopyAll of the list a scan made, with
//                    an empty catalogue, the catalogue's close included (the
//                    scan before it is timed on its own);
//         pass       CTVXMirrorController::RunPass(0) with an empty
//                    catalogue (scan, disk check, copy, start stamp), its
//                    fixed pauses shortened by the time seam;
//         CopyAll + progress
//                    CopyAll as above while the copy progress window and
//                    its feeder run over the engine as in the program (the
//                    window shows when there is a display), polling once a
//                    second as in the program, and again polling every
//                    millisecond (the time seam's 1000-fold speed-up) to
//                    load the engine's lock and counters far beyond the
//                    real rate.
//       Prints MiB/s and the throughput ratio of each to CopyFileW; the
//       copy must not wait for the window, so the ratios with progress
//       should match that of CopyAll alone.
//
// Everything it makes (the trees on C:, the disk folder under /tmp, the
// catalogue beside the executable, the options key) is deleted at the end.
#include "app/MirrorController.h"
#include "catalogue/Catalog.h"
#include "engine/ChangedFileList.h"
#include "engine/CopyEngine.h"
#include "engine/FolderScanner.h"
#include "framework/ProcessFlags.h"
#include "framework/TimeSeam.h"
#include "media/DiskExchange.h"
#include "settings/Settings.h"
#include "tests/disks/VirtualDisk.h"
#include "ui/ProgressWindow.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using tvx::catalogue::CTVXCatalog;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

constexpr int kCopyRuns = 10;  // each of the five measures first twice
constexpr int kScanRuns = 5;
constexpr wchar_t kDriveLetter = L'E';
const std::wstring kDestination = L"E:\\";

int Fail(const char* what, DWORD error = 0) {
    if (error)
        std::fprintf(stderr, "engine_bench: %s (error %lu)\n", what, static_cast<unsigned long>(error));
    else
        std::fprintf(stderr, "engine_bench: %s\n", what);
    return 1;
}

bool IsDots(const wchar_t* name) { return std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0; }

// Deletes a folder and everything below it, read-only files included.
void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW entry{};
    HANDLE find = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (IsDots(entry.cFileName)) continue;
            const std::wstring path = folder + L"\\" + entry.cFileName;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                if (entry.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
                    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryW(folder.c_str());
}

// Writes `size` bytes of a pattern that differs from file to file.
DWORD WriteTestFile(const std::wstring& path, std::uint64_t size, std::uint32_t seed, std::vector<std::uint32_t>& buffer) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    std::uint32_t x = seed * 2654435761u + 1;
    for (std::uint32_t& word : buffer) {  // xorshift: cheap bytes that no layer can fold
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        word = x;
    }
    const std::uint64_t bufferBytes = buffer.size() * sizeof(std::uint32_t);
    DWORD error = 0;
    for (std::uint64_t done = 0; done < size && error == 0;) {
        const DWORD chunk = static_cast<DWORD>(std::min(bufferBytes, size - done));
        DWORD written = 0;
        if (!WriteFile(file, buffer.data(), chunk, &written, nullptr) || written != chunk) error = GetLastError();
        done += chunk;
        buffer[done / 4096 % buffer.size()] ^= 0x9E3779B9u;  // later blocks differ from earlier ones
    }
    CloseHandle(file);
    return error ? error : 0;
}

// What a walk saw: the files and the sum of their sizes, plus a value that
// depends on every entry, so that nothing of the walk can be left out.
struct WalkTotals {
    std::size_t files = 0;
    std::uint64_t bytes = 0;
    std::uint64_t mix = 0;
};

// The floor of a scan: the directory entries alone, read with the scanner's
// info level and flags; only folders get a path built (for the recursion).
void BareWalk(const std::wstring& folder, WalkTotals& totals) {
    WIN32_FIND_DATAW entry{};
    HANDLE find = FindFirstFileExW((folder + L"\\*.*").c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch,
                                   nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (!IsDots(entry.cFileName)) BareWalk(folder + L"\\" + entry.cFileName, totals);
        } else {
            ++totals.files;
            totals.bytes += std::uint64_t{entry.nFileSizeHigh} << 32 | entry.nFileSizeLow;
            totals.mix += entry.dwFileAttributes ^ entry.ftLastWriteTime.dwLowDateTime ^ entry.cFileName[0];
        }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
}

// One look-up of a scan: a file as its directory entry shows it.
struct Question {
    std::wstring path;
    DWORD attributes;  // 0x80 as 0
    std::uint64_t lastWrite;
};

// The scanner's questions for the files below `folder`, in its order.
void CollectQuestions(const std::wstring& folder, std::vector<Question>& questions) {
    WIN32_FIND_DATAW entry{};
    HANDLE find = FindFirstFileExW((folder + L"\\*.*").c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch,
                                   nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring path = folder + L"\\" + entry.cFileName;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (!IsDots(entry.cFileName)) CollectQuestions(path, questions);
        } else {
            questions.push_back({path, entry.dwFileAttributes == FILE_ATTRIBUTE_NORMAL ? 0 : entry.dwFileAttributes,
                                 std::uint64_t{entry.ftLastWriteTime.dwHighDateTime} << 32 |
                                     entry.ftLastWriteTime.dwLowDateTime});
        }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
}

// The settings a pass reads, for a source folder mirrored to E:\. A start
// stamp of 0 makes the pass a complete copy (it empties the catalogue
// first); any other, a pass that copies what changed.
void WritePassSettings(const std::wstring& source, std::uint64_t startStamp) {
    tvx::settings::DeleteOptionsKey();
    tvx::settings::WriteDestination(kDestination);
    tvx::settings::WriteSourceList({source});
    tvx::settings::WriteDiskID(L"NotTavrix");
    tvx::settings::WriteRevisions(0);
    tvx::settings::WriteStartTime(startStamp);
}

double Best(const std::vector<double>& runs) { return *std::min_element(runs.begin(), runs.end()); }

// The progress window's view of a bare copy engine, the same calls the
// program's view of its controller makes; counts the feeder's polls.
class EngineProgress final : public tvx::ui::ProgressSource {
public:
    explicit EngineProgress(tvx::engine::CTVXCopyEngine& engine) : m_engine(engine) {}
    unsigned PercentDone() override {
        ++polls;
        return static_cast<unsigned>(std::max(m_engine.GetPercentDone(), 0));
    }
    void CurrentPaths(std::wstring& source, std::wstring& destination) override {
        m_engine.GetCurrentSource(source);
        m_engine.GetCurrentDestination(destination);
    }
    void CancelCopy() override { m_engine.Stop(); }

    std::atomic<long> polls{0};

private:
    tvx::engine::CTVXCopyEngine& m_engine;
};

// ------------------------------------------------------------------ scan

constexpr int kScanGroups = 20;
constexpr int kScanFoldersPerGroup = 50;
constexpr int kScanFilesPerFolder = 100;

int ScanBench(const std::wstring& root) {
    const std::wstring source = root + L"\\scan";
    const std::size_t fileCount = std::size_t{kScanGroups} * kScanFoldersPerGroup * kScanFilesPerFolder;
    std::printf("scan: %zu files in %d folders, nothing to copy\n", fileCount, kScanGroups * kScanFoldersPerGroup);

    // The tree: source\Group NN\Folder NNNN\Document NNNNN.txt, 100 to 355 bytes each.
    auto start = Clock::now();
    std::vector<std::uint32_t> buffer(64);
    CreateDirectoryW(source.c_str(), nullptr);
    std::uint32_t serial = 0;
    for (int g = 0; g < kScanGroups; ++g) {
        wchar_t name[64];
        std::swprintf(name, 64, L"\\Group %02d", g);
        const std::wstring group = source + name;
        if (!CreateDirectoryW(group.c_str(), nullptr)) return Fail("cannot make a source folder", GetLastError());
        for (int f = 0; f < kScanFoldersPerGroup; ++f) {
            std::swprintf(name, 64, L"\\Folder %04d", g * kScanFoldersPerGroup + f);
            const std::wstring folder = group + name;
            if (!CreateDirectoryW(folder.c_str(), nullptr)) return Fail("cannot make a source folder", GetLastError());
            for (int i = 0; i < kScanFilesPerFolder; ++i, ++serial) {
                std::swprintf(name, 64, L"\\Document %05u.txt", serial);
                if (const DWORD error = WriteTestFile(folder + name, 100 + serial % 256, serial, buffer))
                    return Fail("cannot write a source file", error);
            }
        }
    }
    std::printf("  tree made in %.1f s\n", Seconds(start));

    // Every file recorded as copied in its present state, as the copy engine
    // records a copy; the same questions serve the look-ups alone below.
    std::vector<Question> questions;
    questions.reserve(fileCount);
    CollectQuestions(source, questions);
    if (questions.size() != fileCount) return Fail("the walk does not see every file");
    const std::wstring destinationRoot = tvx::engine::DestinationRootOf(kDestination);
    start = Clock::now();
    {
        CTVXCatalog catalog;
        if (catalog.DeleteFiles() != 0 || catalog.OpenOrReset() != 0) return Fail("cannot make the catalogue");
        for (const Question& q : questions)
            if (catalog.RecordCopy(q.path, destinationRoot, q.attributes, q.lastWrite) != 0)
                return Fail("recording the tree failed");
        if (catalog.Close() != 0) return Fail("closing the catalogue failed");
    }
    std::printf("  catalogue made in %.1f s\n", Seconds(start));

    WritePassSettings(source, 1);
    tvx::CTVXMirrorController controller;

    WalkTotals warm;
    BareWalk(source, warm);  // the file system cache, once
    if (warm.files != fileCount) return Fail("the walk does not see every file");

    std::vector<double> walkRuns, scanRuns, passRuns, lookRuns;
    CTVXCatalog catalog;
    if (catalog.OpenOrReset() != 0) return Fail("cannot open the catalogue");
    tvx::engine::CTVXFolderScanner scanner;
    tvx::engine::CTVXChangedFileList list;
    for (int run = 0; run < kScanRuns; ++run) {
        WalkTotals totals;
        start = Clock::now();
        BareWalk(source, totals);
        walkRuns.push_back(Seconds(start));
        if (totals.files != fileCount || totals.mix == 0) return Fail("the walk does not see every file");

        list.Clear();
        start = Clock::now();
        const DWORD scanned = scanner.Scan(source, kDestination, {}, catalog, list);
        scanRuns.push_back(Seconds(start));
        if (scanned != 0) return Fail("the scan failed", scanned);
        if (list.Count() != 0) {
            std::fprintf(stderr, "engine_bench: the scan lists %u files to copy, none expected\n", list.Count());
            return 1;
        }

        // The scan's look-ups without its walk.
        std::size_t stale = 0;
        start = Clock::now();
        for (const Question& q : questions) {
            int needsCopy = 1;
            catalog.IsUpToDate(q.path, destinationRoot, q.attributes, q.lastWrite, needsCopy);
            stale += needsCopy != 0;
        }
        lookRuns.push_back(Seconds(start));
        if (stale != 0) return Fail("a recorded file is not up to date");

        // The pass opens the catalogue itself: this one must be closed.
        catalog.Close();
        const LONG passes = controller.PassCount();
        start = Clock::now();
        const DWORD passed = controller.RunPass(0);
        passRuns.push_back(Seconds(start));
        if (passed != 0 || controller.PassCount() != passes + 1) return Fail("the pass failed", passed);
        if (catalog.OpenOrReset() != 0) return Fail("cannot open the catalogue");
    }
    catalog.Close();

    const double walk = Best(walkRuns), scan = Best(scanRuns), pass = Best(passRuns), look = Best(lookRuns);
    const double perFile = 1e6 / static_cast<double>(fileCount);
    std::printf("  bare walk   %7.3f s  (%.2f us per file)\n", walk, walk * perFile);
    std::printf("  look-ups    %7.3f s  (%.2f us per file: IsUpToDate alone, no walk)\n", look, look * perFile);
    std::printf("  scan        %7.3f s  (%.2f us per file)\n", scan, scan * perFile);
    std::printf("  pass        %7.3f s  (%.2f us per file)\n", pass, pass * perFile);
    std::printf("  ratio scan / bare walk: %.2f\n", scan / walk);
    std::printf("  ratio pass / bare walk: %.2f (goal: at most 1.3)\n", pass / walk);

    start = Clock::now();
    RemoveTree(source);
    CTVXCatalog().DeleteFiles();
    std::printf("  cleaned up in %.1f s\n", Seconds(start));
    return 0;
}

// ------------------------------------------------------------------ copy

struct CopySet {
    const wchar_t* folder;
    int folders;
    int filesPerFolder;
    std::uint64_t bytes;
};
constexpr CopySet kCopySets[] = {
    {L"Small", 20, 100, 16 * 1024},
    {L"Medium", 2, 100, 1024 * 1024},
    {L"Large", 1, 4, 200ull * 1024 * 1024},
};

// The source files, below the copy source, and their folders.
struct CopyTree {
    std::vector<std::wstring> folders;  // relative, parents first
    std::vector<std::wstring> files;    // relative
    std::uint64_t bytes = 0;
};

DWORD MakeCopyTree(const std::wstring& source, CopyTree& tree) {
    std::vector<std::uint32_t> buffer(256 * 1024);  // 1 MiB
    std::uint32_t serial = 0;
    if (!CreateDirectoryW(source.c_str(), nullptr)) return GetLastError();
    for (const CopySet& set : kCopySets) {
        tree.folders.push_back(std::wstring(L"\\") + set.folder);
        if (!CreateDirectoryW((source + tree.folders.back()).c_str(), nullptr)) return GetLastError();
        const std::wstring setFolder = tree.folders.back();
        for (int f = 0; f < set.folders; ++f) {
            wchar_t name[64];
            std::swprintf(name, 64, L"\\Part %02d", f);
            tree.folders.push_back(setFolder + name);
            const std::wstring folder = tree.folders.back();
            if (!CreateDirectoryW((source + folder).c_str(), nullptr)) return GetLastError();
            for (int i = 0; i < set.filesPerFolder; ++i, ++serial) {
                std::swprintf(name, 64, L"\\File %05u.dat", serial);
                tree.files.push_back(folder + name);
                if (const DWORD error = WriteTestFile(source + tree.files.back(), set.bytes, serial, buffer))
                    return error;
                tree.bytes += set.bytes;
            }
        }
    }
    return 0;
}

// Reads every byte once, so that each copy starts with the source cached.
void ReadTree(const std::wstring& source, const CopyTree& tree) {
    std::vector<char> buffer(1024 * 1024);
    for (const std::wstring& file : tree.files) {
        HANDLE h = CreateFileW((source + file).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (h == INVALID_HANDLE_VALUE) continue;
        DWORD read = 0;
        while (ReadFile(h, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) && read != 0) {
        }
        CloseHandle(h);
    }
}

int CopyBench(const std::wstring& root) {
    // The disk folder goes where TVX_BENCH_DISK_PARENT says (tools/bench-engine
    // mounts a tmpfs there when it can), else under /tmp.
    std::string parent = "/tmp";
    char named[512];
    const DWORD namedLength = GetEnvironmentVariableA("TVX_BENCH_DISK_PARENT", named, sizeof named);
    if (namedLength > 0 && namedLength < sizeof named) parent = named;
    std::string unixDisk = parent + "/tvx-bench-" + std::to_string(GetCurrentProcessId()) + "-disk";
    if (const DWORD error = tvx::testdisks::MakeDiskFolder(unixDisk, 0x7B3E0001, L"BENCH"))
        return Fail("cannot make the disk folder", error);
    if (const DWORD error = tvx::testdisks::InsertDisk(kDriveLetter, unixDisk)) {
        tvx::testdisks::DeleteDiskFolder(unixDisk);
        return Fail("cannot insert the disk", error);
    }
    struct DiskOut {
        std::string folder;
        ~DiskOut() {
            tvx::testdisks::RemoveDisk(kDriveLetter);
            tvx::testdisks::DeleteDiskFolder(folder);
        }
    } diskOut{unixDisk};

    const std::wstring source = root + L"\\copy";
    CopyTree tree;
    auto start = Clock::now();
    if (const DWORD error = MakeCopyTree(source, tree)) return Fail("cannot make the copy source", error);
    const double mib = static_cast<double>(tree.bytes) / (1024.0 * 1024.0);
    std::printf("copy: %zu files, %.1f MiB, onto a removable disk in E: (source made in %.1f s)\n", tree.files.size(),
                mib, Seconds(start));
    ReadTree(source, tree);

    // Where the engine puts the mirror copies: the source path below its drive, under E:.
    const std::wstring mirror = L"E:" + source.substr(2);
    const std::wstring mirrorTop = L"E:" + root.substr(2);
    const std::wstring baseline = L"E:\\CopyFileW";

    auto mirrorBytes = [](const std::wstring& folder) {
        WalkTotals totals;
        BareWalk(folder, totals);
        return totals;
    };

    WritePassSettings(source, 0);
    tvx::timeseam::SetDivisor(1000);  // the pass's 5 s and 1 s pauses become 5 ms and 1 ms
    tvx::CTVXMirrorController controller;
    tvx::media::CTVXDiskExchange diskExchange;

    std::vector<double> baseRuns, copyAllRuns, passRuns, scanRuns, secondRuns, milliRuns;
    long secondPolls = 0, milliPolls = 0;
    // Each run must leave every file with every byte; the copy then goes.
    auto checkAndRemove = [&](const std::wstring& copied, const std::wstring& remove, const char* less) -> int {
        const WalkTotals seen = mirrorBytes(copied);
        if (seen.files != tree.files.size() || seen.bytes != tree.bytes) return Fail(less);
        RemoveTree(remove);
        return 0;
    };
    // CopyFileW: folders made once each, then every file.
    auto baselineStep = [&]() -> int {
        auto start = Clock::now();
        CreateDirectoryW(baseline.c_str(), nullptr);
        for (const std::wstring& folder : tree.folders)
            if (!CreateDirectoryW((baseline + folder).c_str(), nullptr)) return Fail("CopyFileW: no folder", GetLastError());
        for (const std::wstring& file : tree.files)
            if (!CopyFileW((source + file).c_str(), (baseline + file).c_str(), FALSE))
                return Fail("CopyFileW failed", GetLastError());
        baseRuns.push_back(Seconds(start));
        return checkAndRemove(baseline, baseline, "CopyFileW copied less");
    };
    // CopyAll of the scan's list onto an empty catalogue; with the progress
    // window and its feeder polling every pollMs milliseconds when that is
    // not 0 (the window's start and end are not timed).
    auto copyAllStep = [&](DWORD pollMs, std::vector<double>& runs, long& polls) -> int {
        {
            CTVXCatalog().DeleteFiles();
            CTVXCatalog catalog;
            if (catalog.OpenOrReset() != 0) return Fail("cannot open the catalogue");
            tvx::engine::CTVXFolderScanner scanner;
            tvx::engine::CTVXChangedFileList list;
            auto start = Clock::now();
            scanner.Scan(source, kDestination, {}, catalog, list);
            if (pollMs == 0) scanRuns.push_back(Seconds(start));
            if (list.Count() != tree.files.size()) return Fail("the scan does not list every file");
            tvx::engine::CTVXCopyEngine engine(diskExchange);
            EngineProgress feed(engine);
            tvx::ui::CTVXProgressWindow progress;
            if (pollMs != 0) {
                tvx::timeseam::SetDivisor(1000 / pollMs);
                tvx::Flags().progressPercent.store(0);
                if (const DWORD error = progress.Start(feed)) return Fail("the progress window did not start", error);
            }
            std::uint64_t startStamp = 0;
            start = Clock::now();
            engine.CopyAll(list, kDestination, catalog, startStamp);
            catalog.Close();
            runs.push_back(Seconds(start));
            tvx::Flags().progressPercent.store(100);
            progress.Finish();
            tvx::timeseam::SetDivisor(1000);
            polls += feed.polls.load();
            if (engine.BytesCopied() != tree.bytes) return Fail("CopyAll copied less");
        }
        return checkAndRemove(mirror, mirrorTop, "CopyAll left less");
    };
    // The whole pass onto an empty catalogue.
    auto passStep = [&]() -> int {
        CTVXCatalog().DeleteFiles();
        tvx::settings::WriteStartTime(0);
        const auto start = Clock::now();
        const DWORD passed = controller.RunPass(0);
        passRuns.push_back(Seconds(start));
        if (passed != 0) return Fail("the pass failed", passed);
        return checkAndRemove(mirror, mirrorTop, "the pass left less");
    };
    // The file system is slower for whatever follows a gigabyte written and
    // deleted (its write-back and freeing go on): each run starts with
    // another of the five, so that each comes first twice.
    long ignoredPolls = 0;
    for (int run = 0; run < kCopyRuns; ++run) {
        for (int step = 0; step < 5; ++step) {
            int rc = 0;
            switch ((run + step) % 5) {
                case 0: rc = baselineStep(); break;
                case 1: rc = copyAllStep(0, copyAllRuns, ignoredPolls); break;
                case 2: rc = passStep(); break;
                case 3: rc = copyAllStep(1000, secondRuns, secondPolls); break;
                default: rc = copyAllStep(1, milliRuns, milliPolls); break;
            }
            if (rc != 0) return rc;
        }
        std::printf("  run %d: CopyFileW %.2f s, CopyAll %.2f s (after a scan of %.2f s), pass %.2f s, "
                    "CopyAll + progress %.2f s (1 s polls), %.2f s (1 ms polls)\n",
                    run + 1, baseRuns.back(), copyAllRuns.back(), scanRuns.back(), passRuns.back(),
                    secondRuns.back(), milliRuns.back());
    }

    const double base = Best(baseRuns), copyAll = Best(copyAllRuns), pass = Best(passRuns);
    const double second = Best(secondRuns), milli = Best(milliRuns);
    std::printf("  CopyFileW   %7.3f s  (%.0f MiB/s)\n", base, mib / base);
    std::printf("  CopyAll     %7.3f s  (%.0f MiB/s)\n", copyAll, mib / copyAll);
    std::printf("  pass        %7.3f s  (%.0f MiB/s)\n", pass, mib / pass);
    std::printf("  CopyAll + progress, 1 s polls   %7.3f s  (%.0f MiB/s; %ld feeder polls in %d runs)\n", second,
                mib / second, secondPolls, kCopyRuns);
    std::printf("  CopyAll + progress, 1 ms polls  %7.3f s  (%.0f MiB/s; %ld feeder polls in %d runs)\n", milli,
                mib / milli, milliPolls, kCopyRuns);
    std::printf("  (the pass's scan alone, empty catalogue: %.3f s, %.0f us per file)\n", Best(scanRuns),
                Best(scanRuns) * 1e6 / static_cast<double>(tree.files.size()));
    std::printf("  throughput ratio CopyAll / CopyFileW: %.2f\n", base / copyAll);
    std::printf("  throughput ratio pass / CopyFileW: %.2f (goal: at least 0.9)\n", base / pass);
    std::printf("  throughput ratio CopyAll + progress (1 s polls) / CopyFileW: %.2f\n", base / second);
    std::printf("  throughput ratio CopyAll + progress (1 ms polls) / CopyFileW: %.2f\n", base / milli);

    RemoveTree(source);
    CTVXCatalog().DeleteFiles();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    bool scan = false, copy = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "scan") == 0) {
            scan = true;
        } else if (std::strcmp(argv[i], "copy") == 0) {
            copy = true;
        } else {
            std::fprintf(stderr, "usage: engine_bench [scan] [copy]\n");
            return 2;
        }
    }
    if (!scan && !copy) scan = copy = true;

    const std::wstring root = L"C:\\tvx-bench-" + std::to_wstring(GetCurrentProcessId());
    if (!CreateDirectoryW(root.c_str(), nullptr)) return Fail("cannot make the bench folder", GetLastError());
    int rc = 0;
    if (scan) rc = ScanBench(root);
    if (copy && rc == 0) rc = CopyBench(root);
    RemoveTree(root);
    CTVXCatalog().DeleteFiles();
    tvx::settings::DeleteOptionsKey();
    return rc;
}
