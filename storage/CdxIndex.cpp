#include "storage/CdxIndex.h"

#include "storage/Endian.h"
#include "storage/TableImpl.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace tvx::db {

using namespace tvx::db::endian;
using namespace tvx::db::cdx;

namespace {

struct TagHeader {
    std::uint32_t root = 0;
    std::uint32_t free = kNone;
    std::uint32_t counter = 0;
    unsigned keyLength = 0;
    std::uint8_t options = 0;
    std::string expression;
    std::string filter;
};

std::string PoolString(std::span<const std::uint8_t> pool, unsigned pos, unsigned len, bool& ok) {
    if (len == 0) return {};
    if (len > 255 || pos + len > pool.size()) {
        ok = false;
        return {};
    }
    std::string s;
    for (unsigned i = 0; i < len && pool[pos + i] != 0; ++i) s.push_back(static_cast<char>(pool[pos + i]));
    return s;
}

// Reads and checks a tag header. Unsupported features (another collating
// sequence, descending order, a filter) are refused with kErrIndex.
int ReadTagHeader(BufferedFile& file, std::uint32_t offset, TagHeader& h) {
    if (offset % kBlock != 0 || std::uint64_t{offset} + kHeaderSize > file.Size()) return kErrIndex;
    std::uint8_t b[kHeaderSize];
    if (int rc = file.Read(offset, b, sizeof b); rc != kOk) return rc;
    h.root = Le32(b + kOffRoot);
    h.free = Le32(b + kOffFree);
    h.counter = Be32(b + kOffCounter);
    h.keyLength = Le16(b + kOffKeyLength);
    h.options = b[kOffOptions];
    if (h.keyLength == 0 || h.keyLength > kMaxKeyLength) return kErrIndex;
    if (!(h.options & kOptCompact)) return kErrIndex;
    for (std::size_t i = 0; i < kCollationSize; ++i)
        if (b[kOffCollation + i] != 0) return kErrIndex;  // only machine order is known
    if (Le16(b + kOffDescending) != 0) return kErrIndex;
    bool ok = true;
    std::span<const std::uint8_t> pool(b + kOffPool, kPoolSize);
    h.expression = PoolString(pool, Le16(b + kOffExprPos), Le16(b + kOffExprLen), ok);
    h.filter = PoolString(pool, Le16(b + kOffFilterPos), Le16(b + kOffFilterLen), ok);
    if (!ok || !h.filter.empty()) return kErrIndex;
    return kOk;
}

void WriteTagHeaderBytes(std::uint8_t* b, unsigned keyLength, std::uint8_t options, const std::string& expression) {
    std::memset(b, 0, kHeaderSize);
    PutLe32(b + kOffRoot, 0);
    PutLe32(b + kOffFree, kNone);
    PutLe16(b + kOffKeyLength, static_cast<std::uint16_t>(keyLength));
    b[kOffOptions] = options;
    b[kOffSignature] = 1;
    const auto exprLen = static_cast<std::uint16_t>(expression.size() + 1);
    PutLe16(b + kOffDescending, 0);
    PutLe16(b + kOffFilterPos, exprLen);
    PutLe16(b + kOffFilterLen, 1);
    PutLe16(b + kOffExprPos, 0);
    PutLe16(b + kOffExprLen, exprLen);
    std::memcpy(b + kOffPool, expression.data(), expression.size());
}

std::string UpperName(const char* s) {
    std::string out;
    for (; *s; ++s) out.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(*s))));
    return out;
}

}  // namespace

std::unique_ptr<DbTag> CdxTag::Make(CdxIndex& index) {
    auto tag = std::unique_ptr<DbTag>(new DbTag());
    tag->m_impl.reset(new CdxTag(index));
    return tag;
}

std::vector<std::uint8_t> CdxTag::KeyOf(const std::uint8_t* record) const {
    std::vector<std::uint8_t> key(expression.Length());
    expression.Evaluate(record, key.data());
    return key;
}

CdxIndex::CdxIndex(TableImpl& table, std::unique_ptr<BufferedFile> file, std::string path)
    : m_table(table), m_file(std::move(file)), m_path(std::move(path)) {}

CdxIndex::~CdxIndex() = default;

