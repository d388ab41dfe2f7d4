#include "catalogue/Catalog.h"

#include "catalogue/PathBytes.h"
#include "framework/Handle.h"
#include "framework/Trace.h"
#include "settings/Settings.h"
#include "storage/Endian.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace tvx::catalogue {
namespace {

using db::DbField;
using db::DbFieldInfo;
using db::DbTable;
using db::DbTagInfo;

constexpr DbFieldInfo kFilesFields[] = {
    {"ID", 'C', 4, 0, false},
    {"PATH", 'C', 240, 0, false},
    {"PATHEX", 'C', 22, 0, false},
    {nullptr, 0, 0, 0, false},
};
constexpr DbFieldInfo kDestsFields[] = {
    {"ID", 'C', 4, 0, false},
    {"PATH", 'C', 240, 0, false},
    {nullptr, 0, 0, 0, false},
};
constexpr DbFieldInfo kRevnsFields[] = {
    {"ID", 'C', 8, 0, false},
    {"MODDATE", 'C', 8, 0, false},
    {"ATTR", 'C', 4, 0, false},
    {nullptr, 0, 0, 0, false},
};
constexpr DbTagInfo kPathTag[] = {
    {"PATH_TAG", "PATH", nullptr, false, false},
    {nullptr, nullptr, nullptr, false, false},
};
constexpr DbTagInfo kIdTag[] = {
    {"ID_TAG", "ID", nullptr, false, false},
    {nullptr, nullptr, nullptr, false, false},
};

// Deleted in this order by DeleteFiles.
constexpr const wchar_t* kCatalogueFiles[] = {L"DESTS.CDX", L"DESTS.DBF", L"FILES.CDX",
                                              L"FILES.DBF", L"REVNS.CDX", L"REVNS.DBF"};

constexpr char kEndMarker = '?';

std::u16string_view Units(const std::wstring& text) {
    return std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size());
}

std::string Utf8(const std::wstring& text) { return ToStoredBytes(Units(text)); }

// Identities and times are raw little-endian bytes inside character fields.
std::uint32_t GetLe32(const char* p) { return db::endian::Le32(reinterpret_cast<const std::uint8_t*>(p)); }
void PutLe32(char* p, std::uint32_t v) { db::endian::PutLe32(reinterpret_cast<std::uint8_t*>(p), v); }

// The 8-byte REVNS key: destination identity, then file identity.
void PairKey(char* key, std::uint32_t file, std::uint32_t dest) {
    PutLe32(key, dest);
    PutLe32(key + 4, file);
}

// A text field's content up to its end marker (all of it when there is none).
std::string_view StoredText(DbField* field) {
    const char* text = field->Text();
    const char* end = std::strchr(text, kEndMarker);
    return end ? std::string_view(text, static_cast<std::size_t>(end - text)) : std::string_view(text);
}

// The identity for a new record: the last record's (in record order) + 1, or
// 1 in an empty table; 0 when there is none to give.
std::uint32_t NextIdentity(DbTable& table, DbField& id) {
    table.SelectTag(nullptr);
    const int last = table.Bottom();
    if (last == db::kEof) return 1;
    if (last != db::kOk) return 0;
    const std::uint32_t bottom = GetLe32(id.Ptr());
    return bottom == 0xFFFFFFFFu ? 0 : bottom + 1;
}

// The first position of a byte in [text, text + length), or length. Written
// out rather than left to the runtime's memchr, which under Wine goes byte by
// byte through a DLL call; eight bytes at a time here.
std::size_t FindByte(const char* text, std::size_t length, char byte) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    constexpr std::uint64_t kHighs = 0x8080808080808080ull;
    const std::uint64_t pattern = kOnes * static_cast<unsigned char>(byte);
    std::size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, text + i, 8);
        word ^= pattern;
        if ((word - kOnes) & ~word & kHighs) break;  // a zero byte: a match in this word
    }
    while (i < length && text[i] != byte) ++i;
    return i;
}

bool AllBlanks(const char* text, std::size_t length) {
    constexpr std::uint64_t kBlanks = 0x2020202020202020ull;
    std::size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, text + i, 8);
        if (word != kBlanks) return false;
    }
    for (; i < length; ++i)
        if (text[i] != ' ') return false;
    return true;
}

