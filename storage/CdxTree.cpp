#include "storage/CdxTree.h"

#include "storage/Endian.h"

#include <algorithm>
#include <cstring>

namespace tvx::db::cdx {

using namespace tvx::db::endian;

int CompareKeys(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) {
    return n == 0 ? 0 : std::memcmp(a, b, n);
}

namespace {

int CompareFull(const std::uint8_t* a, std::uint32_t ra, const std::uint8_t* b, std::uint32_t rb, std::size_t n) {
    if (int c = CompareKeys(a, b, n); c != 0) return c;
    return ra < rb ? -1 : ra > rb ? 1 : 0;
}

bool ValidOffset(std::uint32_t offset, std::uint64_t size) {
    return offset != kNone && offset % kBlock == 0 && offset >= kBlock && std::uint64_t{offset} + kBlock <= size;
}

}  // namespace

int Tree::ReadNode(std::uint32_t offset, Node& node) {
    if (!ValidOffset(offset, m_file.Size())) return kErrIndex;
    std::uint8_t block[kBlock];
    if (int rc = m_file.Read(offset, block, kBlock); rc != kOk) return rc;
    return DecodeNode(block, offset, m_keyLength, m_pad, node) ? kOk : kErrIndex;
}

int Tree::WriteNode(const Node& node, std::uint64_t records) {
    std::uint8_t block[kBlock];
    if (!EncodeNode(node, m_pad, records, block)) return kErrIndex;
    return m_file.Write(node.offset, block, kBlock);
}

int Tree::Descend(const std::function<int(const std::uint8_t*, std::uint32_t)>& compare, Path& path, bool insert) {
    (void)insert;
    path.clear();
    std::uint32_t offset = m_root;
    for (std::size_t depth = 0; depth < kMaxDepth; ++depth) {
        Frame f;
        if (int rc = ReadNode(offset, f.node); rc != kOk) return rc;
        const std::size_t n = f.node.Count();
        std::size_t i = 0;
        while (i < n && compare(f.node.Key(i), f.node.records[i]) < 0) ++i;
        if (f.node.Leaf()) {
            f.index = i;
            path.push_back(std::move(f));
            return kOk;
        }
        if (n == 0) return kErrIndex;
        // Past every entry: the last child, whose end the caller steps over.
        f.index = std::min(i, n - 1);
        offset = f.node.children[f.index];
        path.push_back(std::move(f));
    }
    return kErrIndex;
}

int Tree::Next(Path& path) {
    ++path.back().index;
    const std::uint64_t budget = m_file.Size() / kBlock + kMaxDepth;
    for (std::uint64_t step = 0; step < budget; ++step) {
        if (path.back().index < path.back().node.Count()) return kOk;
        path.pop_back();
        while (!path.empty() && path.back().index + 1 >= path.back().node.Count()) path.pop_back();
        if (path.empty()) return kEof;
        ++path.back().index;
        while (!path.back().node.Leaf()) {
            if (path.size() >= kMaxDepth) return kErrIndex;
            Frame c;
            if (int rc = ReadNode(path.back().node.children[path.back().index], c.node); rc != kOk) return rc;
            if (!c.node.Leaf() && c.node.Count() == 0) return kErrIndex;
            path.push_back(std::move(c));
        }
    }
    return kErrIndex;
}

int Tree::Prev(Path& path) {
    const std::uint64_t budget = m_file.Size() / kBlock + kMaxDepth;
    for (std::uint64_t step = 0; step < budget; ++step) {
        Frame& f = path.back();
        if (f.index > 0 && f.node.Count() > 0) {
            f.index = std::min(f.index - 1, f.node.Count() - 1);
            return kOk;
        }
        path.pop_back();
        while (!path.empty() && path.back().index == 0) path.pop_back();
        if (path.empty()) return kBof;
        --path.back().index;
        while (!path.back().node.Leaf()) {
            if (path.size() >= kMaxDepth) return kErrIndex;
            Frame c;
            if (int rc = ReadNode(path.back().node.children[path.back().index], c.node); rc != kOk) return rc;
            c.index = c.node.Count();
            if (!c.node.Leaf()) {
                if (c.index == 0) return kErrIndex;
                --c.index;
            }
            path.push_back(std::move(c));
        }
    }
    return kErrIndex;
}

int Tree::Current(const Path& path, Entry& out) const {
    const Frame& f = path.back();
    if (f.index >= f.node.Count()) return kEof;
    out.key.assign(f.node.Key(f.index), f.node.Key(f.index) + m_keyLength);
    out.record = f.node.records[f.index];
    return kOk;
}

int Tree::First(Entry& out) {
    Path path;
    if (int rc = Descend([](const std::uint8_t*, std::uint32_t) { return 0; }, path, false); rc != kOk) return rc;
    --path.back().index;  // Next() steps onto index 0 (or over an empty leaf)
    if (int rc = Next(path); rc != kOk) return rc;
    return Current(path, out);
}

int Tree::Last(Entry& out) {
    Path path;
    if (int rc = Descend([](const std::uint8_t*, std::uint32_t) { return -1; }, path, false); rc != kOk) return rc;
    if (int rc = Prev(path); rc != kOk) return rc == kBof ? kEof : rc;
    return Current(path, out);
}

int Tree::SeekPrefix(const std::uint8_t* key, std::size_t n, Entry& out) {
    Path path;
    n = std::min<std::size_t>(n, m_keyLength);
    auto cmp = [&](const std::uint8_t* k, std::uint32_t) { return CompareKeys(k, key, n); };
    if (int rc = Descend(cmp, path, false); rc != kOk) return rc;
    --path.back().index;
    if (int rc = Next(path); rc != kOk) return rc;
    return Current(path, out);
}

int Tree::After(const std::uint8_t* key, std::uint32_t record, Entry& out) {
    Path path;
    auto cmp = [&](const std::uint8_t* k, std::uint32_t r) {
        return CompareFull(k, r, key, record, m_keyLength) > 0 ? 1 : -1;
    };
    if (int rc = Descend(cmp, path, false); rc != kOk) return rc;
    --path.back().index;
    if (int rc = Next(path); rc != kOk) return rc;
    return Current(path, out);
}

int Tree::Before(const std::uint8_t* key, std::uint32_t record, Entry& out) {
    Path path;
    auto cmp = [&](const std::uint8_t* k, std::uint32_t r) { return CompareFull(k, r, key, record, m_keyLength); };
    if (int rc = Descend(cmp, path, false); rc != kOk) return rc;
    if (int rc = Prev(path); rc != kOk) return rc;
    return Current(path, out);
}

int Tree::Walk(const std::function<int(const std::uint8_t*, std::uint32_t)>& visit) {
    Path path;
    if (int rc = Descend([](const std::uint8_t*, std::uint32_t) { return 0; }, path, false); rc != kOk) return rc;
    --path.back().index;
    const std::uint64_t limit = (m_file.Size() / kBlock + 1) * kKeyArea;
    for (std::uint64_t seen = 0;; ++seen) {
        if (seen > limit) return kErrIndex;
        int rc = Next(path);
        if (rc == kEof) return kOk;
        if (rc != kOk) return rc;
        const Frame& f = path.back();
        if (int v = visit(f.node.Key(f.index), f.node.records[f.index]); v != 0) return v;
    }
}

int Tree::VisitNodes(const std::function<int(const Node&, std::size_t)>& visit) {
    struct Item {
        std::uint32_t offset;
        std::size_t depth;
    };
    std::vector<Item> stack{{m_root, 0}};
    const std::uint64_t limit = m_file.Size() / kBlock + 1;
    for (std::uint64_t seen = 0; !stack.empty(); ++seen) {
        if (seen > limit) return kErrIndex;
        Item it = stack.back();
        stack.pop_back();
        if (it.depth >= kMaxDepth) return kErrIndex;
        Node node;
        if (int rc = ReadNode(it.offset, node); rc != kOk) return rc;
        if (int v = visit(node, it.depth); v != 0) return v;
        if (!node.Leaf())
            for (std::size_t i = node.Count(); i-- > 0;) stack.push_back({node.children[i], it.depth + 1});
    }
    return kOk;
}

int Tree::PatchLink(std::uint32_t node, std::size_t field, std::uint32_t value) {
    if (node == kNone || node == 0) return kOk;
    if (!ValidOffset(node, m_file.Size())) return kErrIndex;
    std::uint8_t bytes[4];
    PutLe32(bytes, value);
    return m_file.Write(std::uint64_t{node} + field, bytes, 4);
}

int Tree::Allocate(std::uint32_t& offset) {
    const std::uint64_t size = m_file.Size();
    if (m_free != kNone && m_free != 0) {
        if (ValidOffset(m_free, size)) {
            std::uint8_t next[4];
            if (int rc = m_file.Read(std::uint64_t{m_free} + 4, next, 4); rc != kOk) return rc;
            offset = m_free;
            m_free = Le32(next);
            return kOk;
        }
        m_free = kNone;  // a damaged list is dropped, never followed
    }
    const std::uint64_t end = (size + kBlock - 1) / kBlock * kBlock;
    if (end + kBlock > 0xFFFFFE00u) return kErrIndex;
    std::uint8_t zero[kBlock] = {};
    if (int rc = m_file.Write(end, zero, kBlock); rc != kOk) return rc;
    offset = static_cast<std::uint32_t>(end);
    return kOk;
}

int Tree::Release(std::uint32_t offset) {
    std::uint8_t block[kBlock] = {};
    PutLe32(block + 4, m_free);
    if (int rc = m_file.Write(offset, block, kBlock); rc != kOk) return rc;
    m_free = offset;
    return kOk;
}

namespace {

// Splits `n` leaf entries into pieces that each fit, of about equal bytes.
std::vector<std::pair<std::size_t, std::size_t>> SplitLeaf(const Node& node, unsigned entryBytes, std::uint8_t pad) {
    const std::size_t n = node.Count();
    const std::size_t total = LeafBytes(node, 0, n, entryBytes, pad);
    const std::size_t pieces = std::max<std::size_t>(2, (total + kKeyArea - 1) / kKeyArea);
    const std::size_t target = total / pieces + 1;
    std::vector<std::pair<std::size_t, std::size_t>> out;
    std::size_t begin = 0;
    while (begin < n) {
        std::size_t end = begin + 1;
        while (end < n && LeafBytes(node, begin, end + 1, entryBytes, pad) <= target) ++end;
        out.emplace_back(begin, end);
        begin = end;
    }
    // Pieces over capacity (keys that compress badly) are cut further.
    std::vector<std::pair<std::size_t, std::size_t>> fitted;
    for (auto [b, e] : out) {
        while (b < e) {
            std::size_t end = b + 1;
            while (end < e && LeafBytes(node, b, end + 1, entryBytes, pad) <= kKeyArea) ++end;
            fitted.emplace_back(b, end);
            b = end;
        }
    }
    return fitted;
}

std::vector<std::pair<std::size_t, std::size_t>> SplitInterior(std::size_t n, std::size_t capacity) {
    const std::size_t pieces = std::max<std::size_t>(2, (n + capacity - 1) / capacity);
    std::vector<std::pair<std::size_t, std::size_t>> out;
    std::size_t begin = 0;
    for (std::size_t p = 0; p < pieces; ++p) {
        const std::size_t end = begin + (n - begin) / (pieces - p);
        if (end > begin) out.emplace_back(begin, end);
        begin = end;
    }
    return out;
}

}  // namespace

int Tree::Store(Path& path, std::size_t level, std::uint64_t records) {
    Node& node = path[level].node;
    if (node.Count() == 0) {
        if (level == 0) {  // an empty tree is one empty root leaf
            node.kind = kKindRoot | kKindLeaf;
            node.children.clear();
            return WriteNode(node, records);
        }
        if (int rc = PatchLink(node.left, kOffRight, node.right); rc != kOk) return rc;
        if (int rc = PatchLink(node.right, kOffLeft, node.left); rc != kOk) return rc;
        if (int rc = Release(node.offset); rc != kOk) return rc;
        Frame& parent = path[level - 1];
        parent.node.Erase(parent.index);
        return Store(path, level - 1, records);
    }
    std::uint8_t block[kBlock];
    if (EncodeNode(node, m_pad, records, block)) {
        if (int rc = m_file.Write(node.offset, block, kBlock); rc != kOk) return rc;
        if (level == 0) return kOk;
        Frame& parent = path[level - 1];
        const std::size_t last = node.Count() - 1;
        std::uint8_t* pk = parent.node.Key(parent.index);
        if (std::memcmp(pk, node.Key(last), m_keyLength) == 0 && parent.node.records[parent.index] == node.records[last])
            return kOk;
        std::memcpy(pk, node.Key(last), m_keyLength);
        parent.node.records[parent.index] = node.records[last];
        return Store(path, level - 1, records);
    }
    // Split: the last piece keeps the node's place, new nodes take the rest.
    std::vector<std::pair<std::size_t, std::size_t>> ranges;
    if (node.Leaf()) {
        std::uint32_t highest = 0;
        for (auto r : node.records) highest = std::max(highest, r);
        ranges = SplitLeaf(node, WidthsFor(m_keyLength, std::max<std::uint64_t>(records, highest)).Bytes(), m_pad);
    } else {
        ranges = SplitInterior(node.Count(), InteriorCapacity(m_keyLength));
    }
    if (ranges.size() < 2) return kErrIndex;
    std::vector<Node> pieces;
    for (auto [b, e] : ranges) pieces.push_back(node.Slice(b, e));
    for (std::size_t i = 0; i + 1 < pieces.size(); ++i) {
        if (int rc = Allocate(pieces[i].offset); rc != kOk) return rc;
    }
    pieces.back().offset = node.offset;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        pieces[i].kind = static_cast<std::uint16_t>(node.kind & ~kKindRoot);
        pieces[i].left = i == 0 ? node.left : pieces[i - 1].offset;
        pieces[i].right = i + 1 == pieces.size() ? node.right : pieces[i + 1].offset;
    }
    if (int rc = PatchLink(node.left, kOffRight, pieces.front().offset); rc != kOk) return rc;
    for (const Node& p : pieces) {
        if (int rc = WriteNode(p, records); rc != kOk) return rc;
    }
    Node parentEntries;
    parentEntries.keyLength = m_keyLength;
    for (const Node& p : pieces) parentEntries.Insert(parentEntries.Count(), p.Key(p.Count() - 1), p.records.back(), 0);
    if (level == 0) {
        Path top(1);
        top[0].node = Node{};
        top[0].node.kind = kKindRoot;
        top[0].node.keyLength = m_keyLength;
        if (int rc = Allocate(top[0].node.offset); rc != kOk) return rc;
        for (std::size_t i = 0; i < pieces.size(); ++i)
            top[0].node.Insert(i, pieces[i].Key(pieces[i].Count() - 1), pieces[i].records.back(), pieces[i].offset);
        m_root = top[0].node.offset;
        return Store(top, 0, records);
    }
    Frame& parent = path[level - 1];
    const std::size_t at = parent.index;
    parent.node.Erase(at);
    for (std::size_t i = 0; i < pieces.size(); ++i)
        parent.node.Insert(at + i, pieces[i].Key(pieces[i].Count() - 1), pieces[i].records.back(), pieces[i].offset);
    return Store(path, level - 1, records);
}

