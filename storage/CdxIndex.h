// An open compound index: the tag directory and every tag of one table.
#pragma once

#include "storage/BufferedFile.h"
#include "storage/CdxTree.h"
#include "storage/Db.h"
#include "storage/Expression.h"

#include <memory>
#include <string>
#include <vector>

namespace tvx::db {

class TableImpl;
class CdxIndex;

class CdxTag {
public:
    static std::unique_ptr<DbTag> Make(CdxIndex& index);

    CdxIndex& index;
    std::string name;    // upper case
    Expression expression;
    std::uint8_t options = cdx::kOptionsTag;
    std::unique_ptr<cdx::Tree> tree;

    // The record's key (KeyLength() bytes).
    std::vector<std::uint8_t> KeyOf(const std::uint8_t* record) const;

private:
    explicit CdxTag(CdxIndex& owner) : index(owner) {}
};

class CdxIndex {
public:
    CdxIndex(TableImpl& table, std::unique_ptr<BufferedFile> file, std::string path);
    ~CdxIndex();

    // Writes a new index for the table with the given tags (the file is
    // empty or new) and builds every tag from the table's records.
    static int Create(TableImpl& table, std::unique_ptr<BufferedFile> file, const std::string& path,
                      const DbTagInfo* tags, std::unique_ptr<CdxIndex>& out);
    // Reads the directory and every tag header; compiles every expression.
    static int Open(TableImpl& table, std::unique_ptr<BufferedFile> file, const std::string& path,
                    std::unique_ptr<CdxIndex>& out);

    int TagCount() const noexcept { return static_cast<int>(m_tags.size()); }
    DbTag* TagAt(int i) { return m_tags[static_cast<std::size_t>(i)].get(); }
    DbTag* TagByName(const char* name);

    int AddRecord(std::uint32_t record, const std::uint8_t* bytes, std::uint64_t count);
    int ChangeRecord(std::uint32_t record, const std::uint8_t* before, const std::uint8_t* after,
                     std::uint64_t count);
    // Rewrites the whole file: headers, then every tag built from the records.
    int Rebuild();
    // Writes every held-back page; the change marker stays up.
    int Flush() { return m_file->Flush(); }
    // The file was found with its change marker up: it may not match the
    // table and must be rebuilt before use (a read-only open refuses it).
    bool Interrupted() const noexcept { return m_file->MarkerFound(); }

    BufferedFile& File() noexcept { return *m_file; }
    cdx::Tree& Directory() noexcept { return *m_directory; }
    const std::string& Path() const noexcept { return m_path; }

private:
    TableImpl& m_table;
    std::unique_ptr<BufferedFile> m_file;
    std::string m_path;
    std::unique_ptr<cdx::Tree> m_directory;
    std::vector<std::unique_ptr<DbTag>> m_tags;
    std::vector<std::uint8_t> m_key;  // the key being added
};

}  // namespace tvx::db
