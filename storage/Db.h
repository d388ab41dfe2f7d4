// Table storage: dBASE-format table files (.DBF) of fixed-length records, each
// with a FoxPro-format compound index file (.CDX) of the same base name.
// Standard C++ only; builds for Windows and with the host compiler.
//
// Result codes (int): 0 success; positive status codes from positioning and
// seeks; negative codes are errors, recorded in the context, and while the
// context holds a negative code most operations refuse to work until it is
// cleared with SetErrorCode.
//
// Ownership: a DbContext owns every table opened through it; Create and Open
// hand out non-owning pointers that stay valid until the table is closed
// (DbTable::Close or DbContext::CloseAll). A table owns its fields and tags.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace tvx::db {

inline constexpr int kVersion = 6001;

// Status codes.
inline constexpr int kOk = 0;
inline constexpr int kAfter = 2;        // seek: a greater key was found and is current
inline constexpr int kEof = 3;          // past the end (blank record buffer), or seek: nothing >=
inline constexpr int kBof = 4;          // before the beginning
inline constexpr int kNoMore = 5;       // seek next: no further record with the same key
inline constexpr int kNotOpened = 70;   // silent open failure
inline constexpr int kNoTag = 80;       // seek without a selected tag

// Error codes.
inline constexpr int kErrGeneral = -1;
inline constexpr int kErrCreate = -20;
inline constexpr int kErrOpen = -60;
inline constexpr int kErrReadWrite = -120;
inline constexpr int kErrData = -200;          // damaged table file
inline constexpr int kErrRecordLength = -230;  // record or header too long
inline constexpr int kErrIndex = -310;         // damaged or unsupported index
inline constexpr int kErrExprLength = -350;    // key or filter expression too long
inline constexpr int kErrExpression = -410;    // expression does not compile
inline constexpr int kErrMemory = -920;
inline constexpr int kErrParameter = -930;
inline constexpr int kErrNullPointer = -935;
inline constexpr int kErrVersion = -1095;
inline constexpr int kErrPending = -1410;

// Creation lists; each array ends with an entry whose name is null.
struct DbFieldInfo {
    const char* name;
    char type;  // 'C' (others are the implementation's choice)
    unsigned length;
    unsigned decimals;
    bool nullable;
};
struct DbTagInfo {
    const char* name;
    const char* expression;
    const char* filter;  // null: none
    bool unique;
    bool descending;
};

// The file layer under tables and indexes, replaceable so that tests can
// fail any read or write (fault injection). Offsets and sizes are 64-bit.
class DbFile {
public:
    virtual ~DbFile() = default;
    virtual int Read(std::uint64_t offset, void* buffer, std::size_t count) = 0;       // 0 or kErrReadWrite (short read is an error)
    virtual int Write(std::uint64_t offset, const void* buffer, std::size_t count) = 0;
    virtual int Size(std::uint64_t& size) = 0;
    virtual int Truncate(std::uint64_t size) = 0;
    virtual int Flush() = 0;
};

// Opens files for the storage. accessMode: 0 share read/write, 1 exclusive,
// 2 share reading only. Returns null when the file cannot be opened/created.
class DbFileSystem {
public:
    virtual ~DbFileSystem() = default;
    virtual std::unique_ptr<DbFile> Open(const char* path, int accessMode, bool readOnly) = 0;
    virtual std::unique_ptr<DbFile> Create(const char* path, int accessMode) = 0;  // truncates
    virtual bool Exists(const char* path) = 0;
};
// The real file system of the platform.
DbFileSystem& RealFileSystem();

class DbTable;
class DbTag;
class DbField;
class TableImpl;
class CdxTag;

class DbContext {
public:
    DbContext();
    ~DbContext();  // closes every table
    DbContext(const DbContext&) = delete;
    DbContext& operator=(const DbContext&) = delete;

    // Resets every setting to its default; refuses any version but kVersion (-1095).
    int Setup(int version = kVersion);

    // Settings (defaults as shown).
    int accessMode = 0;
    bool openErrorIsError = true;
    bool createRefusesExisting = true;
    bool readOnly = false;
    bool openProductionIndex = true;
    std::uint8_t codePageMark = 0;
    std::size_t bufferSize = 32768;

    int ErrorCode() const noexcept;
    int ErrorLocation() const noexcept;
    int SetErrorCode(int code) noexcept;  // returns the previous code

    int CloseAll();  // pending negative code, else 0
    void Release();  // frees buffers and pools; made again on the next open

    // Test seam: the file layer (default RealFileSystem()).
    void SetFileSystem(DbFileSystem* fileSystem) noexcept;

    // Implementation detail, owned by the context.
    struct State;
    State& state() noexcept { return *m_state; }

private:
    std::unique_ptr<State> m_state;
};

class DbField {
public:
    char* Ptr();                      // the field's bytes in the record buffer
    unsigned Length() const;
    char Type() const;
    const char* Name() const;
    // The whole content (trailing blanks kept) in a process-wide 257-byte
    // buffer, zero-terminated; valid until the next Text call.
    const char* Text();
    // count <= length: blanks, then the bytes at the start, 0. count > length:
    // the first length bytes, -1. null pointer: -935. Marks the record changed.
    int AssignBytes(const void* bytes, std::size_t count);
    int AssignText(const char* text);

private:
    friend class TableImpl;
    DbField() = default;
    TableImpl* m_table = nullptr;
    char m_name[11] = {};
    char m_type = 'C';
    unsigned m_length = 0;
    unsigned m_decimals = 0;
    unsigned m_offset = 0;  // in the record buffer, after the deletion byte
};

class DbTable {
public:
    static DbTable* Create(DbContext& context, const char* name, const DbFieldInfo* fields, const DbTagInfo* tags);
    static DbTable* Open(DbContext& context, const char* name);

    DbField* Field(const char* name);   // case-insensitive; null when none
    DbTag* Tag(const char* name);       // case-insensitive; null when none
    int FieldCount() const;
    DbField* FieldAt(int index);        // 0-based
    int TagCount() const;
    DbTag* TagAt(int index);
    void SelectTag(DbTag* tag);         // null: record order
    DbTag* SelectedTag() const;

    int Top();
    int Bottom();
    int Skip(long count);
    int Go(std::uint32_t recordNumber);

    int AppendStart();
    void Blank();
    int Append();
    int MarkDeleted();
    bool IsDeleted() const;
    int Pack();
    int Reindex();
    int Flush();
    int Close();  // the pointer is invalid afterwards

    int Seek(const char* text);
    int SeekBytes(const void* bytes, std::size_t length);
    int SeekNext(const char* text);
    int SeekNextBytes(const void* bytes, std::size_t length);

    std::uint32_t RecordNumber() const;
    std::uint32_t RecordCount() const;
    bool AtEnd() const;
    bool AtBeginning() const;
    const char* RecordBuffer() const;   // deletion byte first
    unsigned RecordLength() const;
    unsigned HeaderLength() const;
    DbContext& Context();

    // Opens a compound index file of another name (or one the header does not
    // flag) as this table's index; the open index, if any, is closed first.
    int OpenIndex(const char* name);

    ~DbTable();
    TableImpl& impl() noexcept { return *m_impl; }

private:
    friend class TableImpl;
    DbTable();
    std::unique_ptr<TableImpl> m_impl;
};

class DbTag {
public:
    const char* Name() const;
    const char* Expression() const;
    unsigned KeyLength() const;

    ~DbTag();
    CdxTag& impl() noexcept { return *m_impl; }

private:
    friend class CdxTag;
    DbTag();
    std::unique_ptr<CdxTag> m_impl;
};

}  // namespace tvx::db
