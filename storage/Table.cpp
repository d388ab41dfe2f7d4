#include "storage/TableImpl.h"

#include "storage/CdxIndex.h"
#include "storage/DbfFormat.h"
#include "storage/Endian.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <ctime>
#include <new>

namespace tvx::db {

using namespace tvx::db::endian;

namespace {

// Per index file: an index of about 100,000 catalogue keys (some 40 MB) is
// held whole, so that look-ups and appends rarely go to the file.
constexpr std::size_t kCacheLimit = 64u << 20;
// Per table file: appends only add to the end and a look-up reads one record,
// so a table is not held whole; a small cache keeps the memory the storage
// takes near the size of the index (a held 100,000-record FILES table would
// add some 27 MB).
constexpr std::size_t kTableCacheLimit = 4u << 20;

bool SameName(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b)
        if (std::toupper(static_cast<unsigned char>(*a)) != std::toupper(static_cast<unsigned char>(*b))) return false;
    return *a == *b;
}

void Today(std::uint8_t* out) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    out[0] = static_cast<std::uint8_t>(local.tm_year);
    out[1] = static_cast<std::uint8_t>(local.tm_mon + 1);
    out[2] = static_cast<std::uint8_t>(local.tm_mday);
}

}  // namespace

std::string TableFileName(const char* name, const char* extension) {
    std::string s(name);
    const std::size_t slash = s.find_last_of("/\\");
    const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    for (std::size_t i = start; i < s.size(); ++i)
        s[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(s[i])));
    if (s.find('.', start) == std::string::npos) s += extension;
    return s;
}

std::string WithExtension(const std::string& path, const char* extension) {
    const std::size_t slash = path.find_last_of("/\\");
    const std::size_t dot = path.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) return path.substr(0, dot) + extension;
    return path + extension;
}

TableImpl::TableImpl(DbContext& context, DbTable& self) : m_context(context), m_self(self) {}
TableImpl::~TableImpl() = default;

int TableImpl::Fail(int code, int where) { return m_context.state().Set(code, where); }

DbField* TableImpl::FieldByName(const char* name) {
    if (!name || std::strlen(name) > dbf::kMaxFieldName) return nullptr;
    for (auto& f : m_fields)
        if (SameName(f->m_name, name)) return f.get();
    return nullptr;
}

DbField* TableImpl::FieldAt(int i) {
    if (i < 0 || i >= FieldCountConst()) return nullptr;
    return m_fields[static_cast<std::size_t>(i)].get();
}

// ------------------------------------------------------------------ create