void CountRecovery(const wchar_t* counter) {
    DWORD value = 0;
    settings::ReadNumber(counter, value);
    settings::WriteNumber(counter, value + 1);
}

}  // namespace

CTVXCatalog::CTVXCatalog() { m_db.Setup(); }

CTVXCatalog::~CTVXCatalog() { Close(); }

std::wstring CTVXCatalog::ProgramFolder() {
    // Long enough for any module path, so that a deep install folder is not
    // cut to a wrong one.
    std::wstring module(32768, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, module.data(), static_cast<DWORD>(module.size()));
    if (n == 0 || n >= module.size()) return {};
    module.resize(n);
    std::wstring full(32768, L'\0');
    const DWORD f = GetFullPathNameW(module.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (f == 0 || f >= full.size()) return {};
    full.resize(f);
    const std::size_t slash = full.find_last_of(L'\\');
    if (slash == std::wstring::npos) return {};
    full.resize(slash);
    return full;
}

void CTVXCatalog::ForgetCopies() noexcept {
    m_copies.Clear();
    m_copiesLoaded = false;
    m_lastDest.clear();
    m_lastDestId = 0;
}

void CTVXCatalog::ForgetPaths() noexcept {
    m_paths.Clear();
    m_pathsState = PathsState::NotRead;
}

void CTVXCatalog::ClearHandles() noexcept {
    ForgetCopies();
    ForgetPaths();
    m_files = m_dests = m_revns = nullptr;
    m_filesPathTag = m_destsPathTag = m_revnsIdTag = nullptr;
    m_filesId = m_filesPath = m_filesPathEx = nullptr;
    m_destsId = m_destsPath = nullptr;
    m_revnsId = m_revnsModDate = m_revnsAttr = nullptr;
}

// ------------------------------------------------------------- open, close

int CTVXCatalog::Open() {
    if (m_open) return CAT_ALREADY_OPEN;
    ForgetCopies();
    ForgetPaths();
    const std::wstring folder = ProgramFolder();
    m_db.accessMode = 1;               // no other process shares the tables
    m_db.openErrorIsError = false;     // a missing file reports "not opened"
    m_db.createRefusesExisting = false;

    bool filesRepaired = false, filesCreated = false;
    int rc = OpenOrCreateTable(folder + L"\\Files", kFilesFields, kPathTag, kFilesEmptySize, kFilesRecordLength,
                               m_files, filesRepaired, filesCreated);
    if (rc != 0) return rc;
    m_filesId = m_files->Field("ID");
    m_filesPath = m_files->Field("PATH");
    m_filesPathEx = m_files->Field("PATHEX");
    m_filesPathTag = m_files->Tag("PATH_TAG");
    // A table without its tag would answer every look-up with a new record:
    // treated like a missing field, so that the catalogue is made anew.
    if (!m_filesId || !m_filesPath || !m_filesPathEx || !m_filesPathTag) return -1;

    bool destsRepaired = false, destsCreated = false;
    rc = OpenOrCreateTable(folder + L"\\Dests", kDestsFields, kPathTag, kDestsEmptySize, kDestsRecordLength,
                           m_dests, destsRepaired, destsCreated);
    if (rc != 0) return rc;
    m_destsId = m_dests->Field("ID");
    m_destsPath = m_dests->Field("PATH");
    m_destsPathTag = m_dests->Tag("PATH_TAG");
    if (!m_destsId || !m_destsPath || !m_destsPathTag) return -1;

    bool revnsRepaired = false, revnsCreated = false;
    rc = OpenOrCreateTable(folder + L"\\Revns", kRevnsFields, kIdTag, kRevnsEmptySize, kRevnsRecordLength, m_revns,
                           revnsRepaired, revnsCreated);
    if (rc != 0) return rc;
    m_revnsId = m_revns->Field("ID");
    m_revnsModDate = m_revns->Field("MODDATE");
    m_revnsAttr = m_revns->Field("ATTR");
    m_revnsIdTag = m_revns->Tag("ID_TAG");
    if (!m_revnsId || !m_revnsModDate || !m_revnsAttr || !m_revnsIdTag) return -1;

    m_open = 1;
    if (filesRepaired) {
        PurgeRecordsOfLostFiles();
        m_files->Reindex();
        CountRecovery(settings::kDBSyncFiles);
    } else if (filesCreated && !revnsCreated) {
        // FILES made anew beside kept copy records: their file identities now
        // name nothing, and new files would take them over with another
        // file's time and attributes (a wrong "skip"). They go.
        PurgeRecordsOfLostFiles();
    }
    if (destsRepaired) {
        PurgeRecordsOfLostDests();
        m_dests->Reindex();
        CountRecovery(settings::kDBSyncDests);
    } else if (destsCreated && !revnsCreated) {
        PurgeRecordsOfLostDests();
    }
    // REVNS's index may still hold the key of a record the repair cut off;
    // once a new record takes that number, a seek for the old key would
    // find the new record's time and attributes. The index is rebuilt.
    if (revnsRepaired) m_revns->Reindex();
    return 0;
}

int CTVXCatalog::OpenOrCreateTable(const std::wstring& base, const DbFieldInfo* fields, const DbTagInfo* tags,
                                   std::uint64_t emptySize, std::uint32_t recordLength, DbTable*& table,
                                   bool& repaired, bool& created) {
    repaired = created = false;
    RepairRecordCount(base + L".DBF", emptySize, recordLength, repaired);
    const std::string name = Utf8(base);
    table = DbTable::Open(m_db, name.c_str());
    const int code = m_db.ErrorCode();
    m_db.SetErrorCode(0);
    if (code == db::kNotOpened) {
        table = DbTable::Create(m_db, name.c_str(), fields, tags);
        created = true;
        const int result = m_db.ErrorCode();
        if (result == 0 && !table) return db::kErrCreate;
        return result;
    }
    if (code == 0 && !table) return db::kErrOpen;
    return code;
}

// The stored record count set to the number of whole records the file holds,
// and the file made to end right after them with the end-of-file byte, as a
// sound table does (a partial record left by an interrupted append is
// dropped; it was never counted). A file shorter than an empty table holds no
// count worth repairing: it is left alone, and the open that follows reports
// it as damaged.
void CTVXCatalog::RepairRecordCount(const std::wstring& file, std::uint64_t emptySize, std::uint32_t recordLength,
                                    bool& repaired) {
    UniqueHandle handle(CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle) return;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handle.Get(), &size) || size.QuadPart < 0) return;
    const auto bytes = static_cast<std::uint64_t>(size.QuadPart);
    if (bytes < emptySize) return;
    // Header length = empty size - 1 (the end-of-file byte). Counting whole
    // records after the header gives the same number as (size - empty) /
    // record for a file that ends with its end-of-file byte, and does not
    // drop the last record of a file whose end-of-file byte is missing.
    const std::uint64_t headerLength = emptySize - 1;
    const std::uint64_t whole = (bytes - headerLength) / recordLength;
    const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(whole, 0xFFFFFFFEu));
    const std::uint64_t end = headerLength + std::uint64_t{count} * recordLength;

    auto readAt = [&](std::uint64_t offset, void* into, DWORD n) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD done = 0;
        return ReadFile(handle.Get(), into, n, &done, &at) && done == n;
    };
    auto writeAt = [&](std::uint64_t offset, const void* from, DWORD n) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD done = 0;
        return WriteFile(handle.Get(), from, n, &done, &at) && done == n;
    };

    unsigned char stored[4];
    if (!readAt(4, stored, 4)) return;
    const std::uint32_t current = GetLe32(reinterpret_cast<const char*>(stored));

    unsigned char last = 0;
    const bool endsRight = bytes == end + 1 && readAt(end, &last, 1) && last == 0x1A;
    if (!endsRight) {
        const unsigned char endOfFile = 0x1A;
        LARGE_INTEGER cut{};
        cut.QuadPart = static_cast<LONGLONG>(end + 1);
        if (!writeAt(end, &endOfFile, 1) || !SetFilePointerEx(handle.Get(), cut, nullptr, FILE_BEGIN) ||
            !SetEndOfFile(handle.Get()))
            return;
    }
    if (current == count) return;
    char fresh[4];
    PutLe32(fresh, count);
    if (writeAt(4, fresh, 4)) {
        repaired = true;
        Trace(L"catalogue: record count of %ls set from %u to %u", file.c_str(), current, count);
    }
}