DbTag* CdxIndex::TagByName(const char* name) {
    if (!name || std::strlen(name) > 10) return nullptr;
    const std::string want = UpperName(name);
    for (auto& t : m_tags)
        if (t->impl().name == want) return t.get();
    return nullptr;
}

int CdxIndex::Create(TableImpl& table, std::unique_ptr<BufferedFile> file, const std::string& path,
                     const DbTagInfo* tags, std::unique_ptr<CdxIndex>& out) {
    auto index = std::make_unique<CdxIndex>(table, std::move(file), path);
    if (int rc = index->m_file->UseMarker(kOffChanging, kChangingValue, kChangingSize); rc != kOk) return rc;
    for (const DbTagInfo* t = tags; t && t->name; ++t) {
        const std::size_t nameLength = std::strlen(t->name);
        if (nameLength == 0 || nameLength > 10 || !t->expression) return kErrParameter;
        if (std::strlen(t->expression) > kMaxExpression) return kErrExprLength;
        if (t->filter && std::strlen(t->filter) > kMaxExpression) return kErrExprLength;
        // Filters, unique and descending tags are not kept up to date by this
        // storage, so it does not write them.
        if ((t->filter && *t->filter) || t->unique || t->descending) return kErrIndex;
        if (index->TagByName(t->name)) return kErrParameter;
        auto tag = CdxTag::Make(*index);
        CdxTag& impl = tag->impl();
        impl.name = UpperName(t->name);
        if (int rc = impl.expression.Compile(table, t->expression); rc != kOk) return rc;
        index->m_tags.push_back(std::move(tag));
    }
    if (int rc = index->Rebuild(); rc != kOk) return rc;
    out = std::move(index);
    return kOk;
}

int CdxIndex::Open(TableImpl& table, std::unique_ptr<BufferedFile> file, const std::string& path,
                   std::unique_ptr<CdxIndex>& out) {
    auto index = std::make_unique<CdxIndex>(table, std::move(file), path);
    if (int rc = index->m_file->UseMarker(kOffChanging, kChangingValue, kChangingSize); rc != kOk) return rc;
    // An interrupted change may have left any node stale; only a writer can
    // repair that (by a rebuild, see Interrupted).
    if (index->m_file->MarkerFound() && table.m_readOnly) return kErrIndex;
    TagHeader dir;
    if (int rc = ReadTagHeader(*index->m_file, 0, dir); rc != kOk) return rc;
    index->m_directory = std::make_unique<Tree>(*index->m_file, 0, dir.keyLength, 0x20);
    index->m_directory->SetRoot(dir.root, dir.free, dir.counter);
    std::vector<std::pair<std::string, std::uint32_t>> names;
    int rc = index->m_directory->Walk([&](const std::uint8_t* key, std::uint32_t record) {
        std::string name(reinterpret_cast<const char*>(key), dir.keyLength);
        while (!name.empty() && (name.back() == ' ' || name.back() == '\0')) name.pop_back();
        if (name.empty() || name.size() > 10) return kErrIndex;
        names.emplace_back(UpperName(name.c_str()), record);
        return 0;
    });
    if (rc != kOk) return rc;
    for (auto& [name, offset] : names) {
        if (offset == 0 || index->TagByName(name.c_str())) return kErrIndex;
        TagHeader h;
        if (int r = ReadTagHeader(*index->m_file, offset, h); r != kOk) return r;
        auto tag = CdxTag::Make(*index);
        CdxTag& impl = tag->impl();
        impl.name = name;
        impl.options = h.options;
        if (int r = impl.expression.Compile(table, h.expression); r != kOk) return r;
        if (impl.expression.Length() != h.keyLength) return kErrIndex;
        impl.tree = std::make_unique<Tree>(*index->m_file, offset, h.keyLength, impl.expression.Pad());
        impl.tree->SetRoot(h.root, h.free, h.counter);
        index->m_tags.push_back(std::move(tag));
    }
    out = std::move(index);
    return kOk;
}

int CdxIndex::AddRecord(std::uint32_t record, const std::uint8_t* bytes, std::uint64_t count) {
    for (auto& t : m_tags) {
        CdxTag& tag = t->impl();
        m_key.resize(tag.expression.Length());
        tag.expression.Evaluate(bytes, m_key.data());
        if (int rc = tag.tree->Insert(m_key.data(), record, count); rc != kOk) return rc;
    }
    return kOk;
}

