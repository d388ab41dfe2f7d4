#include "engine/CopyEngine.h"

#include "engine/Alerts.h"
#include "framework/Handle.h"
#include "framework/Trace.h"
#include "media/Volume.h"
#include "settings/Settings.h"

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <vector>

namespace tvx::engine {
namespace {

// The attributes a file can be given by CreateFileW and SetFileAttributesW
// (and FileBasicInfo);
// the others (directory, sparse, compressed, encrypted, ...) describe how the
// source is stored, not what the copy should be.
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                      FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                                      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

DWORD LastError() {
    const DWORD error = ::GetLastError();
    return error != 0 ? error : ERROR_GEN_FAILURE;
}

// The attribute word as the catalogue keeps it: FILE_ATTRIBUTE_NORMAL is 0.
DWORD RecordedAttributes(DWORD attributes) { return attributes == FILE_ATTRIBUTE_NORMAL ? 0 : attributes; }

DWORD AttributesForCopy(DWORD attributes) {
    const DWORD settable = attributes & kSettableAttributes;
    return settable != 0 ? settable : FILE_ATTRIBUTE_NORMAL;
}

std::wstring FolderOf(const std::wstring& path) {
    const std::size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? path : path.substr(0, slash);
}

// The source path from its first backslash on; from its third character on
// when it has none.
std::wstring PathBelowDrive(const std::wstring& source) {
    const std::size_t slash = source.find(L'\\');
    if (slash != std::wstring::npos) return source.substr(slash);
    return source.size() > 2 ? source.substr(2) : std::wstring();
}

bool IsDiskFull(DWORD result) { return result == ERROR_DISK_FULL || result == ERROR_HANDLE_DISK_FULL; }

// Results that mean "in use or already there, or stopped": the file is tried
// again at the next pass without bothering the user.
bool IsSilentSkip(DWORD result) {
    switch (result) {
        case ERROR_LOCK_VIOLATION:
        case ERROR_DRIVE_LOCKED:
        case ERROR_POSSIBLE_DEADLOCK:
        case ERROR_LOCK_FAILED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
        case ERROR_TOO_MANY_OPEN_FILES:
        case ERROR_OPERATION_ABORTED: return true;
        default: return false;
    }
}

// Opens a file for a sequential, unbuffered read. Sharing nothing comes
// first, so that nobody changes the file while it is copied; a file that
// others hold open is still read when they allow it.
UniqueHandle OpenForCopy(const std::wstring& path, DWORD& error) {
    constexpr DWORD kShareModes[] = {0, FILE_SHARE_READ, FILE_SHARE_READ | FILE_SHARE_WRITE};
    for (DWORD share : kShareModes) {
        UniqueHandle file(::CreateFileW(ExtendedPath(path).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_NO_BUFFERING, nullptr));
        if (file) {
            error = 0;
            return file;
        }
        error = LastError();
        if (error != ERROR_SHARING_VIOLATION) break;  // another share mode changes nothing
    }
    return UniqueHandle();
}

// Creates the target of a copy under its own name, writing over the file
// there (`replaced` tells whether there was one). A free name is created new:
// emptying an existing file first (CREATE_ALWAYS) makes some file systems
// write all of the new data out when the file is closed (ext4 does, for files
// replaced by truncation), and the copy waits for it. Only an existing file is
// written over. A read-only file, and a hidden or system one whose flags the
// new attributes do not repeat, cannot be: on access denied its attributes
// are cleared and that is tried once more. (Clearing them first would cost
// an attribute change for every copy, as much as copying a small file.)
UniqueHandle CreateForCopy(const std::wstring& path, DWORD attributes, DWORD& error, bool& replaced) {
    const std::wstring name = ExtendedPath(path);
    UniqueHandle file;
    auto create = [&](DWORD disposition) {
        file.Attach(::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, disposition, attributes, nullptr));
        error = file ? 0 : LastError();
        return file.IsValid();
    };
    replaced = false;
    if (create(CREATE_NEW) || (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)) return file;
    replaced = true;
    if (create(CREATE_ALWAYS) || error != ERROR_ACCESS_DENIED) return file;
    const DWORD refused = error;
    if (!::SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL)) {
        error = refused;
        return file;
    }
    create(CREATE_ALWAYS);
    return file;
}