int CTVXCatalog::OpenOrReset() {
    const int rc = Open();
    if (rc == 0 || rc == CAT_ALREADY_OPEN) return rc;
    Trace(L"catalogue: open failed (%d); deleting and creating it anew", rc);
    m_db.SetErrorCode(0);
    m_db.CloseAll();
    m_db.Release();
    ClearHandles();
    DeleteFiles();
    m_db.SetErrorCode(0);
    const int again = Open();
    CountRecovery(settings::kDBReset);
    return again;
}

int CTVXCatalog::Close() {
    if (!m_open) {
        // Tables a failed open left open are closed too, so that they do not
        // stay locked until the next reset.
        if (m_files || m_dests || m_revns) {
            const int saved = m_db.SetErrorCode(0);
            m_db.CloseAll();
            m_db.SetErrorCode(saved);
            ClearHandles();
        }
        return 0;
    }
    m_open = 0;
    const int rc = m_db.CloseAll();
    ClearHandles();
    if (rc != 0) return rc;
    m_db.Release();
    return 0;
}

int CTVXCatalog::DeleteFiles() {
    if (m_open) return CAT_STILL_OPEN;
    const std::wstring folder = ProgramFolder();
    for (const wchar_t* name : kCatalogueFiles) {
        const std::wstring path = folder + L"\\" + name;
        if (!DeleteFileW(path.c_str())) {
            const DWORD error = GetLastError();
            if (error != ERROR_FILE_NOT_FOUND) return static_cast<int>(error);
        }
    }
    return 0;
}