int CdxIndex::ChangeRecord(std::uint32_t record, const std::uint8_t* before, const std::uint8_t* after,
                           std::uint64_t count) {
    for (auto& t : m_tags) {
        CdxTag& tag = t->impl();
        const auto oldKey = tag.KeyOf(before);
        const auto newKey = tag.KeyOf(after);
        if (oldKey == newKey) continue;
        if (int rc = tag.tree->Remove(oldKey.data(), record, count); rc != kOk) return rc;
        if (int rc = tag.tree->Insert(newKey.data(), record, count); rc != kOk) return rc;
    }
    return kOk;
}

int CdxIndex::Rebuild() {
    // Layout: directory header, tag headers at 1024 * i, the directory's
    // nodes, then the tags' trees. The headers and the directory come out the
    // same bytes on every rebuild of an index (but for the tags' roots, free
    // lists and counters), and they reach the file before any tree: when a
    // rebuild fails part way, the names and expressions of the tags are still
    // there for the next one, whatever mix of old and new pages the file holds.
    // The file is cut only after the new headers are in place, never to zero.
    std::vector<std::uint8_t> headers(kHeaderSize * (m_tags.size() + 1));
    WriteTagHeaderBytes(headers.data(), kDirectoryKeyLength, kOptionsDirectory, "");
    std::vector<Entry> directory;
    for (std::size_t i = 0; i < m_tags.size(); ++i) {
        CdxTag& tag = m_tags[i]->impl();
        WriteTagHeaderBytes(headers.data() + kHeaderSize * (i + 1), tag.expression.Length(),
                            static_cast<std::uint8_t>(tag.options & ~(kOptUnique | kOptFilter)),
                            tag.expression.Text());
        Entry e;
        e.key.assign(kDirectoryKeyLength, ' ');
        std::memcpy(e.key.data(), tag.name.data(), tag.name.size());
        e.record = static_cast<std::uint32_t>(kHeaderSize * (i + 1));
        directory.push_back(std::move(e));
    }
    if (int rc = m_file->Write(0, headers.data(), headers.size()); rc != kOk) return rc;
    if (int rc = m_file->Truncate(headers.size()); rc != kOk) return rc;
    std::sort(directory.begin(), directory.end(),
              [](const Entry& a, const Entry& b) { return a.key < b.key; });
    m_directory = std::make_unique<Tree>(*m_file, 0, static_cast<unsigned>(kDirectoryKeyLength), 0x20);
    // The directory's record numbers are header offsets; its widths follow them.
    if (int rc = m_directory->Build(directory, headers.size()); rc != kOk) return rc;
    if (int rc = m_file->Flush(); rc != kOk) return rc;

    const std::uint32_t count = m_table.m_count;
    std::vector<std::vector<Entry>> keys(m_tags.size());
    std::vector<std::uint8_t> record(m_table.m_recordLength);
    for (auto& k : keys) k.reserve(count);
    for (std::uint32_t n = 1; n <= count; ++n) {
        if (int rc = m_table.ReadRecord(n, record.data()); rc != kOk) return rc;
        for (std::size_t i = 0; i < m_tags.size(); ++i) keys[i].push_back({m_tags[i]->impl().KeyOf(record.data()), n});
    }
    for (std::size_t i = 0; i < m_tags.size(); ++i) {
        CdxTag& tag = m_tags[i]->impl();
        auto& list = keys[i];
        std::sort(list.begin(), list.end(), [](const Entry& a, const Entry& b) {
            if (int c = CompareKeys(a.key.data(), b.key.data(), a.key.size()); c != 0) return c < 0;
            return a.record < b.record;
        });
        const auto headerOffset = static_cast<std::uint32_t>(kHeaderSize * (i + 1));
        tag.tree = std::make_unique<Tree>(*m_file, headerOffset, tag.expression.Length(), tag.expression.Pad());
        if (int rc = tag.tree->Build(list, count); rc != kOk) return rc;
        list.clear();
        list.shrink_to_fit();
    }
    return kOk;
}

}  // namespace tvx::db