DbTable* TableImpl::Create(DbContext& context, const char* name, const DbFieldInfo* fields, const DbTagInfo* tags) {
    auto& state = context.state();
    if (state.error < 0) return nullptr;
    if (!name || !*name || !fields) {
        state.Set(kErrParameter, kLocCreate);
        return nullptr;
    }
    std::size_t count = 0;
    std::size_t recordLength = 1;
    for (const DbFieldInfo* f = fields; f->name; ++f, ++count) {
        const std::size_t n = std::strlen(f->name);
        if (n == 0 || n > dbf::kMaxFieldName || f->length == 0) {
            state.Set(kErrParameter, kLocCreate);
            return nullptr;
        }
        if (!dbf::KnownType(f->type) || (f->type != 'C' && f->length > 255)) {
            state.Set(kErrData, kLocCreate);
            return nullptr;
        }
        recordLength += f->length;
    }
    if (count == 0) {
        state.Set(kErrParameter, kLocCreate);
        return nullptr;
    }
    const std::size_t headerLength = dbf::HeaderLength(count);
    if (recordLength >= dbf::kLimit || headerLength >= dbf::kLimit) {
        state.Set(kErrRecordLength, kLocCreate);
        return nullptr;
    }
    const std::string path = TableFileName(name, ".DBF");
    const std::string indexPath = WithExtension(path, ".CDX");
    const bool withIndex = tags && tags->name;
    for (auto& t : state.tables) {
        if (SameName(t->impl().m_path.c_str(), path.c_str())) {
            state.Set(kErrCreate, kLocCreate);
            return nullptr;
        }
    }
    DbFileSystem& files = *state.files;
    for (const std::string& p : {path, indexPath}) {
        if (&p == &indexPath && !withIndex) break;
        if (!files.Exists(p.c_str())) continue;
        // Replacing needs proof that nobody holds the file.
        if (context.createRefusesExisting || !files.Open(p.c_str(), 1, false)) {
            state.Set(kErrCreate, kLocCreate);
            return nullptr;
        }
    }
    {
        auto file = files.Create(path.c_str(), 1);
        if (!file) {
            state.Set(kErrCreate, kLocCreate);
            return nullptr;
        }
        std::vector<std::uint8_t> bytes(headerLength + 1, 0);
        bytes[dbf::kOffVersion] = dbf::kVersionPlain;
        Today(&bytes[dbf::kOffDate]);
        PutLe32(&bytes[dbf::kOffCount], 0);
        PutLe16(&bytes[dbf::kOffHeaderLength], static_cast<std::uint16_t>(headerLength));
        PutLe16(&bytes[dbf::kOffRecordLength], static_cast<std::uint16_t>(recordLength));
        bytes[dbf::kOffCodePage] = context.codePageMark;
        std::size_t at = dbf::kHeaderSize;
        std::uint32_t offset = 1;
        for (const DbFieldInfo* f = fields; f->name; ++f, at += dbf::kDescriptorSize) {
            for (std::size_t i = 0; f->name[i]; ++i)
                bytes[at + i] = static_cast<std::uint8_t>(std::toupper(static_cast<unsigned char>(f->name[i])));
            bytes[at + dbf::kOffFieldType] = static_cast<std::uint8_t>(f->type);
            PutLe32(&bytes[at + dbf::kOffFieldOffset], offset);
            bytes[at + dbf::kOffFieldLength] = static_cast<std::uint8_t>(f->length);
            bytes[at + dbf::kOffFieldDecimals] =
                static_cast<std::uint8_t>(f->type == 'C' ? f->length >> 8 : f->decimals);
            bytes[at + dbf::kOffFieldFlags] = f->nullable ? 0x02 : 0x00;
            offset += f->length;
        }
        bytes[at] = dbf::kTerminator;
        bytes[at + 1] = dbf::kEndOfFile;
        if (file->Write(0, bytes.data(), bytes.size()) != kOk || file->Flush() != kOk) {
            state.Set(kErrReadWrite, kLocCreate);
            return nullptr;
        }
    }
    if (withIndex) {
        // The index is built from the new table opened exclusively; the
        // header flag is set once the index exists.
        const int savedMode = context.accessMode;
        const bool savedIndex = context.openProductionIndex;
        context.accessMode = 1;
        context.openProductionIndex = false;
        DbTable* t = Open(context, path.c_str());
        context.accessMode = savedMode;
        context.openProductionIndex = savedIndex;
        if (!t) return nullptr;
        TableImpl& impl = t->impl();
        auto file = files.Create(indexPath.c_str(), 1);
        int rc = file ? kOk : kErrCreate;
        if (rc == kOk) {
            auto buffered = std::make_unique<BufferedFile>(std::move(file), true, kCacheLimit);
            rc = buffered->Init();
            if (rc == kOk) rc = CdxIndex::Create(impl, std::move(buffered), indexPath, tags, impl.m_index);
        }
        if (rc == kOk) {
            impl.m_flags |= dbf::kFlagStructuralIndex;
            rc = impl.m_file->Write(dbf::kOffFlags, &impl.m_flags, 1);
        }
        if (rc != kOk) {
            impl.m_index.reset();
            impl.Fail(rc, kLocCreateIndex);
            const int saved = state.error;
            state.error = 0;
            t->Close();
            state.Set(saved, kLocCreateIndex);
            return nullptr;
        }
        if (int c = t->Close(); c != kOk) return nullptr;
    }
    return Open(context, path.c_str());
}

// -------------------------------------------------------------------- open

DbTable* TableImpl::Open(DbContext& context, const char* name) {
    auto& state = context.state();
    if (state.error < 0) return nullptr;
    if (!name || !*name) {
        state.Set(kErrParameter, kLocOpen);
        return nullptr;
    }
    const std::string path = TableFileName(name, ".DBF");
    auto file = state.files->Open(path.c_str(), context.accessMode, context.readOnly);
    if (!file) {
        state.Set(context.openErrorIsError ? kErrOpen : kNotOpened, kLocOpen);
        return nullptr;
    }
    std::unique_ptr<DbTable> table(new DbTable());
    table->m_impl = std::make_unique<TableImpl>(context, *table);
    TableImpl& impl = *table->m_impl;
    impl.m_path = path;
    impl.m_readOnly = context.readOnly;
    impl.m_file = std::make_unique<BufferedFile>(std::move(file), context.accessMode == 1, kTableCacheLimit);
    // Table changes that go with index changes not yet in the index file
    // reach the disk only once the index's change marker is up.
    impl.m_file->BeforeChange([&impl] { return impl.m_index ? impl.m_index->File().RaiseMarkerIfChanged() : kOk; });
    int rc = impl.m_file->Init();
    if (rc == kOk) rc = impl.LoadStructure();
    if (rc == kOk && (impl.m_flags & dbf::kFlagStructuralIndex) && context.openProductionIndex)
        rc = impl.OpenIndex(WithExtension(path, ".CDX"), true);
    if (rc != kOk) {
        state.Set(rc, kLocOpen);
        return nullptr;
    }
    state.tables.push_back(std::move(table));
    return state.tables.back().get();
}