// ----------------------------------------------------------- identities

// A pass asks for the same destination with every file: the last one asked
// for is remembered by its name as given.
std::uint32_t CTVXCatalog::DestIdentity(const std::wstring& destination) {
    if (m_lastDestId != 0 && destination == m_lastDest) return m_lastDestId;
    const std::uint32_t id = FindOrAddDest(Utf8(destination));
    if (id != 0) {
        m_lastDest = destination;
        m_lastDestId = id;
    }
    return id;
}

std::uint32_t CTVXCatalog::FindOrAddDest(const std::string& destination) {
    if (destination.size() > kDestinationBytes) return 0;
    m_key.assign(destination);
    m_key.push_back(kEndMarker);
    m_dests->SelectTag(m_destsPathTag);
    const int found = m_dests->Seek(m_key.c_str());
    if (found == db::kOk) return GetLe32(m_destsId->Ptr());
    if (found < 0) return 0;

    const std::uint32_t id = NextIdentity(*m_dests, *m_destsId);
    if (id == 0) return 0;
    char idBytes[4];
    PutLe32(idBytes, id);
    if (m_dests->AppendStart() != 0) return 0;
    m_dests->Blank();
    if (m_destsPath->AssignBytes(m_key.data(), m_key.size()) != 0) return 0;
    if (m_destsId->AssignBytes(idBytes, 4) != 0) return 0;
    if (m_dests->Append() != 0) return 0;
    return id;
}