int Tree::Insert(const std::uint8_t* key, std::uint32_t record, std::uint64_t records) {
    Path path;
    auto cmp = [&](const std::uint8_t* k, std::uint32_t r) { return CompareFull(k, r, key, record, m_keyLength); };
    if (int rc = Descend(cmp, path, true); rc != kOk) return rc;
    Frame& leaf = path.back();
    leaf.node.Insert(leaf.index, key, record, 0);
    if (int rc = Store(path, path.size() - 1, records); rc != kOk) return rc;
    return WriteHeader();
}

int Tree::Remove(const std::uint8_t* key, std::uint32_t record, std::uint64_t records) {
    Path path;
    auto cmp = [&](const std::uint8_t* k, std::uint32_t r) { return CompareFull(k, r, key, record, m_keyLength); };
    if (int rc = Descend(cmp, path, false); rc != kOk) return rc;
    Frame& leaf = path.back();
    if (leaf.index >= leaf.node.Count() || CompareFull(leaf.node.Key(leaf.index), leaf.node.records[leaf.index], key,
                                                       record, m_keyLength) != 0)
        return kErrIndex;  // the key is not where the table says it is
    leaf.node.Erase(leaf.index);
    if (int rc = Store(path, path.size() - 1, records); rc != kOk) return rc;
    return WriteHeader();
}