int TableImpl::LoadStructure() {
    const std::uint64_t size = m_file->Size();
    if (size < dbf::kHeaderSize + 1) return kErrData;
    std::uint8_t h[dbf::kHeaderSize];
    if (int rc = m_file->Read(0, h, sizeof h); rc != kOk) return rc;
    m_version = h[dbf::kOffVersion];
    m_count = Le32(h + dbf::kOffCount);
    m_headerLength = Le16(h + dbf::kOffHeaderLength);
    m_recordLength = Le16(h + dbf::kOffRecordLength);
    m_flags = h[dbf::kOffFlags];
    if (m_headerLength <= dbf::kHeaderSize + 1 || m_recordLength < 2 || m_headerLength > size) return kErrData;
    // One record more than the size holds is tolerated (an append whose
    // end-of-file byte did not reach the disk); more is damage.
    const std::uint64_t holds = (size - m_headerLength) / m_recordLength;
    if (m_count > holds + 1) return kErrData;

    std::vector<std::uint8_t> d(m_headerLength - dbf::kHeaderSize);
    if (int rc = m_file->Read(dbf::kHeaderSize, d.data(), d.size()); rc != kOk) return rc;
    std::size_t at = 0;
    unsigned offset = 1;
    for (;; at += dbf::kDescriptorSize) {
        if (at >= d.size()) return kErrData;  // no terminator inside the header
        if (d[at] == dbf::kTerminator) break;
        if (at + dbf::kDescriptorSize > d.size()) return kErrData;
        const std::uint8_t* p = &d[at];
        std::unique_ptr<DbField> f(new DbField());
        std::size_t n = 0;
        while (n < dbf::kMaxFieldName && p[n] != 0) ++n;
        if (n == 0) return kErrData;
        std::memcpy(f->m_name, p, n);
        for (std::size_t i = 0; i < n; ++i)
            f->m_name[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(f->m_name[i])));
        f->m_type = static_cast<char>(p[dbf::kOffFieldType]);
        if (!dbf::KnownType(f->m_type)) return kErrData;
        if (f->m_type == 'C') {
            f->m_length = p[dbf::kOffFieldLength] | (p[dbf::kOffFieldDecimals] << 8);
        } else {
            f->m_length = p[dbf::kOffFieldLength];
            f->m_decimals = p[dbf::kOffFieldDecimals];
        }
        if (f->m_length == 0) return kErrData;
        f->m_offset = offset;
        offset += f->m_length;
        if (offset > m_recordLength) return kErrData;
        f->m_table = this;
        m_fields.push_back(std::move(f));
    }
    if (m_fields.empty()) return kErrData;
    m_buffer.assign(m_recordLength + 1, ' ');
    m_buffer[m_recordLength] = 0;
    m_stored.assign(m_recordLength, ' ');
    return kOk;
}

int TableImpl::OpenIndex(const std::string& path, bool mustExist) {
    (void)mustExist;
    m_index.reset();
    m_selected = nullptr;
    DbFileSystem& files = *m_context.state().files;
    auto file = files.Open(path.c_str(), m_context.accessMode, m_readOnly);
    // An index file that cannot be opened (missing, or held by another
    // process) follows the same silent rule as the table file.
    if (!file) return m_context.openErrorIsError ? kErrOpen : kNotOpened;
    auto buffered = std::make_unique<BufferedFile>(std::move(file), m_context.accessMode == 1, kCacheLimit);
    if (int rc = buffered->Init(); rc != kOk) return rc;
    if (int rc = CdxIndex::Open(*this, std::move(buffered), path, m_index); rc != kOk) {
        m_index.reset();
        return rc;
    }
    if (m_index->Interrupted()) {
        // A change of the index did not finish: the table is what holds, so
        // the index is made again from it (a read-only open was refused).
        int rc = m_index->Rebuild();
        if (rc == kOk) rc = Settle();
        if (rc != kOk) {
            m_index.reset();
            return rc;
        }
    }
    return kOk;
}

