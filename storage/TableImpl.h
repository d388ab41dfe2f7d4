// An open table: file, header values, fields, index, position and record
// buffer. DbTable forwards to it.
#pragma once

#include "storage/BufferedFile.h"
#include "storage/Context.h"
#include "storage/Db.h"

#include <memory>
#include <string>
#include <vector>

namespace tvx::db {

class CdxIndex;

class TableImpl {
public:
    TableImpl(DbContext& context, DbTable& self);
    ~TableImpl();

    static DbTable* Create(DbContext& context, const char* name, const DbFieldInfo* fields, const DbTagInfo* tags);
    static DbTable* Open(DbContext& context, const char* name);

    // Record the error in the context and return it.
    int Fail(int code, int where);
    bool Pending() const noexcept { return m_context.state().error < 0; }

    // Field access for expressions and field handles.
    int FieldCountConst() const noexcept { return static_cast<int>(m_fields.size()); }
    const DbField& FieldConst(int i) const { return *m_fields[static_cast<std::size_t>(i)]; }
    unsigned FieldOffset(int i) const { return m_fields[static_cast<std::size_t>(i)]->m_offset; }
    DbField* FieldByName(const char* name);
    DbField* FieldAt(int i);
    std::uint8_t* Buffer() noexcept { return m_buffer.data(); }
    void MarkChanged() noexcept { m_changed = true; }

    // Positioning (results 0, 3, 4 or an error).
    int Top();
    int Bottom();
    int GoToExtreme(bool first);
    int Skip(long count);
    int Go(std::uint32_t record);
    int Seek(const void* bytes, std::size_t length, bool next);
    // The look-up of a seek (not a seek next) without the move: kOk or
    // kAfter with the number of the record a seek would make current, kEof,
    // kNoTag, or the error the seek would give. The record's bytes are not
    // read; the record number is checked as a seek checks it (inside the
    // count and inside the file).
    int Find(const void* bytes, std::size_t length, std::uint32_t& record);

    int AppendStart();
    void Blank();
    int Append();
    int MarkDeleted();
    int Pack();
    int Reindex();
    int Flush();
    int Close();
    int OpenIndex(const std::string& path, bool mustExist);
    // Ends a cycle of changes: the index's pages, then the table's, then the
    // index's change marker cleared.
    int Settle();

    // Reads record n (1..count) into `out` (record length bytes).
    int ReadRecord(std::uint32_t n, std::uint8_t* out);
    // Where record n (1..count) starts; kErrData when the file ends before it does.
    int RecordOffset(std::uint32_t n, std::uint64_t& at) const;

    DbContext& m_context;
    DbTable& m_self;
    std::string m_path;        // the table file
    std::unique_ptr<BufferedFile> m_file;
    bool m_readOnly = false;
    std::uint8_t m_version = 0x03;
    std::uint8_t m_flags = 0;
    std::uint32_t m_count = 0;
    unsigned m_headerLength = 0;
    unsigned m_recordLength = 0;
    std::vector<std::unique_ptr<DbField>> m_fields;
    std::unique_ptr<CdxIndex> m_index;
    DbTag* m_selected = nullptr;

    std::uint32_t m_record = 0;          // current record; 0 none; count + 1 past the end
    std::vector<std::uint8_t> m_buffer;  // record length + 1 bytes
    std::vector<std::uint8_t> m_stored;  // the current record as in the file
    bool m_changed = false;
    bool m_atEnd = false;
    bool m_atBeginning = false;
    bool m_headerChanged = false;

private:
    int LoadStructure();
    int WriteBack();
    int WriteHeader(bool newDate);
    int GoEnd();
    int Load(std::uint32_t n);
    int PositionFromTag(int rc, std::uint32_t record);
    // What a seek and a find check first (pending error, key, tag), writing
    // back a changed current record; kOk to go on, else what to return.
    int BeginLookUp(const void* bytes);
    // The selected tag's search key for a seek of `bytes`, and how many of
    // its bytes are compared (all of them for a key that is not text).
    std::vector<std::uint8_t> SearchKey(const void* bytes, std::size_t length, std::size_t& compared) const;
    int FindInTag(const std::vector<std::uint8_t>& search, std::size_t compared, std::uint32_t& record);
    int CurrentKeyPosition(std::vector<std::uint8_t>& key);
};

// Upper-cases the file name part of `name` and adds `extension` when it has none.
std::string TableFileName(const char* name, const char* extension);
// `path` with its extension replaced.
std::string WithExtension(const std::string& path, const char* extension);

}  // namespace tvx::db