int Tree::Build(const std::vector<Entry>& sorted, std::uint64_t records) {
    Node all;
    all.kind = kKindLeaf;
    all.keyLength = m_keyLength;
    all.keys.reserve(sorted.size() * m_keyLength);
    for (const Entry& e : sorted) {
        all.keys.insert(all.keys.end(), e.key.begin(), e.key.end());
        all.records.push_back(e.record);
    }
    std::vector<Node> level;
    if (sorted.empty()) {
        level.push_back(all);
    } else {
        const unsigned bytes = WidthsFor(m_keyLength, records).Bytes();
        std::size_t begin = 0;
        const std::size_t n = all.Count();
        while (begin < n) {
            // Leaves are filled as far as they go: a rebuilt tag is mostly read.
            std::size_t end = begin + 1;
            std::size_t used = LeafBytes(all, begin, end, bytes, m_pad);
            while (end < n) {
                const std::size_t more = EntryBytes(all.Key(end - 1), all.Key(end), m_keyLength, bytes, m_pad);
                if (used + more > kKeyArea) break;
                used += more;
                ++end;
            }
            level.push_back(all.Slice(begin, end));
            begin = end;
        }
    }
    for (;;) {
        std::uint64_t at = (m_file.Size() + kBlock - 1) / kBlock * kBlock;
        if (at + level.size() * kBlock > 0xFFFFFE00u) return kErrIndex;
        for (std::size_t i = 0; i < level.size(); ++i) level[i].offset = static_cast<std::uint32_t>(at + i * kBlock);
        for (std::size_t i = 0; i < level.size(); ++i) {
            level[i].left = i == 0 ? kNone : level[i - 1].offset;
            level[i].right = i + 1 == level.size() ? kNone : level[i + 1].offset;
            if (level.size() == 1) level[i].kind |= kKindRoot;
            if (int rc = WriteNode(level[i], records); rc != kOk) return rc;
        }
        if (level.size() == 1) break;
        Node entries;
        entries.kind = 0;
        entries.keyLength = m_keyLength;
        for (const Node& c : level) entries.Insert(entries.Count(), c.Key(c.Count() - 1), c.records.back(), c.offset);
        const std::size_t cap = InteriorCapacity(m_keyLength);
        std::vector<Node> upper;
        for (std::size_t b = 0; b < entries.Count(); b += cap)
            upper.push_back(entries.Slice(b, std::min(entries.Count(), b + cap)));
        level = std::move(upper);
    }
    m_root = level.front().offset;
    m_free = kNone;
    return WriteHeader();
}

int Tree::WriteHeader() {
    ++m_counter;
    std::uint8_t bytes[12];
    PutLe32(bytes, m_root);
    PutLe32(bytes + 4, m_free);
    PutBe32(bytes + 8, m_counter);
    return m_file.Write(m_header, bytes, sizeof bytes);
}

}  // namespace tvx::db::cdx