int TableImpl::Settle() {
    // Index pages first, then the table with the count that the index now
    // matches, and the index's change marker cleared last of all.
    if (m_index)
        if (int rc = m_index->Flush(); rc != kOk) return rc;
    if (m_headerChanged)
        if (int rc = WriteHeader(true); rc != kOk) return rc;
    if (int rc = m_file->Flush(); rc != kOk) return rc;
    if (m_index)
        if (int rc = m_index->File().LowerMarker(); rc != kOk) return rc;
    return kOk;
}

// ----------------------------------------------------------------- records

int TableImpl::RecordOffset(std::uint32_t n, std::uint64_t& at) const {
    if (n == 0 || n > m_count) return kErrGeneral;
    at = m_headerLength + std::uint64_t{n - 1} * m_recordLength;
    // The record the count allows beyond the size (see LoadStructure) reads
    // as far as the file goes.
    if (at + m_recordLength > m_file->Size()) return kErrData;
    return kOk;
}

int TableImpl::ReadRecord(std::uint32_t n, std::uint8_t* out) {
    std::uint64_t at = 0;
    if (int rc = RecordOffset(n, at); rc != kOk) return rc;
    return m_file->Read(at, out, m_recordLength);
}

int TableImpl::Load(std::uint32_t n) {
    if (int rc = ReadRecord(n, m_buffer.data()); rc != kOk) return rc;
    std::memcpy(m_stored.data(), m_buffer.data(), m_recordLength);
    m_record = n;
    m_changed = false;
    m_atEnd = m_atBeginning = false;
    return kOk;
}

int TableImpl::GoEnd() {
    std::fill(m_buffer.begin(), m_buffer.begin() + m_recordLength, ' ');
    std::memcpy(m_stored.data(), m_buffer.data(), m_recordLength);
    m_record = m_count + 1;
    m_changed = false;
    m_atEnd = true;
    m_atBeginning = m_count == 0;
    return kEof;
}

int TableImpl::WriteBack() {
    if (!m_changed) return kOk;
    m_changed = false;
    if (m_record == 0 || m_record > m_count) return kOk;  // nothing in the file to write to
    if (m_readOnly) return Fail(kErrReadWrite, kLocWrite);
    if (m_index) {
        if (int rc = m_index->ChangeRecord(m_record, m_stored.data(), m_buffer.data(), m_count); rc != kOk)
            return Fail(rc, kLocIndex);
    }
    const std::uint64_t at = m_headerLength + std::uint64_t{m_record - 1} * m_recordLength;
    if (int rc = m_file->Write(at, m_buffer.data(), m_recordLength); rc != kOk) return Fail(rc, kLocWrite);
    std::memcpy(m_stored.data(), m_buffer.data(), m_recordLength);
    return kOk;
}

int TableImpl::WriteHeader(bool newDate) {
    std::uint8_t h[10];
    h[dbf::kOffVersion] = m_version;
    Today(h + dbf::kOffDate);
    PutLe32(h + dbf::kOffCount, m_count);
    PutLe16(h + dbf::kOffHeaderLength, static_cast<std::uint16_t>(m_headerLength));
    const int rc = newDate ? m_file->Write(0, h, 10) : m_file->Write(4, h + 4, 6);
    if (rc != kOk) return Fail(rc, kLocWrite);
    m_headerChanged = false;
    return kOk;
}

// -------------------------------------------------------------- positioning

int TableImpl::PositionFromTag(int rc, std::uint32_t record) {
    if (rc == kEof) return GoEnd();
    if (rc != kOk) return Fail(rc < 0 ? rc : kErrIndex, kLocIndex);
    if (record == 0 || record > m_count) return Fail(kErrIndex, kLocIndex);
    if (int r = Load(record); r != kOk) return Fail(r, kLocRead);
    return kOk;
}