std::uint32_t CTVXCatalog::FindOrAddFile(const std::string& path) {
    // Checked before anything is assigned: a record that cannot be stored is
    // never started.
    if (path.size() > kPathHeadBytes + kPathOverflowBytes) return 0;
    const std::size_t overflowLength = path.size() > kPathHeadBytes ? path.size() - kPathHeadBytes : 0;
    const std::string_view overflow(path.data(), overflowLength);
    m_key.assign(path, overflowLength, std::string::npos);
    m_key.push_back(kEndMarker);

    // Neither the end marker nor a zero byte can occur in a Windows path; a
    // path that holds one anyway is looked up and recorded through the index
    // alone.
    if (path.find_first_of(std::string_view("?\0", 2)) != std::string::npos) {
        ForgetPaths();
        m_pathsState = PathsState::Unusable;
    }
    if (m_pathsState == PathsState::NotRead) ReadPaths();
    if (m_pathsState == PathsState::Read) {
        std::uint32_t known = 0;
        if (m_paths.Find(path, known)) return known;
    } else {
        m_files->SelectTag(m_filesPathTag);
        int rc = m_files->Seek(m_key.c_str());
        while (rc == db::kOk) {
            if (StoredText(m_filesPathEx) == overflow) return GetLe32(m_filesId->Ptr());
            rc = m_files->SeekNext(m_key.c_str());
        }
        if (rc < 0) return 0;
    }

    const std::uint32_t id = NextIdentity(*m_files, *m_filesId);
    if (id == 0) return 0;
    std::string extension(overflow);
    extension.push_back(kEndMarker);
    char idBytes[4];
    PutLe32(idBytes, id);
    const bool appended = [&] {
        if (m_files->AppendStart() != 0) return false;
        m_files->Blank();
        return m_filesPath->AssignBytes(m_key.data(), m_key.size()) == 0 &&
               m_filesPathEx->AssignBytes(extension.data(), extension.size()) == 0 &&
               m_filesId->AssignBytes(idBytes, 4) == 0 && m_files->Append() == 0;
    }();
    if (!appended) {
        // What became of the record is not known: the next look-up reads again.
        if (m_pathsState == PathsState::Read) ForgetPaths();
        return 0;
    }
    if (m_pathsState == PathsState::Read && !m_paths.Add(path, id)) ForgetPaths();
    return id;
}

// Reads the identity of every FILES record that a seek by path can find. The
// seek matches the key "<last 239 bytes>?" as a prefix of the PATH field and
// then compares PATHEX up to its marker; a record the program wrote holds
// exactly that, with blanks after the marker and the head cut where the path
// is cut. Records that no seek can find (no marker, or a head cut anywhere
// else) are left out. A marker followed by anything but blanks (a damaged
// record) would make the index's order among equal heads differ from the
// record order kept here: the table is then not used, and every look-up goes
// to the index as before.
void CTVXCatalog::ReadPaths() {
    m_paths.Clear();
    m_pathsState = PathsState::Unusable;
    m_files->SelectTag(nullptr);
    const std::size_t records = m_files->RecordCount();
    try {
        m_paths.Reserve(records, records * 64);
    } catch (const std::bad_alloc&) {
        return;  // the index answers
    }
    std::string full;
    int rc = m_files->Top();
    for (; rc == db::kOk; rc = m_files->Skip(1)) {
        const char* field = m_filesPath->Ptr();
        const std::size_t length = m_filesPath->Length();
        const std::size_t headLength = FindByte(field, length, kEndMarker);
        if (headLength == length) continue;
        if (!AllBlanks(field + headLength + 1, length - headLength - 1)) {
            m_paths.Clear();
            return;
        }
        const char* extra = m_filesPathEx->Ptr();
        const std::size_t extraLength = m_filesPathEx->Length();
        // PATHEX as the seek compares it: up to its marker or a zero byte.
        const std::size_t overflowLength =
            std::min(FindByte(extra, extraLength, kEndMarker), FindByte(extra, extraLength, '\0'));
        if (overflowLength != 0 && headLength != kPathHeadBytes) continue;
        std::string_view path(field, headLength);
        if (overflowLength != 0) {
            full.assign(extra, overflowLength);
            full.append(field, headLength);
            path = full;
        }
        if (!m_paths.Add(path, GetLe32(m_filesId->Ptr()))) {
            m_paths.Clear();
            return;
        }
    }
    if (rc < 0) {
        m_paths.Clear();
        return;
    }
    m_pathsState = PathsState::Read;
}

// ---------------------------------------------------------- copy records

int CTVXCatalog::GetCopyRecord(std::uint32_t file, std::uint32_t dest, std::uint64_t& lastWrite,
                               DWORD& attributes) {
    if (file == 0) return CAT_NO_IDENTITY;
    if ((m_copiesLoaded && m_copiesDest == dest) || LoadCopies(dest)) {
        const CopyRecordTable::Record* found = m_copies.Find(file);
        if (!found) return db::kEof;
        lastWrite = found->lastWrite;
        attributes = found->attributes;
        return 0;
    }
    const int rc = SeekCopyRecord(file, dest);
    if (rc != 0) return rc;
    const char* time = m_revnsModDate->Ptr();
    lastWrite = std::uint64_t{GetLe32(time + 4)} << 32 | GetLe32(time);
    attributes = GetLe32(m_revnsAttr->Ptr());
    return 0;
}