// Marks an open file to be deleted when its last handle closes (true), or
// takes that mark back (false).
bool SetDeleteOnClose(HANDLE file, bool remove) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = remove ? TRUE : FALSE;
    return ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

// Creates the file a copy is written into beside its target, under a name
// of its own: created new, so that a file already there under that name (a
// user's file that happens to be called so, or anything else) is never
// written over or deleted; a taken name makes the next one be tried. While
// it is written the file is marked to be deleted when its handle closes, so
// that not even a crash of the program leaves it behind; the mark is taken
// back just before the file takes its target's place. DELETE
// access lets it be marked and renamed through its handle.
UniqueHandle CreatePartial(const std::wstring& target, DWORD attributes, std::wstring& partial, DWORD& error,
                           bool& marked) {
    for (unsigned attempt = 0; attempt < kPartialNameAttempts; ++attempt) {
        partial = PartialPathFor(target, attempt);
        if (::CompareStringOrdinal(partial.c_str(), -1, target.c_str(), -1, TRUE) == CSTR_EQUAL) continue;
        UniqueHandle file(::CreateFileW(ExtendedPath(partial).c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
                                        CREATE_NEW, attributes, nullptr));
        if (file) {
            // Where the mark cannot be set (a file system without it), the
            // file is deleted by name after a failure, as any other.
            marked = SetDeleteOnClose(file.Get(), true);
            error = 0;
            return file;
        }
        error = LastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
    return UniqueHandle();
}

// Moves an open file (opened with DELETE access) to `target`, replacing
// the file there; the handle stays open on the moved file.
DWORD RenameOver(HANDLE file, const std::wstring& target) {
    const std::wstring destination = ExtendedPath(target);
    const std::size_t nameBytes = destination.size() * sizeof(wchar_t);
    // FILE_RENAME_INFO ends in a one-character name; the rest follows it.
    std::vector<std::uint64_t> buffer((sizeof(FILE_RENAME_INFO) + nameBytes) / sizeof(std::uint64_t) + 1);
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(nameBytes);
    std::copy(destination.begin(), destination.end(), rename->FileName);
    rename->FileName[destination.size()] = L'\0';
    if (!::SetFileInformationByHandle(file, FileRenameInfo, rename,
                                      static_cast<DWORD>(buffer.size() * sizeof(std::uint64_t))))
        return LastError();
    return 0;
}

std::uint64_t StampOf(const FILE_BASIC_INFO& info) {
    const auto created = static_cast<std::uint64_t>(info.CreationTime.QuadPart);
    const auto written = static_cast<std::uint64_t>(info.LastWriteTime.QuadPart);
    return created > written ? created : written;
}

std::uint64_t SizeOf(const WIN32_FILE_ATTRIBUTE_DATA& data) {
    return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

// A folder creation that fails because the folder is there already (or is a
// drive root, which Windows refuses with access denied) succeeds.
DWORD CreateOneFolder(std::wstring path) {
    if (path.size() == 2 && path[1] == L':') path.push_back(L'\\');  // "E:" would be E:'s current folder
    path = ExtendedPath(path);
    if (::CreateDirectoryW(path.c_str(), nullptr)) return 0;
    const DWORD error = LastError();
    if (error == ERROR_ALREADY_EXISTS) return 0;
    if (error == ERROR_ACCESS_DENIED && ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return 0;
    return error;
}

// Deletes a file the copy made, read-only or not.
void DeleteCopy(const std::wstring& path) {
    const std::wstring name = ExtendedPath(path);
    ::SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(name.c_str());
}

std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b) { return a + b < a ? kUnknownSpace : a + b; }

// The cluster size assumed where the volume does not tell its own: larger
// than that of most volumes, so that the free-space figure errs on the small
// side.
constexpr std::uint64_t kAssumedAllocationUnit = 64 * 1024;

}  // namespace

// ---------------------------------------------------------------- paths

std::wstring DestinationRootOf(const std::wstring& destination) {
    if (!destination.empty() && destination.back() == L'\\') return destination.substr(0, destination.size() - 1);
    return destination;
}

std::wstring MirrorPathOf(const std::wstring& root, const std::wstring& source) {
    return root + PathBelowDrive(source);
}

std::wstring RevisionBaseOf(const std::wstring& root, const std::wstring& source) {
    return root + L"\\" + kRevisionsFolder + PathBelowDrive(source);
}

namespace {

// The base with ".(" tag ")" before the extension of its file name.
std::wstring WithRevisionTag(const std::wstring& base, const std::wstring& tag) {
    const std::size_t nameStart = base.rfind(L'\\') == std::wstring::npos ? 0 : base.rfind(L'\\') + 1;
    const std::size_t dot = base.rfind(L'.');
    const std::wstring mark = L".(" + tag + L")";
    if (dot == std::wstring::npos || dot < nameStart) return base + mark;
    return base.substr(0, dot) + mark + base.substr(dot);
}

}  // namespace

std::wstring RevisionNameOf(const std::wstring& base, std::uint32_t number) {
    return WithRevisionTag(base, std::to_wstring(number));
}

std::wstring RevisionPatternOf(const std::wstring& base) { return WithRevisionTag(base, L"*"); }

std::wstring PartialPathFor(const std::wstring& target, unsigned attempt) {
    // FNV-1a over the target's name and the attempt: the same target meets
    // the same names, in the same order, every time.
    const std::size_t slash = target.rfind(L'\\');
    std::uint32_t hash = 2166136261u;
    auto mix = [&hash](std::uint32_t value) {
        for (int i = 0; i < 4; ++i, value >>= 8) hash = (hash ^ (value & 0xFF)) * 16777619u;
    };
    for (std::size_t i = slash == std::wstring::npos ? 0 : slash + 1; i < target.size(); ++i) mix(target[i]);
    mix(attempt);
    wchar_t digits[9];
    std::swprintf(digits, 9, L"%08x", static_cast<unsigned>(hash));
    return FolderOf(target) + L"\\" + kPartialCopyPrefix + digits + kPartialCopySuffix;
}

bool IsSameVersion(const FILE_BASIC_INFO& source, std::uint64_t sourceSize, const WIN32_FILE_ATTRIBUTE_DATA& mirror) {
    return SizeOf(mirror) == sourceSize &&
           FileTimeValue(mirror.ftLastWriteTime) == static_cast<std::uint64_t>(source.LastWriteTime.QuadPart) &&
           FileTimeValue(mirror.ftCreationTime) == static_cast<std::uint64_t>(source.CreationTime.QuadPart);
}

std::uint32_t RevisionNumberOf(const std::wstring& fileName) {
    const std::size_t open = fileName.rfind(L".(");
    if (open == std::wstring::npos) return 0;
    std::uint32_t number = 0;
    for (std::size_t i = open + 2; i < fileName.size() && fileName[i] >= L'0' && fileName[i] <= L'9'; ++i)
        number = number * 10 + static_cast<std::uint32_t>(fileName[i] - L'0');
    return number;
}

// ---------------------------------------------------------------- engine

CTVXCopyEngine::CTVXCopyEngine(media::CTVXDiskFullHandler& diskFullHandler) : m_diskFullHandler(diskFullHandler) {
    settings::ReadDiskStartTime(m_diskStartStamp);
    // Page-aligned, which satisfies the sector alignment of unbuffered reads.
    m_buffer = ::VirtualAlloc(nullptr, kTransferBufferBytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!m_buffer) Trace(L"copy: no transfer buffer (error %lu)", ::GetLastError());
}

CTVXCopyEngine::~CTVXCopyEngine() {
    if ((m_diskStartStamp & 0xFFFFFFFFull) != 0 && (m_diskStartStamp >> 32) != 0)
        settings::WriteDiskStartTime(m_diskStartStamp);
    if (m_buffer) ::VirtualFree(m_buffer, 0, MEM_RELEASE);
}

void CTVXCopyEngine::GetCurrentSource(std::wstring& source) const {
    ::AcquireSRWLockShared(&m_lock);
    source = m_currentSource;
    ::ReleaseSRWLockShared(&m_lock);
}

void CTVXCopyEngine::GetCurrentDestination(std::wstring& destination) const {
    ::AcquireSRWLockShared(&m_lock);
    destination = m_currentDestination;
    ::ReleaseSRWLockShared(&m_lock);
}

void CTVXCopyEngine::SetCurrent(const std::wstring& source, const std::wstring& destination) {
    // The texts are made outside the lock, so that it is held only for swaps.
    std::wstring newSource = source, newDestination = destination;
    ::AcquireSRWLockExclusive(&m_lock);
    m_currentSource.swap(newSource);
    m_currentDestination.swap(newDestination);
    ::ReleaseSRWLockExclusive(&m_lock);
}

std::uint64_t CTVXCopyEngine::GetTotalBytes() const noexcept {
    const CTVXChangedFileList* list = m_list.load();
    return list ? list->TotalBytes() : 0;
}

int CTVXCopyEngine::GetPercentDone() const noexcept {
    const std::uint64_t copied = m_bytesCopied.load();
    if (copied == 0) return 0;
    const std::uint64_t total = GetTotalBytes();
    if (total == 0) return 99;
    // copied * 100 would overflow only beyond 2^64 / 100 bytes.
    const std::uint64_t percent = copied <= ~0ull / 100 ? copied * 100 / total : copied / (total / 100 + 1);
    return percent > 100 ? 100 : static_cast<int>(percent);
}

DWORD CTVXCopyEngine::CopyAll(CTVXChangedFileList& list, const std::wstring& destination,
                              catalogue::CTVXCatalog& catalog, std::uint64_t& startStamp) {
    if (destination.empty()) return 0;
    // The stop flag is left as it is: a stop asked for since the caller
    // cleared it (ClearStop) ends this copy at once.
    m_destination = destination;
    if (const DWORD error = EnsureFolder(destination)) {
        // A drive without its disk says so rather than "path not found".
        const DWORD volume = media::CheckVolumeReady(destination);
        RaiseAlert(kFileErrorAlert, destination, volume != 0 ? volume : error);
        return 0;
    }
    m_bytesCopied.store(0);
    m_catalog = &catalog;
    m_list.store(&list);
    m_destinationRoot = DestinationRootOf(destination);
    AskVolume();

    OrderByTime();
    CopyInOrder();

    if (startStamp < m_newestCopiedStamp) startStamp = m_newestCopiedStamp;
    m_list.store(nullptr);
    m_catalog = nullptr;
    return 0;
}

DWORD CTVXCopyEngine::OrderByTime() {
    CTVXChangedFileList& list = *m_list.load();
    // Equivalent to inserting each entry after every earlier entry whose
    // stamp is not later than its own, in n log n.
    std::vector<std::uint32_t> order;
    order.reserve(list.Count());
    for (std::uint32_t i = 0; i < list.Count() && !StopRequested(); ++i) {
        const ChangedFile& entry = list.Entry(i);
        if (GetFileSize(entry.path) <= m_capacity)
            order.push_back(i);
        else
            RaiseAlert(kFileTooLargeAlert, entry.path);  // never fits: left out
    }
    std::stable_sort(order.begin(), order.end(), [&list](std::uint32_t a, std::uint32_t b) {
        return list.Entry(a).stamp < list.Entry(b).stamp;
    });
    list.SetOrder(std::move(order));
    return 0;
}

void CTVXCopyEngine::NoteCopied(std::uint64_t stamp) {
    if (stamp > m_newestCopiedStamp) m_newestCopiedStamp = stamp;
    if (m_diskStartStamp == 0) m_diskStartStamp = m_newestCopiedStamp;
}

void CTVXCopyEngine::AskVolume() {
    if (!GetVolumeSpace(m_destinationRoot, m_freeSpace, m_capacity)) m_freeSpace = m_capacity = kUnknownSpace;
    m_allocationUnit = GetAllocationUnit(m_destinationRoot);
    if (m_allocationUnit == 0) m_allocationUnit = kAssumedAllocationUnit;
}

std::uint64_t CTVXCopyEngine::FreeSpaceFor(const std::wstring& path, std::uint64_t needed, bool volumeOnly,
                                           bool& estimated) {
    // kUnknownSpace is also what a volume that cannot be asked answers: it
    // is then asked for every copy, and every copy is tried.
    estimated = !volumeOnly && m_freeSpace != kUnknownSpace && m_freeSpace >= SaturatingAdd(needed, kFreeSpaceMargin);
    if (!estimated) m_freeSpace = GetFreeSpace(path);
    return m_freeSpace;
}

void CTVXCopyEngine::NoteSpaceUsed(std::uint64_t written, std::uint64_t replaced) noexcept {
    if (m_freeSpace == kUnknownSpace) return;
    // Taken in whole clusters, given back only for whole clusters.
    const std::uint64_t unit = m_allocationUnit;
    const std::uint64_t taken = written / unit * unit + (written % unit != 0 ? unit : 0);
    const std::uint64_t free = m_freeSpace + replaced / unit * unit;
    m_freeSpace = free > taken ? free - taken : 0;
}

DWORD CTVXCopyEngine::CopyInOrder() {
    CTVXChangedFileList& list = *m_list.load();
    DWORD result = 0;
    for (std::uint32_t k = 0; k < list.OrderCount() && result == 0 && !StopRequested(); ++k) {
        const ChangedFile entry = list.EntryAt(k);
        for (int exchanges = 0;;) {
            std::optional<std::uint64_t> stamp;
            const DWORD copy = CopyEntry(entry, 1, stamp);
            if (copy == 0) {
                if (stamp) NoteCopied(*stamp);
            } else if (IsDiskFull(copy)) {
                // The exchange answers 0 only with a disk that has room; a
                // file that still does not fit after that many answers (an
                // exchange that could not ask, another program filling the
                // new disk) ends the copy instead of being tried for ever.
                if (exchanges == kMostExchangesPerFile) {
                    Trace(L"copy: %ls still does not fit after %d disk exchanges; copy ends", entry.path.c_str(),
                          exchanges);
                    result = copy;
                    break;
                }
                ++exchanges;
                const DWORD answer =
                    m_diskFullHandler.DiskFullExchange(m_diskStartStamp, m_newestCopiedStamp, GetFileSize(entry.path),
                                                       m_destinationRoot, m_bytesCopied.load());
                if (answer != 0) {
                    result = answer;
                } else {
                    // A disk with room is in: its first file sets its start stamp.
                    m_diskStartStamp = 0;
                    AskVolume();
                    if (!StopRequested()) continue;  // the same file again
                }
            } else if (!IsSilentSkip(copy)) {
                // A destination that went away (the disk pulled out, the
                // drive unplugged) fails every file that follows: the copy
                // ends with one alert for the destination, and the files not
                // copied stay listed for the next pass.
                if (const DWORD gone = media::CheckVolumeReady(m_destinationRoot)) {
                    RaiseAlert(kFileErrorAlert, m_destination, gone);
                    result = gone;
                } else {
                    RaiseAlert(kFileErrorAlert, entry.path, copy);
                }
            }
            break;
        }
    }
    list.Clear();
    return result;
}

DWORD CTVXCopyEngine::OpenSource(const std::wstring& path, SourceFile& file) {
    DWORD error = 0;
    file.handle = OpenForCopy(path, error);
    if (!file.handle) return error;
    // Times and attributes through the handle; size likewise. (The older
    // GetFileInformationByHandle also asks for the volume's serial number,
    // which can cost a hundred times more.)
    LARGE_INTEGER size{};
    if (!::GetFileInformationByHandleEx(file.handle.Get(), FileBasicInfo, &file.info, sizeof file.info) ||
        !::GetFileSizeEx(file.handle.Get(), &size))
        return LastError();
    file.size = static_cast<std::uint64_t>(size.QuadPart);
    return 0;
}

DWORD CTVXCopyEngine::CopyEntry(const ChangedFile& entry, int record, std::optional<std::uint64_t>& stamp) {
    const std::wstring& source = entry.path;
    stamp.reset();
    // The source is held from here to the end, so that the revision and the
    // copy are of one version, and a file in use makes no revision.
    SourceFile file;
    if (const DWORD error = OpenSource(source, file)) {
        if (error == ERROR_SHARING_VIOLATION) return error;
        WIN32_FILE_ATTRIBUTE_DATA data{};
        // Gone since the scan, or a folder: nothing to copy.
        if (!::GetFileAttributesExW(ExtendedPath(source).c_str(), GetFileExInfoStandard, &data)) return 0;
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return error;
        stamp = FileStampOf(data.ftCreationTime, data.ftLastWriteTime);
        return 0;
    }
    stamp = StampOf(file.info);
    if (file.info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) return 0;  // a folder that let itself be opened

    const std::wstring mirrorPath = MirrorPathOf(m_destinationRoot, source);
    if (const DWORD error = EnsureFolder(FolderOf(mirrorPath))) return error;
    if (m_revisionLimit == kNoRevisions) return CopyOpenFile(file, source, mirrorPath, record);

    const std::wstring revisionBase = RevisionBaseOf(m_destinationRoot, source);
    EnsureFolder(FolderOf(revisionBase));  // a failure shows when the revision is written
    bool estimated = false;
    if (FreeSpaceFor(revisionBase, file.size, false, estimated) < file.size) return ERROR_DISK_FULL;

    // No mirror copy yet (the revision then finds nothing to keep), or one
    // of another version: a revision first, then the copy.
    WIN32_FILE_ATTRIBUTE_DATA mirror{};
    bool current = false;
    if (::GetFileAttributesExW(ExtendedPath(mirrorPath).c_str(), GetFileExInfoStandard, &mirror))
        current = IsSameVersion(file.info, file.size, mirror);
    else if (const DWORD error = LastError(); error != ERROR_FILE_NOT_FOUND)
        return error;
    if (!current) {
        const DWORD kept = KeepRevision(mirrorPath, revisionBase);
        // A full disk goes to the exchange; a mirror copy in use is tried
        // again at the next pass, as is everything after a stop.
        if (IsDiskFull(kept) || IsSilentSkip(kept)) return kept;
        // A revision that cannot be made (a name the disk does not take, a
        // mirror copy that cannot be read) must not keep the new version off
        // the disk for ever: the user hears of it, and the mirror copy is
        // brought up to date all the same.
        if (kept != 0 && kept != ERROR_FILE_NOT_FOUND) RaiseAlert(kFileErrorAlert, revisionBase, kept);
        return CopyOpenFile(file, source, mirrorPath, record);
    }

    // The mirror copy is this version already (the catalogue was emptied
    // since, for instance): only the copy record is missing.
    m_catalog->RecordCopy(source, m_destinationRoot, RecordedAttributes(file.info.FileAttributes),
                          static_cast<std::uint64_t>(file.info.LastWriteTime.QuadPart));
    return 0;
}

DWORD CTVXCopyEngine::CopyFileWithTimes(const std::wstring& source, const std::wstring& destination, int record) {
    SourceFile file;
    if (const DWORD error = OpenSource(source, file)) {
        SetCurrent(source, destination);
        return error;
    }
    return CopyOpenFile(file, source, destination, record);
}

DWORD CTVXCopyEngine::CopyOpenFile(SourceFile& file, const std::wstring& source, const std::wstring& destination,
                                   int record) {
    SetCurrent(source, destination);
    const std::uint64_t counted = m_bytesCopied.load();
    bool estimated = false;
    DWORD result = WriteCopy(file, source, destination, record, false, estimated);
    if (IsDiskFull(result) && estimated) {
        // The running figure was wrong (something else wrote to the disk, or
        // the file system keeps more per file than it allows for): the copy
        // is decided again on the volume's answer, as it would have been
        // without a figure, and its bytes are counted once.
        m_bytesCopied.store(counted);
        const LARGE_INTEGER start{};
        if (!::SetFilePointerEx(file.handle.Get(), start, nullptr, FILE_BEGIN)) return LastError();
        result = WriteCopy(file, source, destination, record, true, estimated);
    }
    return result;
}

DWORD CTVXCopyEngine::WriteCopy(const SourceFile& file, const std::wstring& source, const std::wstring& destination,
                                int record, bool volumeOnly, bool& estimated) {
    const std::uint64_t sourceSize = file.size;
    // When the running figure has room for the new copy with the margin to
    // spare, the copy goes beside the old one whatever that one's size, so
    // the target is not asked about (a query of a name that is not there
    // may cost a listing of the whole folder). Otherwise the old copy's
    // size and the volume's free space decide.
    std::uint64_t oldSize = 0;
    bool targetFound = false;
    std::uint64_t freeSpace = FreeSpaceFor(destination, sourceSize, volumeOnly, estimated);
    if (!estimated) {
        WIN32_FILE_ATTRIBUTE_DATA old{};
        targetFound = ::GetFileAttributesExW(ExtendedPath(destination).c_str(), GetFileExInfoStandard, &old) != 0;
        if (targetFound) oldSize = SizeOf(old);
    }
    if (SaturatingAdd(freeSpace, oldSize) < sourceSize) {
        if (m_capacity >= sourceSize) return ERROR_DISK_FULL;
        // Larger than the whole medium: skipped as if copied, never recorded.
        RaiseAlert(kFileTooLargeAlert, source);
        return 0;
    }
    if (!m_buffer) return ERROR_NOT_ENOUGH_MEMORY;

    // How the copy is written:
    //  kNewName   under the target's own name, which was free: a failure or
    //             a stop deletes it, and the mirror had nothing there;
    //  kPartial   beside the target under a partial name, moved over the
    //             target when complete: a failure or a stop leaves the old
    //             copy as it was;
    //  kOverwrite over the old copy in place, when the volume has room for
    //             the new copy but not for both: the old bytes are gone from
    //             the first block on, so a stop waits until the file is
    //             complete (only a failure can lose the old copy then).
    enum class Way { kNewName, kPartial, kOverwrite };
    Way way = Way::kNewName;
    bool marked = false;  // the partial file goes when its handle closes
    DWORD result = 0;
    std::wstring target = destination;
    UniqueHandle out;
    const DWORD attributes = AttributesForCopy(file.info.FileAttributes);
    // A small copy into a free name is written under that name: there is
    // no copy to replace, a failure deletes it, and it is done within
    // milliseconds. That spares the rename, which under Wine costs as much
    // as copying a small file. Whether the name is free shows when the file
    // is created new; when it is not (or the creation fails otherwise), the
    // copy takes the way of every other.
    if (freeSpace >= sourceSize && sourceSize < kLargeCopyBytes && !targetFound)
        out.Attach(::CreateFileW(ExtendedPath(destination).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out && freeSpace >= sourceSize) {
        way = Way::kPartial;
        // The partial file of a large copy is hidden until it takes the
        // target's place: it is there long enough to be seen. A small copy's
        // partial file lives for milliseconds, and hiding it would cost more
        // than the copy itself under Wine, which keeps the flag in an
        // extended attribute written with the new file (about 50 us per file).
        const DWORD partialAttributes = sourceSize >= kLargeCopyBytes ? FILE_ATTRIBUTE_HIDDEN : FILE_ATTRIBUTE_NORMAL;
        out = CreatePartial(destination, partialAttributes, target, result, marked);
        if (!out) return result;
    } else if (!out) {
        bool replaced = false;
        out = CreateForCopy(destination, attributes, result, replaced);
        if (!out) return result;
        if (replaced) way = Way::kOverwrite;
    }

    const bool stoppable = way != Way::kOverwrite;
    if (!stoppable || !StopRequested()) result = Transfer(file.handle.Get(), out.Get(), record, stoppable);
    if (stoppable && StopRequested()) result = ERROR_OPERATION_ABORTED;
    bool moved = false;
    if (result == 0 && way == Way::kPartial) {
        // The copy is complete: it is kept from here on, and takes the
        // target's place.
        if (marked && !SetDeleteOnClose(out.Get(), false)) result = LastError();
        if (result == 0) result = RenameOver(out.Get(), destination);
        // Windows does not let a rename replace a read-only file: the flag
        // goes and the rename is tried once more. (Asking first would cost a
        // query for every copy.)
        if (result == ERROR_ACCESS_DENIED) {
            const std::wstring name = ExtendedPath(destination);
            const DWORD oldAttributes = ::GetFileAttributesW(name.c_str());
            if (oldAttributes != INVALID_FILE_ATTRIBUTES && (oldAttributes & FILE_ATTRIBUTE_READONLY) &&
                ::SetFileAttributesW(name.c_str(), AttributesForCopy(oldAttributes & ~FILE_ATTRIBUTE_READONLY)))
                result = RenameOver(out.Get(), destination);
        }
        moved = result == 0;
    }
    if (result == 0) {
        // The three times and the final attributes in one call, once the copy
        // is in the target's place (so that it is hidden until then). Nothing
        // is written after it, so the times stay as set.
        FILE_BASIC_INFO basic = file.info;
        basic.ChangeTime.QuadPart = 0;  // 0: the file system's own
        basic.FileAttributes = attributes;
        if (!::SetFileInformationByHandle(out.Get(), FileBasicInfo, &basic, sizeof basic)) result = LastError();
    }
    out.Close();

    if (result != 0) {
        // Bytes were written and maybe freed: the volume is asked next time.
        m_freeSpace = kUnknownSpace;
        // A moved copy holds every byte; it is not recorded, so the next
        // pass copies the file again. Anything else goes (a partial file
        // still marked is gone with its handle already).
        if (!moved) DeleteCopy(target);
        return result;
    }
    NoteSpaceUsed(sourceSize, oldSize);
    if (record)
        m_catalog->RecordCopy(source, m_destinationRoot, RecordedAttributes(file.info.FileAttributes),
                              static_cast<std::uint64_t>(file.info.LastWriteTime.QuadPart));
    return 0;
}

DWORD CTVXCopyEngine::Transfer(HANDLE source, HANDLE destination, int record, bool stoppable) {
    auto* buffer = static_cast<BYTE*>(m_buffer);
    for (;;) {
        if (stoppable && StopRequested()) return ERROR_OPERATION_ABORTED;
        DWORD read = 0;
        // Whole buffers keep every unbuffered read at a sector boundary; the
        // last one simply returns fewer bytes.
        if (!::ReadFile(source, buffer, kTransferBufferBytes, &read, nullptr)) return LastError();
        if (read == 0) return 0;
        for (DWORD done = 0; done < read;) {
            DWORD written = 0;
            if (!::WriteFile(destination, buffer + done, read - done, &written, nullptr)) return LastError();
            // A full volume may take part of a block and then nothing.
            if (written == 0) return ERROR_DISK_FULL;
            done += written;
            if (record) m_bytesCopied.fetch_add(written);
        }
    }
}

DWORD CTVXCopyEngine::KeepRevision(const std::wstring& mirrorPath, const std::wstring& revisionBase) {
    std::vector<std::uint32_t> numbers;
    WIN32_FIND_DATAW data{};
    UniqueFindHandle find(::FindFirstFileExW(ExtendedPath(RevisionPatternOf(revisionBase)).c_str(), FindExInfoBasic, &data,
                                             FindExSearchNameMatch, nullptr, 0));
    for (bool more = find.IsValid(); more && !StopRequested(); more = ::FindNextFileW(find.Get(), &data) != 0) {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) numbers.push_back(RevisionNumberOf(data.cFileName));
    }
    find.Close();

    std::wstring name;
    if (numbers.empty()) {
        name = RevisionNameOf(revisionBase, 1);
        if (name.size() > kLongestRevisionName) {
            // Too long to number: one revision under the plain name.
            RaiseAlert(kLongNameAlert, name);
            name = revisionBase;
        }
    } else {
        std::sort(numbers.begin(), numbers.end());
        const std::uint32_t lowest = numbers.front();
        const std::uint32_t highest = numbers.back();
        // The numbers count as consecutive: gaps are revisions deleted before.
        const std::uint32_t count = highest - lowest + 1;
        if (m_revisionLimit != kUnlimitedRevisions && count >= m_revisionLimit) {
            // Delete the oldest until one fewer than the limit remain; of
            // those numbers only the ones found exist.
            const std::uint64_t firstKept = std::uint64_t{lowest} + (count - m_revisionLimit) + 1;
            for (std::uint32_t number : numbers) {
                if (number >= firstKept || StopRequested()) break;
                // A failure does not keep the new revision from being made.
                DeleteCopy(RevisionNameOf(revisionBase, number));
            }
        }
        name = RevisionNameOf(revisionBase, highest + 1);
    }
    return CopyFileWithTimes(mirrorPath, name, 0);
}

DWORD CTVXCopyEngine::EnsureFolder(const std::wstring& path) {
    // Nearly always the folder is there (each file asks for its own): one
    // creation tells, and the path is walked from its root only when that
    // fails, with the walk's answer.
    if (!StopRequested() && CreateOneFolder(path) == 0) return 0;
    // Prefixes inside the volume root ("E:", "\\server\share") are not
    // folders that can be made.
    const std::size_t rootLength = VolumeRootOf(path).size();
    for (std::size_t slash = path.find(L'\\'); slash != std::wstring::npos; slash = path.find(L'\\', slash + 1)) {
        if (StopRequested()) return ERROR_OPERATION_ABORTED;
        if (slash < rootLength) continue;
        if (const DWORD error = CreateOneFolder(path.substr(0, slash))) return error;
    }
    return CreateOneFolder(path);
}

}  // namespace tvx::engine