// The first (top) or last (bottom) record, in the selected tag's order or in
// record order.
int TableImpl::GoToExtreme(bool first) {
    if (Pending()) return kErrPending;
    if (int rc = WriteBack(); rc != kOk) return rc;
    if (m_selected) {
        cdx::Entry e;
        auto& tree = *m_selected->impl().tree;
        const int rc = first ? tree.First(e) : tree.Last(e);
        const int r = PositionFromTag(rc, e.record);
        if (r == kEof) m_atBeginning = true;
        return r;
    }
    if (m_count == 0) {
        GoEnd();
        m_atBeginning = true;
        return kEof;
    }
    if (int rc = Load(first ? 1 : m_count); rc != kOk) return Fail(rc, kLocRead);
    return kOk;
}

int TableImpl::Top() { return GoToExtreme(true); }

int TableImpl::Bottom() { return GoToExtreme(false); }

int TableImpl::Go(std::uint32_t record) {
    if (Pending()) return kErrPending;
    if (int rc = WriteBack(); rc != kOk) return rc;
    if (record == 0 || record > m_count) return GoEnd();
    if (int rc = Load(record); rc != kOk) return Fail(rc, kLocRead);
    return kOk;
}

int TableImpl::Skip(long count) {
    if (Pending()) return kErrPending;
    if (int rc = WriteBack(); rc != kOk) return rc;
    // Without a current record the skip starts from the top.
    if (m_record == 0) {
        if (int rc = Top(); rc != kOk) return rc;
    }
    if (!m_selected) {
        const long long target = static_cast<long long>(m_record) + count;
        if (target > static_cast<long long>(m_count)) return GoEnd();
        if (target < 1) {
            if (m_count == 0) {
                GoEnd();
                m_atBeginning = true;
                return kBof;
            }
            if (int rc = Load(1); rc != kOk) return Fail(rc, kLocRead);
            m_atBeginning = true;
            return kBof;
        }
        if (int rc = Load(static_cast<std::uint32_t>(target)); rc != kOk) return Fail(rc, kLocRead);
        return kOk;
    }
    cdx::Tree& tree = *m_selected->impl().tree;
    for (long step = 0; step != count; step += count > 0 ? 1 : -1) {
        cdx::Entry e;
        int rc;
        if (m_atEnd || m_record > m_count) {
            if (count > 0) return GoEnd();
            rc = tree.Last(e);
            if (rc == kEof) {
                GoEnd();
                m_atBeginning = true;
                return kBof;
            }
        } else {
            const auto key = m_selected->impl().KeyOf(m_stored.data());
            rc = count > 0 ? tree.After(key.data(), m_record, e) : tree.Before(key.data(), m_record, e);
            if (rc == kEof) return GoEnd();
            if (rc == kBof) {
                m_atBeginning = true;
                return kBof;
            }
        }
        if (int r = PositionFromTag(rc, e.record); r != kOk) return r;
    }
    return kOk;
}

int TableImpl::BeginLookUp(const void* bytes) {
    if (Pending()) return kErrPending;
    if (!bytes) return Fail(kErrNullPointer, kLocSeek);
    // A changed current record is written first, so that the index answers
    // for it as it is.
    if (int rc = WriteBack(); rc != kOk) return rc;
    return m_selected ? kOk : kNoTag;
}

int TableImpl::Seek(const void* bytes, std::size_t length, bool next) {
    if (int rc = BeginLookUp(bytes); rc != kOk) return rc;
    std::size_t n = 0;
    const auto search = SearchKey(bytes, length, n);
    if (next && m_record >= 1 && m_record <= m_count && !m_atEnd) {
        CdxTag& tag = m_selected->impl();
        const auto current = tag.KeyOf(m_stored.data());
        if (cdx::CompareKeys(current.data(), search.data(), n) == 0) {
            cdx::Entry e;
            const int rc = tag.tree->After(current.data(), m_record, e);
            if (rc == kEof) return kNoMore;
            if (int r = PositionFromTag(rc, e.record); r != kOk) return r;
            return cdx::CompareKeys(e.key.data(), search.data(), n) == 0 ? kOk : kNoMore;
        }
    }
    std::uint32_t record = 0;
    const int rc = FindInTag(search, n, record);
    if (rc == kEof) return GoEnd();
    if (rc < 0) return rc;
    if (int r = Load(record); r != kOk) return Fail(r, kLocRead);
    return rc;
}

int TableImpl::Find(const void* bytes, std::size_t length, std::uint32_t& record) {
    if (int rc = BeginLookUp(bytes); rc != kOk) return rc;
    std::size_t n = 0;
    const auto search = SearchKey(bytes, length, n);
    return FindInTag(search, n, record);
}