// Makes the pair's copy record current in REVNS; 0 when there is one.
int CTVXCatalog::SeekCopyRecord(std::uint32_t file, std::uint32_t dest) {
    char key[8];
    PairKey(key, file, dest);
    m_revns->SelectTag(m_revnsIdTag);
    return m_revns->SeekBytes(key, sizeof key);
}

// Reads every copy record of the destination in record order. Where a pair
// occurs twice the seek by key would find the one with the lower record
// number, and so does the map (the first one stays). False when the walk
// fails; the look-ups then go to the index.
bool CTVXCatalog::LoadCopies(std::uint32_t dest) {
    m_copies.Clear();
    m_copiesLoaded = false;
    m_revns->SelectTag(nullptr);
    try {
        m_copies.Reserve(m_revns->RecordCount());
        int rc = m_revns->Top();
        for (; rc == db::kOk; rc = m_revns->Skip(1)) {
            const char* key = m_revnsId->Ptr();
            if (GetLe32(key) != dest) continue;
            const char* time = m_revnsModDate->Ptr();
            m_copies.Put(GetLe32(key + 4),
                         {std::uint64_t{GetLe32(time + 4)} << 32 | GetLe32(time), GetLe32(m_revnsAttr->Ptr())}, false);
        }
        if (rc < 0) {
            m_copies.Clear();
            return false;
        }
    } catch (const std::bad_alloc&) {
        m_copies.Clear();
        return false;
    }
    m_copiesDest = dest;
    m_copiesLoaded = true;
    return true;
}

int CTVXCatalog::PutCopyRecord(std::uint32_t file, std::uint32_t dest, std::uint64_t lastWrite, DWORD attributes) {
    char key[8], time[8], attr[4];
    PairKey(key, file, dest);
    PutLe32(time, static_cast<std::uint32_t>(lastWrite));
    PutLe32(time + 4, static_cast<std::uint32_t>(lastWrite >> 32));
    PutLe32(attr, attributes);

    // The remembered copy records follow what is written; on any failure
    // they are dropped and read again when next needed.
    bool remembered = m_copiesLoaded && m_copiesDest == dest;
    if (remembered) {
        try {
            m_copies.Put(file, {lastWrite, attributes}, true);
        } catch (const std::bad_alloc&) {
            ForgetCopies();
            remembered = false;
        }
    }
    const int rc = PutCopyRecordInTable(key, time, attr);
    if (rc != 0 && remembered) ForgetCopies();
    return rc;
}

int CTVXCatalog::PutCopyRecordInTable(const char* key, const char* time, const char* attr) {
    m_revns->SelectTag(m_revnsIdTag);
    const int found = m_revns->SeekBytes(key, 8);
    if (found < 0) return found;
    if (found == db::kOk) {
        // Written back when the position next moves or the table closes.
        if (int rc = m_revnsAttr->AssignBytes(attr, 4); rc != 0) return rc;
        return m_revnsModDate->AssignBytes(time, 8);
    }
    m_revns->SelectTag(nullptr);
    if (int rc = m_revns->AppendStart(); rc != 0) return rc;
    m_revns->Blank();
    if (int rc = m_revnsId->AssignBytes(key, 8); rc != 0) return rc;
    if (int rc = m_revnsAttr->AssignBytes(attr, 4); rc != 0) return rc;
    if (int rc = m_revnsModDate->AssignBytes(time, 8); rc != 0) return rc;
    return m_revns->Append();
}

int CTVXCatalog::RecordCopy(const std::wstring& source, const std::wstring& destination, DWORD attributes,
                            std::uint64_t lastWrite) {
    if (!m_open) return CAT_NOT_OPEN;
    ToStoredBytes(Units(source), m_pathBytes);
    const std::uint32_t file = FindOrAddFile(m_pathBytes);
    const std::uint32_t dest = DestIdentity(destination);
    if (file == 0 || dest == 0) return CAT_NO_IDENTITY;
    return PutCopyRecord(file, dest, lastWrite, attributes);
}

