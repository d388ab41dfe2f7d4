// libFuzzer target for the table storage: a table file and its compound index
// file, both taken from the input, are opened and worked through the public
// interface: every tag walked both ways, seeks for keys found and not found,
// records changed, appended and deleted, the table packed and reindexed.
//
// Input: 4 bytes little-endian table length n, then n bytes of table file
// (FUZZ.DBF), then the index file (FUZZ.CDX). A length past the end of the
// input takes all that is left, so every input means something.
//
// The files live in memory behind the storage's DbFileSystem seam; a file may
// not grow past kMaxFileSize, so that a damaged header cannot make the run
// spend its memory on a file of gigabytes.
#include "storage/Db.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace tvx::db;

constexpr std::uint64_t kMaxFileSize = 8u << 20;
constexpr int kMaxSteps = 4000;  // positioning calls per walk

using Bytes = std::vector<unsigned char>;

class MemoryFile final : public DbFile {
public:
    explicit MemoryFile(std::shared_ptr<Bytes> data, bool readOnly) : m_data(std::move(data)), m_readOnly(readOnly) {}
    int Read(std::uint64_t offset, void* buffer, std::size_t count) override {
        if (offset > m_data->size() || count > m_data->size() - offset) return kErrReadWrite;
        if (count) std::memcpy(buffer, m_data->data() + offset, count);
        return kOk;
    }
    int Write(std::uint64_t offset, const void* buffer, std::size_t count) override {
        if (m_readOnly || offset > kMaxFileSize || count > kMaxFileSize - offset) return kErrReadWrite;
        if (offset + count > m_data->size()) m_data->resize(offset + count);
        if (count) std::memcpy(m_data->data() + offset, buffer, count);
        return kOk;
    }
    int Size(std::uint64_t& size) override {
        size = m_data->size();
        return kOk;
    }
    int Truncate(std::uint64_t size) override {
        if (m_readOnly || size > kMaxFileSize) return kErrReadWrite;
        m_data->resize(size);
        return kOk;
    }
    int Flush() override { return kOk; }

private:
    std::shared_ptr<Bytes> m_data;
    bool m_readOnly;
};

class MemoryFileSystem final : public DbFileSystem {
public:
    std::unique_ptr<DbFile> Open(const char* path, int, bool readOnly) override {
        auto it = m_files.find(Key(path));
        if (it == m_files.end()) return nullptr;
        return std::make_unique<MemoryFile>(it->second, readOnly);
    }
    std::unique_ptr<DbFile> Create(const char* path, int) override {
        auto& data = m_files[Key(path)];
        data = std::make_shared<Bytes>();
        return std::make_unique<MemoryFile>(data, false);
    }
    bool Exists(const char* path) override { return m_files.count(Key(path)) != 0; }
    void Put(const char* path, const unsigned char* data, std::size_t size) {
        m_files[Key(path)] = std::make_shared<Bytes>(data, data + size);
    }

private:
    static std::string Key(const char* path) {
        std::string key = path ? path : "";
        for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return key;
    }
    std::map<std::string, std::shared_ptr<Bytes>> m_files;
};

// Walks the selected order forwards and backwards, collecting the keys' record
// numbers it passes; every step's result must be a known status.
void Walk(DbTable* table, std::vector<std::uint32_t>& seen) {
    int steps = 0;
    for (int rc = table->Top(); rc == kOk && steps < kMaxSteps; rc = table->Skip(1), ++steps)
        seen.push_back(table->RecordNumber());
    steps = 0;
    for (int rc = table->Bottom(); rc == kOk && steps < kMaxSteps; rc = table->Skip(-1), ++steps) {
    }
}