std::vector<std::uint8_t> TableImpl::SearchKey(const void* bytes, std::size_t length, std::size_t& compared) const {
    const CdxTag& tag = m_selected->impl();
    const unsigned keyLength = tag.expression.Length();
    std::vector<std::uint8_t> search(keyLength, 0);
    compared = std::min<std::size_t>(length, keyLength);
    std::memcpy(search.data(), bytes, compared);
    if (tag.expression.Type() != 'C') compared = keyLength;
    return search;
}

int TableImpl::FindInTag(const std::vector<std::uint8_t>& search, std::size_t compared, std::uint32_t& record) {
    cdx::Entry e;
    const int rc = m_selected->impl().tree->SeekPrefix(search.data(), compared, e);
    if (rc == kEof) return kEof;
    if (rc != kOk) return Fail(rc < 0 ? rc : kErrIndex, kLocIndex);
    if (e.record == 0 || e.record > m_count) return Fail(kErrIndex, kLocIndex);
    // Everything a read of the record would refuse short of the transfer
    // itself: a record the file does not hold, or a file failed before.
    std::uint64_t at = 0;
    if (int r = RecordOffset(e.record, at); r != kOk) return Fail(r, kLocRead);
    if (m_file->Failed()) return Fail(kErrReadWrite, kLocRead);
    record = e.record;
    return cdx::CompareKeys(e.key.data(), search.data(), compared) == 0 ? kOk : kAfter;
}

// ----------------------------------------------------------------- changes

int TableImpl::AppendStart() {
    if (Pending()) return kErrPending;
    if (int rc = WriteBack(); rc != kOk) return rc;
    // The buffer now belongs to the record being appended, not to the one
    // that was current: an append that is given up (a field that did not
    // fit) must not be written back over that record at the next move.
    m_record = m_count + 1;
    m_atEnd = true;
    return kOk;
}

void TableImpl::Blank() {
    std::fill(m_buffer.begin(), m_buffer.begin() + m_recordLength, ' ');
    m_changed = true;
}

int TableImpl::Append() {
    if (Pending()) return kErrPending;
    if (m_readOnly) return Fail(kErrReadWrite, kLocAppend);
    if (m_count == 0xFFFFFFFEu) return Fail(kErrGeneral, kLocAppend);
    const std::uint32_t record = m_count + 1;
    // Data first, beyond the counted records; the count in the header last.
    const std::uint64_t at = m_headerLength + std::uint64_t{m_count} * m_recordLength;
    m_buffer[m_recordLength] = dbf::kEndOfFile;
    const int rc = m_file->Write(at, m_buffer.data(), m_recordLength + 1);
    m_buffer[m_recordLength] = 0;
    if (rc != kOk) return Fail(rc, kLocAppend);
    if (m_index) {
        if (int r = m_index->AddRecord(record, m_buffer.data(), record); r != kOk) return Fail(r, kLocIndex);
    }
    m_count = record;
    // A file whose writes are held back gets its count at the next flush or
    // close (Settle): until then no one else can read it.
    if (m_file->HoldsWrites()) {
        m_headerChanged = true;
    } else if (int r = WriteHeader(true); r != kOk) {
        return r;
    }
    std::memcpy(m_stored.data(), m_buffer.data(), m_recordLength);
    m_record = record;
    m_changed = false;
    m_atEnd = m_atBeginning = false;
    return kOk;
}

int TableImpl::MarkDeleted() {
    if (Pending()) return kErrPending;
    if (m_record == 0 || m_record > m_count) return Fail(kErrGeneral, kLocWrite);
    m_buffer[0] = dbf::kDeleted;
    m_changed = true;
    return kOk;
}

