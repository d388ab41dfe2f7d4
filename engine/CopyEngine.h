// The copy engine: copies the files of a changed-file list to the destination
// disk, oldest stamp first, under paths that mirror the source paths, with the
// source's bytes, attributes and three file times; keeps the replaced mirror
// copy as a numbered revision when the user asks for revisions; records every
// copy in the catalogue; and hands a full disk over to the disk-full exchange.
//
// Destination layout (root "E:", source "C:\My Documents\May.doc"):
//   mirror copy  E:\My Documents\May.doc
//   revisions    E:\Tavrix Dovetrak 3 Revisions\My Documents\May.(1).doc, May.(2).doc, ...
//
// Threads. Everything runs on the mirror worker, one CopyAll at a time,
// except Stop and the progress queries (GetCurrentSource,
// GetCurrentDestination, GetPercentDone, GetTotalBytes), which any thread may
// call. The two current paths are guarded by the engine's lock, held only
// while they are copied; the stop flag and the byte counts are atomics.
//
// A copy that fails or is stopped never leaves the mirror with less than it
// had: the new copy is written under a partial name beside its target and
// takes the target's place only when it is complete. Only when the volume
// has room for the new copy but not for both is the target overwritten in
// place; a stop then waits until that file is complete. A partial file never
// stays: it is created under a name no file has, and marked to be deleted
// when its handle closes until it takes its target's place.
//
// Stopping. Stop sets a flag that every loop of the engine looks at; it stays
// set until the caller clears it (ClearStop) before its next copy, so a stop
// that comes between the caller's start and CopyAll (or before the first
// file) is not lost.
//
// Free space. The volume is asked once when CopyAll starts (and after a disk
// exchange); each copy then takes its bytes, rounded up to whole clusters,
// from that figure (and gives back the old copy's whole clusters where their
// number was asked). The volume is asked again only when the figure comes
// within kFreeSpaceMargin of not holding the new copy (beside the old one,
// whose size is then asked too), and a copy made on the figure alone
// that fails with a full disk is made once more on the volume's own answer:
// so a full disk is found, and met, exactly as if the volume had been asked
// for every file (one query takes as long as copying a small file).
//
// A destination that goes away during the copy (the disk pulled out) ends the
// copy with one file error alert for the destination; the files not copied
// stay listed. Paths may be of any length the file system allows.
//
// Results are Windows error codes: 0 success, ERROR_OPERATION_ABORTED (995)
// after a stop.
#pragma once

#include "catalogue/Catalog.h"
#include "engine/ChangedFileList.h"
#include "engine/FileQueries.h"
#include "framework/Handle.h"
#include "media/DiskFullHandler.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