// Copies of the key field of a few records, taken from the record buffer after
// going to them: seeking them must find something.
std::vector<std::string> KeysOf(DbTable* table, DbTag* tag, const std::vector<std::uint32_t>& records) {
    std::vector<std::string> keys;
    DbField* field = table->Field(tag->Expression());
    if (!field) return keys;
    for (std::size_t i = 0; i < records.size() && keys.size() < 16; i += 1 + records.size() / 16) {
        if (table->Go(records[i]) != kOk) continue;
        keys.emplace_back(field->Ptr(), field->Length());
    }
    return keys;
}

void Exercise(DbContext& context, DbTable* table, const unsigned char* extra, std::size_t extraSize) {
    // Record order.
    std::vector<std::uint32_t> seen;
    table->SelectTag(nullptr);
    Walk(table, seen);
    context.SetErrorCode(0);

    // Every tag: walk, then seek keys that are there, their prefixes, and bytes
    // from the input.
    for (int t = 0; t < table->TagCount(); ++t) {
        DbTag* tag = table->TagAt(t);
        if (!tag) continue;
        (void)tag->Name();
        table->SelectTag(tag);
        seen.clear();
        Walk(table, seen);
        context.SetErrorCode(0);
        for (const std::string& key : KeysOf(table, tag, seen)) {
            table->SeekBytes(key.data(), key.size());
            table->SeekNextBytes(key.data(), key.size());
            table->SeekBytes(key.data(), key.size() / 2);
            table->SeekNextBytes(key.data(), key.size() / 2);
            context.SetErrorCode(0);
        }
        table->SeekBytes(extra, std::min<std::size_t>(extraSize, 300));
        table->SeekBytes("", 0);
        table->Seek("\xFF\xFF\xFF");
        context.SetErrorCode(0);
    }

    // Change a record, append two, delete one, then pack and reindex.
    table->SelectTag(table->TagCount() > 0 ? table->TagAt(0) : nullptr);
    if (table->FieldCount() > 0 && table->Top() == kOk) {
        DbField* field = table->FieldAt(0);
        if (field) field->AssignBytes(extra, std::min<std::size_t>(extraSize, 64));
    }
    context.SetErrorCode(0);
    for (int i = 0; i < 2; ++i) {
        if (table->AppendStart() != kOk) break;
        table->Blank();
        for (int f = 0; f < table->FieldCount(); ++f) {
            DbField* field = table->FieldAt(f);
            if (field) field->AssignBytes(extra, std::min<std::size_t>(extraSize, field->Length() + i));
        }
        table->Append();
    }
    context.SetErrorCode(0);
    if (table->Go(1) == kOk) table->MarkDeleted();
    context.SetErrorCode(0);
    table->Pack();
    context.SetErrorCode(0);
    table->Reindex();
    context.SetErrorCode(0);
    seen.clear();
    Walk(table, seen);
    context.SetErrorCode(0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    std::size_t tableSize = data[0] | data[1] << 8 | data[2] << 16 | static_cast<std::size_t>(data[3]) << 24;
    data += 4;
    size -= 4;
    tableSize = std::min(tableSize, size);

    MemoryFileSystem files;
    files.Put("FUZZ.DBF", data, tableSize);
    if (size > tableSize) files.Put("FUZZ.CDX", data + tableSize, size - tableSize);
    // A few bytes of the input serve as values to assign and seek.
    const unsigned char* extra = data + tableSize / 2;
    std::size_t extraSize = std::min<std::size_t>(size - tableSize / 2, 256);

    DbContext context;
    context.Setup();
    context.SetFileSystem(&files);
    context.accessMode = 1;
    context.openErrorIsError = false;
    context.createRefusesExisting = false;
    DbTable* table = DbTable::Open(context, "FUZZ");
    if (!table && size > tableSize) {
        // The table may not flag its index: open it without, then attach it.
        context.SetErrorCode(0);
        context.openProductionIndex = false;
        table = DbTable::Open(context, "FUZZ");
        if (table && table->OpenIndex("FUZZ.CDX") != kOk) context.SetErrorCode(0);
    }
    if (table) Exercise(context, table, extra, extraSize);
    context.SetErrorCode(0);
    context.CloseAll();
    return 0;
}