int TableImpl::Pack() {
    if (Pending()) return kErrPending;
    if (m_readOnly) return Fail(kErrReadWrite, kLocPack);
    if (int rc = WriteBack(); rc != kOk) return rc;
    // Records move before the index is rebuilt: the index is marked as being
    // changed before any of that can reach the table file.
    if (m_index)
        if (int rc = m_index->File().RaiseMarker(); rc != kOk) return Fail(rc, kLocIndex);
    // Nothing of the pack reaches the table file before it is complete, with
    // its count: moved records written while others are still to move leave
    // records twice in the file (and lose some if the writing is cut short,
    // since a flush writes from the end of the file down). A pack of a table
    // larger than the cache holds its changes past the cache's limit.
    struct Keep {
        BufferedFile& file;
        explicit Keep(BufferedFile& f) : file(f) { file.KeepChanges(true); }
        ~Keep() { file.KeepChanges(false); }
    } keep(*m_file);
    // Largest buffers that can be had, shrinking by 2048 bytes.
    std::size_t size = std::max<std::size_t>(m_context.bufferSize, m_recordLength);
    std::vector<std::uint8_t> in, out;
    for (;;) {
        try {
            in.resize(size);
            out.resize(size);
            break;
        } catch (const std::bad_alloc&) {
            if (size <= m_recordLength + 2048) return Fail(kErrMemory, kLocPack);
            size -= 2048;
        }
    }
    const std::size_t perBuffer = std::max<std::size_t>(1, size / m_recordLength);
    std::uint32_t kept = 0;
    std::size_t pending = 0;
    auto flushOut = [&]() -> int {
        if (pending == 0) return kOk;
        const std::uint64_t at = m_headerLength + std::uint64_t{kept} * m_recordLength;
        if (int rc = m_file->Write(at, out.data(), pending * m_recordLength); rc != kOk) return rc;
        kept += static_cast<std::uint32_t>(pending);
        pending = 0;
        return kOk;
    };
    for (std::uint32_t first = 1; first <= m_count;) {
        const std::size_t n = std::min<std::size_t>(perBuffer, m_count - first + 1);
        const std::uint64_t at = m_headerLength + std::uint64_t{first - 1} * m_recordLength;
        if (int rc = m_file->Read(at, in.data(), n * m_recordLength); rc != kOk) return Fail(rc, kLocPack);
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint8_t* rec = in.data() + i * m_recordLength;
            if (rec[0] == static_cast<std::uint8_t>(dbf::kDeleted)) continue;
            std::memcpy(out.data() + pending * m_recordLength, rec, m_recordLength);
            if (++pending == perBuffer) {
                if (int rc = flushOut(); rc != kOk) return Fail(rc, kLocPack);
            }
        }
        first += static_cast<std::uint32_t>(n);
    }
    if (int rc = flushOut(); rc != kOk) return Fail(rc, kLocPack);
    const std::uint64_t end = m_headerLength + std::uint64_t{kept} * m_recordLength;
    const std::uint8_t eof = dbf::kEndOfFile;
    if (int rc = m_file->Write(end, &eof, 1); rc != kOk) return Fail(rc, kLocPack);
    if (int rc = m_file->Truncate(end + 1); rc != kOk) return Fail(rc, kLocPack);
    m_count = kept;
    if (m_index) {
        if (int rc = m_index->Rebuild(); rc != kOk) return Fail(rc, kLocIndex);
    }
    if (int rc = WriteHeader(true); rc != kOk) return rc;
    std::fill(m_buffer.begin(), m_buffer.begin() + m_recordLength, ' ');
    m_record = 0;
    m_atEnd = m_atBeginning = kept == 0;
    return kOk;
}

int TableImpl::Reindex() {
    if (Pending()) return kErrPending;
    if (m_readOnly) return Fail(kErrReadWrite, kLocIndex);
    if (int rc = WriteBack(); rc != kOk) return rc;
    if (!m_index) return kOk;
    if (int rc = m_index->Rebuild(); rc != kOk) return Fail(rc, kLocIndex);
    // Done as a whole: the marker that the rebuild raised comes down here.
    if (int rc = Settle(); rc != kOk) return Fail(rc, kLocIndex);
    return kOk;
}

int TableImpl::Flush() {
    if (Pending()) return kErrPending;
    if (int rc = WriteBack(); rc != kOk) return rc;
    if (m_headerChanged)
        if (int rc = WriteHeader(true); rc != kOk) return rc;
    if (int rc = Settle(); rc != kOk) return Fail(rc, kLocWrite);
    return kOk;
}

int TableImpl::Close() {
    int result = kOk;
    const bool failed = m_file->Failed() || (m_index && m_index->File().Failed());
    if (!failed) {
        if (int rc = WriteBack(); rc != kOk) result = rc;
        if (result == kOk && m_headerChanged) result = WriteHeader(true);
        if (result == kOk) {
            if (int rc = Settle(); rc != kOk) result = Fail(rc, kLocClose);
        }
    } else {
        result = Fail(kErrReadWrite, kLocClose);
    }
    // Whatever could not be written is dropped with the table.
    auto& tables = m_context.state().tables;
    for (auto it = tables.begin(); it != tables.end(); ++it) {
        if (it->get() == &m_self) {
            std::unique_ptr<DbTable> doomed = std::move(*it);
            tables.erase(it);
            return result;  // `this` is destroyed with `doomed` here
        }
    }
    return result;
}