namespace tvx::engine {

inline constexpr DWORD kTransferBufferBytes = 256 * 1024;
inline constexpr DWORD kNoRevisions = 0;
inline constexpr DWORD kUnlimitedRevisions = 0xFFFFFFFF;
// String 57685: the revisions folder under the destination root.
inline constexpr const wchar_t* kRevisionsFolder = L"Tavrix Dovetrak 3 Revisions";
// A first revision name longer than this is not numbered (long-name alert).
inline constexpr std::size_t kLongestRevisionName = 254;
// The names under which copies are written until they are complete: the
// prefix, eight hex digits of a sequence, the suffix.
inline constexpr const wchar_t* kPartialCopyPrefix = L"~tvx-partial-";
inline constexpr const wchar_t* kPartialCopySuffix = L".tmp";
// How many names are tried for a partial file before the copy gives up.
inline constexpr unsigned kPartialNameAttempts = 16;
// How often one file may meet a full disk again right after an exchange
// answered that a disk with room is in, before the copy ends.
inline constexpr int kMostExchangesPerFile = 3;
// A copy this large or larger is always written under the partial name, and
// that file is hidden; a smaller copy into a free name is written under its
// own name.
inline constexpr std::uint64_t kLargeCopyBytes = 1024 * 1024;
// How close the free-space figure may come to not holding a new copy before
// the volume is asked again.
inline constexpr std::uint64_t kFreeSpaceMargin = 64ull * 1024 * 1024;

// Destination paths.
// "E:\" -> "E:", "E:\Backup\" -> "E:\Backup": one trailing backslash removed.
std::wstring DestinationRootOf(const std::wstring& destination);
// Root + the source path from its first backslash on (from its third
// character on when it has none): "C:\Notes.txt" under "E:" is "E:\Notes.txt".
std::wstring MirrorPathOf(const std::wstring& root, const std::wstring& source);
// The revisions folder + the mirror path without the root.
std::wstring RevisionBaseOf(const std::wstring& root, const std::wstring& source);
// "...\May.doc", 3 -> "...\May.(3).doc"; "...\Notes", 3 -> "...\Notes.(3)".
std::wstring RevisionNameOf(const std::wstring& base, std::uint32_t number);
// "...\May.doc" -> "...\May.(*).doc".
std::wstring RevisionPatternOf(const std::wstring& base);
// The number after the last ".(" of a file name; digits only, none gives 0.
std::uint32_t RevisionNumberOf(const std::wstring& fileName);

// The partial file a copy into `target` is written to at the given attempt
// (0 first): beside the target, the prefix, eight hex digits taken from the
// target's name and the attempt, the suffix. A name taken by another file is
// never used; the next attempt's is tried.
std::wstring PartialPathFor(const std::wstring& target, unsigned attempt);

// Whether a mirror copy holds the version of the source it would be made
// from: the same size, last-write time and creation time (a copy is given
// all three of its source's). The later of the two times alone is not
// enough: a file overwritten by an older document keeps its newer creation
// time.
bool IsSameVersion(const FILE_BASIC_INFO& source, std::uint64_t sourceSize, const WIN32_FILE_ATTRIBUTE_DATA& mirror);

class CTVXCopyEngine {
public:
    // Reads the disk start stamp from the settings and takes the transfer
    // buffer; without a buffer every copy fails with ERROR_NOT_ENOUGH_MEMORY.
    explicit CTVXCopyEngine(media::CTVXDiskFullHandler& diskFullHandler);
    // Writes the disk start stamp back when both its halves are nonzero.
    virtual ~CTVXCopyEngine();

    CTVXCopyEngine(const CTVXCopyEngine&) = delete;
    CTVXCopyEngine& operator=(const CTVXCopyEngine&) = delete;

    // kNoRevisions, kUnlimitedRevisions, or the number of revisions to keep.
    void SetRevisionLimit(DWORD limit) noexcept { m_revisionLimit = limit; }

    // Copies the list (which it orders, and clears at the end) to the
    // destination, recording each copy in the catalogue; raises the start
    // stamp to the newest stamp copied. A destination that cannot be made
    // raises the file error alert and copies nothing. Returns 0. The stop
    // flag is not cleared: a stop asked for before it copies nothing.
    DWORD CopyAll(CTVXChangedFileList& list, const std::wstring& destination, catalogue::CTVXCatalog& catalog,
                  std::uint64_t& startStamp);

    // Asks the running CopyAll (or the next one) to end at its next check;
    // the copy in progress ends with ERROR_OPERATION_ABORTED and leaves no
    // partial file (one written over its old copy in place is finished
    // first). Any thread may call it.
    void Stop() noexcept { m_stop.store(1); }
    // Takes a stop back, before a new pass: from here on, a stop counts.
    void ClearStop() noexcept { m_stop.store(0); }

    void GetCurrentSource(std::wstring& source) const;
    void GetCurrentDestination(std::wstring& destination) const;
    // 0 before any byte is copied; 99 when bytes were copied but the total is
    // 0; otherwise bytes copied * 100 / total, at most 100.
    int GetPercentDone() const noexcept;
    // The list's total bytes; 0 while no list is being copied.
    std::uint64_t GetTotalBytes() const noexcept;

    // Whether a stop was asked for since the last ClearStop.
    bool StopRequested() const noexcept { return m_stop.load() != 0; }

    std::uint64_t DiskStartStamp() const noexcept { return m_diskStartStamp; }
    std::uint64_t NewestCopiedStamp() const noexcept { return m_newestCopiedStamp; }
    std::uint64_t BytesCopied() const noexcept { return m_bytesCopied.load(); }

protected:
    // The steps of CopyAll, in the order it takes them. They use the list,
    // the catalogue and the destination root that CopyAll set.

