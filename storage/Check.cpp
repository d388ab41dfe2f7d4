#include "storage/Check.h"

#include "storage/CdxIndex.h"
#include "storage/DbfFormat.h"
#include "storage/TableImpl.h"

#include <cstring>
#include <set>

namespace tvx::db {

namespace {

std::string Str(const char* what, std::uint64_t a, std::uint64_t b) {
    return std::string(what) + " (" + std::to_string(a) + " vs " + std::to_string(b) + ")";
}

void CheckTree(TableImpl& t, const std::string& name, cdx::Tree& tree, const CdxTag* tag,
               std::set<std::uint32_t>& usedBlocks, std::vector<std::string>& problems) {
    const std::uint64_t size = t.m_index->File().Size();
    int rc = tree.VisitNodes([&](const cdx::Node& node, std::size_t) {
        if (node.offset % cdx::kBlock != 0 || node.offset + std::uint64_t{cdx::kBlock} > size)
            problems.push_back(name + ": node offset " + std::to_string(node.offset) + " outside the file");
        if (!usedBlocks.insert(node.offset).second)
            problems.push_back(name + ": node " + std::to_string(node.offset) + " reached twice");
        return 0;
    });
    if (rc != kOk) {
        problems.push_back(name + ": tree unreadable (code " + std::to_string(rc) + ")");
        return;
    }
    cdx::Shape shape;
    rc = tree.Inspect(shape);
    if (rc != kOk) {
        problems.push_back(name + ": tree unreadable (code " + std::to_string(rc) + ")");
        return;
    }
    for (const std::string& p : shape.problems) problems.push_back(name + ": " + p);
    std::vector<std::uint8_t> previous;
    std::uint32_t previousRecord = 0;
    std::vector<std::uint32_t> seen(tag ? t.m_count + 1 : 0, 0);
    std::vector<std::uint8_t> record(t.m_recordLength);
    rc = tree.Walk([&](const std::uint8_t* key, std::uint32_t rec) {
        const unsigned n = tree.KeyLength();
        if (!previous.empty()) {
            const int c = cdx::CompareKeys(previous.data(), key, n);
            if (c > 0 || (c == 0 && previousRecord >= rec))
                problems.push_back(name + ": keys out of order at record " + std::to_string(rec));
        }
        previous.assign(key, key + n);
        previousRecord = rec;
        if (!tag) return 0;
        if (rec == 0 || rec > t.m_count) {
            problems.push_back(name + ": key for record " + std::to_string(rec) + " beyond the count");
            return 0;
        }
        ++seen[rec];
        if (t.ReadRecord(rec, record.data()) == kOk) {
            if (tag->KeyOf(record.data()) != std::vector<std::uint8_t>(key, key + n))
                problems.push_back(name + ": key of record " + std::to_string(rec) + " differs from the record");
        }
        return 0;
    });
    if (rc != kOk) {
        problems.push_back(name + ": walk failed (code " + std::to_string(rc) + ")");
        return;
    }
    for (std::uint32_t r = 1; tag && r <= t.m_count; ++r) {
        if (seen[r] != 1)
            problems.push_back(name + ": record " + std::to_string(r) + " has " + std::to_string(seen[r]) + " keys");
    }
    // Free list: inside the file, not in the tree, no cycle.
    std::uint32_t free = tree.FreeHead();
    for (std::uint64_t steps = 0; free != cdx::kNone && free != 0; ++steps) {
        if (steps > size / cdx::kBlock || free % cdx::kBlock != 0 || free + std::uint64_t{cdx::kBlock} > size) {
            problems.push_back(name + ": free list broken at " + std::to_string(free));
            break;
        }
        if (!usedBlocks.insert(free).second) {
            problems.push_back(name + ": free node " + std::to_string(free) + " is in use");
            break;
        }
        std::uint8_t next[4];
        if (t.m_index->File().Read(std::uint64_t{free} + 4, next, 4) != kOk) break;
        free = static_cast<std::uint32_t>(next[0] | (next[1] << 8) | (next[2] << 16) |
                                          (static_cast<std::uint32_t>(next[3]) << 24));
    }
}

}  // namespace

std::vector<std::string> CheckTable(DbTable& table) {
    std::vector<std::string> problems;
    TableImpl& t = table.impl();
    const std::uint64_t size = t.m_file->Size();
    const std::uint64_t expected = t.m_headerLength + std::uint64_t{t.m_count} * t.m_recordLength + 1;
    if (size != expected) problems.push_back(Str("table size does not match header count", size, expected));
    std::uint8_t last = 0;
    if (size > 0 && t.m_file->Read(size - 1, &last, 1) == kOk && last != dbf::kEndOfFile)
        problems.push_back("table does not end with the end-of-file byte");
    if (!t.m_index) return problems;
    std::set<std::uint32_t> used;
    CheckTree(t, "directory", t.m_index->Directory(), nullptr, used, problems);
    for (int i = 0; i < t.m_index->TagCount(); ++i) {
        CdxTag& tag = t.m_index->TagAt(i)->impl();
        CheckTree(t, "tag " + tag.name, *tag.tree, &tag, used, problems);
    }
    return problems;
}

}  // namespace tvx::db