// ------------------------------------------------------- DbTable forwarding

DbTable::DbTable() = default;
DbTable::~DbTable() = default;
DbTag::DbTag() = default;
DbTag::~DbTag() = default;

DbTable* DbTable::Create(DbContext& c, const char* n, const DbFieldInfo* f, const DbTagInfo* t) {
    return TableImpl::Create(c, n, f, t);
}
DbTable* DbTable::Open(DbContext& c, const char* n) { return TableImpl::Open(c, n); }
DbField* DbTable::Field(const char* name) { return m_impl->FieldByName(name); }
DbTag* DbTable::Tag(const char* name) { return m_impl->m_index ? m_impl->m_index->TagByName(name) : nullptr; }
int DbTable::FieldCount() const { return m_impl->FieldCountConst(); }
DbField* DbTable::FieldAt(int index) { return m_impl->FieldAt(index); }
int DbTable::TagCount() const { return m_impl->m_index ? m_impl->m_index->TagCount() : 0; }
DbTag* DbTable::TagAt(int index) {
    if (!m_impl->m_index || index < 0 || index >= m_impl->m_index->TagCount()) return nullptr;
    return m_impl->m_index->TagAt(index);
}
void DbTable::SelectTag(DbTag* tag) { m_impl->m_selected = tag; }
DbTag* DbTable::SelectedTag() const { return m_impl->m_selected; }
int DbTable::Top() { return m_impl->Top(); }
int DbTable::Bottom() { return m_impl->Bottom(); }
int DbTable::Skip(long count) { return m_impl->Skip(count); }
int DbTable::Go(std::uint32_t recordNumber) { return m_impl->Go(recordNumber); }
int DbTable::AppendStart() { return m_impl->AppendStart(); }
void DbTable::Blank() { m_impl->Blank(); }
int DbTable::Append() { return m_impl->Append(); }
int DbTable::MarkDeleted() { return m_impl->MarkDeleted(); }
bool DbTable::IsDeleted() const { return m_impl->m_buffer[0] == dbf::kDeleted; }
int DbTable::Pack() { return m_impl->Pack(); }
int DbTable::Reindex() { return m_impl->Reindex(); }
int DbTable::Flush() { return m_impl->Flush(); }
int DbTable::Close() { return m_impl->Close(); }
int DbTable::Seek(const char* text) {
    if (!text) return m_impl->Fail(kErrNullPointer, kLocSeek);
    return m_impl->Seek(text, std::strlen(text), false);
}
int DbTable::SeekBytes(const void* bytes, std::size_t length) { return m_impl->Seek(bytes, length, false); }
int DbTable::SeekNext(const char* text) {
    if (!text) return m_impl->Fail(kErrNullPointer, kLocSeek);
    return m_impl->Seek(text, std::strlen(text), true);
}
int DbTable::SeekNextBytes(const void* bytes, std::size_t length) { return m_impl->Seek(bytes, length, true); }
std::uint32_t DbTable::RecordNumber() const { return m_impl->m_record; }
std::uint32_t DbTable::RecordCount() const { return m_impl->m_count; }
bool DbTable::AtEnd() const { return m_impl->m_atEnd; }
bool DbTable::AtBeginning() const { return m_impl->m_atBeginning; }
const char* DbTable::RecordBuffer() const { return reinterpret_cast<const char*>(m_impl->m_buffer.data()); }
unsigned DbTable::RecordLength() const { return m_impl->m_recordLength; }
unsigned DbTable::HeaderLength() const { return m_impl->m_headerLength; }
DbContext& DbTable::Context() { return m_impl->m_context; }
int DbTable::OpenIndex(const char* name) {
    if (m_impl->Pending()) return kErrPending;
    if (!name) return m_impl->Fail(kErrNullPointer, kLocOpenIndex);
    const std::string path = TableFileName(name, ".CDX");
    if (int rc = m_impl->OpenIndex(path, true); rc != kOk) return m_impl->Fail(rc, kLocOpenIndex);
    return kOk;
}

const char* DbTag::Name() const { return m_impl->name.c_str(); }
const char* DbTag::Expression() const { return m_impl->expression.Text().c_str(); }
unsigned DbTag::KeyLength() const { return m_impl->expression.Length(); }

}  // namespace tvx::db