    // Copy order: ascending by stamp, equal stamps in found order; files
    // larger than the whole medium are left out with the file-too-large alert.
    DWORD OrderByTime();
    // Copies the ordered entries, acting on each result (disk full: exchange
    // and again; lock and sharing errors: skip silently; others: file error
    // alert and skip); ends at a stop or a declined exchange; clears the list.
    DWORD CopyInOrder();
    // One entry: the source opened (and held to the end), its mirror folder,
    // then the copy, with a revision first when revisions are kept. record 1
    // for listed files (recorded and counted).
    // stamp: the source's stamp as read through its handle (or the folder's,
    // when the entry has become one); none when the source cannot be read.
    DWORD CopyEntry(const ChangedFile& entry, int record, std::optional<std::uint64_t>& stamp);
    // Bytes, attributes and times of source onto destination.
    DWORD CopyFileWithTimes(const std::wstring& source, const std::wstring& destination, int record);
    // Copies the mirror copy to its next revision number, deleting the oldest
    // revisions beyond the limit first.
    DWORD KeepRevision(const std::wstring& mirrorPath, const std::wstring& revisionBase);
    // Creates the folder and its missing parents; an existing one (or a drive
    // root) is success.
    DWORD EnsureFolder(const std::wstring& path);

    // The running free-space figure; kUnknownSpace when there is none.
    std::uint64_t FreeSpaceFigure() const noexcept { return m_freeSpace; }

private:
    void SetCurrent(const std::wstring& source, const std::wstring& destination);
    // A source opened for copying, with what its handle tells.
    struct SourceFile {
        UniqueHandle handle;
        FILE_BASIC_INFO info{};
        std::uint64_t size = 0;
    };
    static DWORD OpenSource(const std::wstring& path, SourceFile& file);
    // CopyFileWithTimes from an open source (read from where it stands).
    DWORD CopyOpenFile(SourceFile& file, const std::wstring& source, const std::wstring& destination, int record);
    // One attempt of CopyOpenFile. volumeOnly: ask the volume for its free
    // space, whatever the running figure says; estimated tells whether the
    // running figure decided.
    DWORD WriteCopy(const SourceFile& file, const std::wstring& source, const std::wstring& destination, int record,
                    bool volumeOnly, bool& estimated);
    // The read-write loop; ERROR_OPERATION_ABORTED when stoppable and stopped.
    DWORD Transfer(HANDLE source, HANDLE destination, int record, bool stoppable);
    // Raises the newest copied stamp (and a zero disk start stamp) after a
    // listed file was copied.
    void NoteCopied(std::uint64_t stamp);

    // Capacity, free space and cluster size of the destination volume, asked
    // of the volume.
    void AskVolume();
    // The free space to decide a copy of `needed` bytes by:
    // the running figure when it holds them with kFreeSpaceMargin to spare,
    // otherwise the volume's answer (which becomes the running figure).
    std::uint64_t FreeSpaceFor(const std::wstring& path, std::uint64_t needed, bool volumeOnly, bool& estimated);
    // A copy of `written` bytes replaced one of `replaced` bytes.
    void NoteSpaceUsed(std::uint64_t written, std::uint64_t replaced) noexcept;

    mutable SRWLOCK m_lock = SRWLOCK_INIT;  // guards the two current paths
    std::uint64_t m_diskStartStamp = 0;
    std::uint64_t m_newestCopiedStamp = 0;
    std::atomic<std::uint64_t> m_bytesCopied{0};
    DWORD m_revisionLimit = kNoRevisions;
    std::uint64_t m_capacity = 0;
    std::uint64_t m_freeSpace = kUnknownSpace;  // the running figure; kUnknownSpace: none
    std::uint64_t m_allocationUnit = 0;
    std::wstring m_destination;  // as CopyAll was given it, for alerts
    std::wstring m_destinationRoot;
    std::wstring m_currentDestination;
    std::wstring m_currentSource;
    std::atomic<LONG> m_stop{0};
    void* m_buffer = nullptr;  // kTransferBufferBytes, page-aligned for unbuffered reads
    media::CTVXDiskFullHandler& m_diskFullHandler;
    std::atomic<CTVXChangedFileList*> m_list{nullptr};
    catalogue::CTVXCatalog* m_catalog = nullptr;
};

}  // namespace tvx::engine
