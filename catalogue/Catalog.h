// The catalogue: what the mirror engine has copied, per source file and
// destination, in three tables of the table storage in the program folder.
//
//   FILES  ID C4 | PATH C240 | PATHEX C22   tag PATH_TAG on PATH    one record per source file
//   DESTS  ID C4 | PATH C240                tag PATH_TAG on PATH    one record per destination
//   REVNS  ID C8 | MODDATE C8 | ATTR C4     tag ID_TAG on ID        one copy record per (file, destination)
//
// Identities are unsigned 32-bit numbers stored as 4 raw bytes, least
// significant first; a new record takes the last record's identity + 1 (1 in
// an empty table), so identities ascend in record order. A REVNS ID is the
// destination identity in bytes 0-3 and the file identity in bytes 4-7.
// MODDATE is the source's last-write file time (low word first) and ATTR its
// attribute word (0x80 stored as 0), both as they were at the copy.
//
// Paths are stored as UTF-8 bytes (PathBytes.h) with the end marker "?"; a
// field is read up to its first "?", so trailing blanks of a path survive and
// a seek for "path?" never lands on a longer path with the same start. A
// source path of more than 239 bytes keeps its last 239 bytes in PATH and the
// rest (at most 21 bytes) in PATHEX; the full path is PATHEX + PATH.
//
// Self-repair: before a table is opened its record count is set from the
// file size; a repaired FILES or DESTS gets its orphaned copy records purged
// and its index rebuilt. A table whose index is missing is created anew. A
// catalogue that cannot be opened at all is deleted and created empty. The
// counters "DBSyncFiles", "DBSyncDests" and "DBReset" of the options key count
// these recoveries.
//
// Not thread-safe: one thread at a time (the storage's field text buffer is
// shared by every table).
#pragma once

#include "catalogue/CopyRecordTable.h"
#include "catalogue/PathIdTable.h"
#include "storage/Db.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tvx::catalogue {

inline constexpr int CAT_ALREADY_OPEN = 115;
inline constexpr int CAT_NOT_OPEN = 7001;
inline constexpr int CAT_NO_IDENTITY = 7003;
inline constexpr int CAT_STILL_OPEN = 7004;

// The catalogue's fixed table shapes: empty file size and record length.
inline constexpr std::uint64_t kFilesEmptySize = 130;
inline constexpr std::uint32_t kFilesRecordLength = 267;
inline constexpr std::uint64_t kDestsEmptySize = 98;
inline constexpr std::uint32_t kDestsRecordLength = 245;
inline constexpr std::uint64_t kRevnsEmptySize = 130;
inline constexpr std::uint32_t kRevnsRecordLength = 21;

// Byte limits of stored paths (without the end marker).
inline constexpr std::size_t kPathHeadBytes = 239;
inline constexpr std::size_t kPathOverflowBytes = 21;
inline constexpr std::size_t kDestinationBytes = 239;

class CTVXCatalog {
public:
    CTVXCatalog();
    ~CTVXCatalog();
    CTVXCatalog(const CTVXCatalog&) = delete;
    CTVXCatalog& operator=(const CTVXCatalog&) = delete;

    // Open; on any failure but "already open" close everything, delete the
    // six files, count "DBReset" and open once more.
    int OpenOrReset();
    int Open();
    int Close();
    // Deletes the six files; only while closed.
    int DeleteFiles();
    // Drops the records of source files that no longer exist.
    int PruneMissingSources();
    int RecordCopy(const std::wstring& source, const std::wstring& destination, DWORD attributes,
                   std::uint64_t lastWrite);
    // needsCopy: 1 copy, 0 the file is as it was at its last copy.
    int IsUpToDate(const std::wstring& source, const std::wstring& destination, DWORD attributes,
                   std::uint64_t lastWrite, int& needsCopy);

    bool IsOpen() const noexcept { return m_open != 0; }

    // The folder of the running executable, without a trailing backslash;
    // empty when it cannot be had.
    static std::wstring ProgramFolder();

private:
    std::uint32_t FindOrAddFile(const std::string& path);
    std::uint32_t FindOrAddDest(const std::string& destination);
    std::uint32_t DestIdentity(const std::wstring& destination);
    int GetCopyRecord(std::uint32_t file, std::uint32_t dest, std::uint64_t& lastWrite, DWORD& attributes);
    int PutCopyRecord(std::uint32_t file, std::uint32_t dest, std::uint64_t lastWrite, DWORD attributes);
    int PutCopyRecordInTable(const char* key, const char* time, const char* attr);
    int SeekCopyRecord(std::uint32_t file, std::uint32_t dest);
    int PurgeRecordsOfLostFiles();
    int PurgeRecordsOfLostDests();
    int PurgeRecordsOfLost(db::DbTable* owners, db::DbField* ownerId, bool fileHalf);
    int OpenOrCreateTable(const std::wstring& base, const db::DbFieldInfo* fields, const db::DbTagInfo* tags,
                          std::uint64_t emptySize, std::uint32_t recordLength, db::DbTable*& table,
                          bool& repaired, bool& created);
    static void RepairRecordCount(const std::wstring& file, std::uint64_t emptySize, std::uint32_t recordLength,
                                  bool& repaired);
    void ClearHandles() noexcept;
    // The copy records of one destination, read once per open catalogue.
    bool LoadCopies(std::uint32_t dest);
    void ForgetCopies() noexcept;
    // Every FILES path with its identity, read once per open catalogue.
    void ReadPaths();
    void ForgetPaths() noexcept;

    int m_open = 0;
    db::DbContext m_db;

    db::DbTable* m_files = nullptr;
    db::DbTag* m_filesPathTag = nullptr;
    db::DbField* m_filesId = nullptr;
    db::DbField* m_filesPath = nullptr;
    db::DbField* m_filesPathEx = nullptr;

    db::DbTable* m_dests = nullptr;
    db::DbTag* m_destsPathTag = nullptr;
    db::DbField* m_destsId = nullptr;
    db::DbField* m_destsPath = nullptr;

    db::DbTable* m_revns = nullptr;
    db::DbTag* m_revnsIdTag = nullptr;
    db::DbField* m_revnsId = nullptr;
    db::DbField* m_revnsModDate = nullptr;
    db::DbField* m_revnsAttr = nullptr;

    std::string m_key;        // reused for seek keys
    std::string m_pathBytes;  // reused for the stored form of a source path

    // A pass asks for the copy record of every file of its sources for one
    // destination. The REVNS key puts the destination first and the file
    // identity least significant byte first, so those look-ups land on pages
    // all over its index; the records of that destination are therefore read
    // once, in record order, and answered from memory while the catalogue is
    // open. Kept up to date by PutCopyRecord; dropped by anything else that
    // changes REVNS and by Close.
    CopyRecordTable m_copies;
    std::uint32_t m_copiesDest = 0;
    bool m_copiesLoaded = false;
    // FILES's paths and identities, read at the first look-up and kept up to
    // date by FindOrAddFile; not used when FILES holds a record a seek would
    // order differently, or after a path with the end marker was looked up.
    enum class PathsState { NotRead, Read, Unusable };
    PathIdTable m_paths;
    PathsState m_pathsState = PathsState::NotRead;
    // The last destination looked up and its identity (0: none).
    std::wstring m_lastDest;
    std::uint32_t m_lastDestId = 0;
};

}  // namespace tvx::catalogue