int CTVXCatalog::IsUpToDate(const std::wstring& source, const std::wstring& destination, DWORD attributes,
                            std::uint64_t lastWrite, int& needsCopy) {
    needsCopy = 1;
    if (!m_open) return CAT_NOT_OPEN;
    // A file or destination seen for the first time is added here already.
    ToStoredBytes(Units(source), m_pathBytes);
    const std::uint32_t file = FindOrAddFile(m_pathBytes);
    const std::uint32_t dest = DestIdentity(destination);
    std::uint64_t recordedTime = 0;
    DWORD recordedAttributes = 0;
    if (GetCopyRecord(file, dest, recordedTime, recordedAttributes) == 0 && recordedAttributes == attributes &&
        recordedTime == lastWrite)
        needsCopy = 0;
    return 0;
}

// ------------------------------------------------------------ clean-ups

int CTVXCatalog::PruneMissingSources() {
    if (!m_open) return 0;
    ForgetCopies();
    ForgetPaths();
    // Destinations do not change during the prune: their identities are read once.
    std::vector<std::uint32_t> dests;
    m_dests->SelectTag(nullptr);
    for (int rc = m_dests->Top(); rc == db::kOk; rc = m_dests->Skip(1)) dests.push_back(GetLe32(m_destsId->Ptr()));

    m_files->SelectTag(nullptr);
    std::u16string units;
    std::string full;
    for (int rc = m_files->Top(); rc == db::kOk; rc = m_files->Skip(1)) {
        full.assign(StoredText(m_filesPathEx));
        full.append(StoredText(m_filesPath));
        bool exists = false;
        if (FromStoredBytes(full, units)) {
            const std::wstring wide(units.begin(), units.end());
            exists = GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES;
        }
        if (exists) continue;
        const std::uint32_t file = GetLe32(m_filesId->Ptr());
        for (const std::uint32_t dest : dests) {
            if (SeekCopyRecord(file, dest) == 0) m_revns->MarkDeleted();
        }
        m_files->MarkDeleted();
    }
    m_files->Pack();
    m_revns->Pack();
    return 0;
}

int CTVXCatalog::PurgeRecordsOfLostFiles() { return PurgeRecordsOfLost(m_files, m_filesId, true); }

int CTVXCatalog::PurgeRecordsOfLostDests() { return PurgeRecordsOfLost(m_dests, m_destsId, false); }

// A copy record survives when its owner is found by walking the owner table
// in record order up to the first identity not below the one sought: equal
// means found. The walk for each record is answered at once from the running
// maximum of the identities (the first record whose identity is not below F
// is the first place where the running maximum reaches F), which gives the
// same answer as the walk even for identities out of order, in n log n.
int CTVXCatalog::PurgeRecordsOfLost(DbTable* owners, DbField* ownerId, bool fileHalf) {
    ForgetCopies();
    std::vector<std::uint32_t> ids;
    owners->SelectTag(nullptr);
    for (int rc = owners->Top(); rc == db::kOk; rc = owners->Skip(1)) ids.push_back(GetLe32(ownerId->Ptr()));
    std::vector<std::uint32_t> runningMax(ids.size());
    std::uint32_t highest = 0;
    for (std::size_t i = 0; i < ids.size(); ++i) runningMax[i] = highest = std::max(highest, ids[i]);

    m_revns->SelectTag(nullptr);
    int rc = m_revns->Top();
    if (rc < 0) return rc;
    bool marked = false;
    for (; rc == db::kOk; rc = m_revns->Skip(1)) {
        const char* key = m_revnsId->Ptr();
        const std::uint32_t owner = GetLe32(fileHalf ? key + 4 : key);
        const auto at = std::lower_bound(runningMax.begin(), runningMax.end(), owner);
        const bool found = at != runningMax.end() && ids[static_cast<std::size_t>(at - runningMax.begin())] == owner;
        if (!found) {
            m_revns->MarkDeleted();
            marked = true;
        }
    }
    if (rc < 0) return rc;
    if (marked) return m_revns->Pack();
    return 0;
}

}  // namespace tvx::catalogue
