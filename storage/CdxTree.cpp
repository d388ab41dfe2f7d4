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

// A hint that the bytes at `p` are about to be read (where the compiler
// offers one).
inline void Prefetch(const void* p) {
#if defined(__GNUC__)
    __builtin_prefetch(p);
#else
    (void)p;
#endif
}

bool ValidOffset(std::uint32_t offset, std::uint64_t size) {
    return offset != kNone && offset % kBlock == 0 && offset >= kBlock && std::uint64_t{offset} + kBlock <= size;
}

}  // namespace

int Tree::ViewNode(std::uint32_t offset, std::uint8_t* scratch, const std::uint8_t*& block) {
    if (!ValidOffset(offset, m_file.Size())) return kErrIndex;
    return m_file.View(offset, kBlock, scratch, block);
}

int Tree::ReadNode(std::uint32_t offset, Node& node) {
    std::uint8_t scratch[kBlock];
    const std::uint8_t* block = nullptr;
    if (int rc = ViewNode(offset, scratch, block); rc != kOk) return rc;
    return DecodeNode({block, kBlock}, offset, m_keyLength, m_pad, node) ? kOk : kErrIndex;
}

int Tree::PeekNode(std::uint32_t offset, bool& leaf, std::size_t& count) {
    // A leaf with a measure was written or read whole by this tree already.
    if (const std::size_t at = offset / kBlock; at < m_known.size() && m_known[at].known) {
        if (!ValidOffset(offset, m_file.Size())) return kErrIndex;
        leaf = true;
        count = m_known[at].count;
        return kOk;
    }
    std::uint8_t scratch[kBlock];
    const std::uint8_t* block = nullptr;
    if (int rc = ViewNode(offset, scratch, block); rc != kOk) return rc;
    const unsigned kind = Le16(block + kOffKind);
    if (kind > 7 || m_keyLength == 0 || m_keyLength > kInteriorArea - 8) return kErrIndex;
    leaf = (kind & kKindLeaf) != 0;
    if (leaf) {
        // A leaf is checked whole, as a read of it would check it.
        Node& node = m_scratch[0];
        if (!DecodeNode({block, kBlock}, offset, m_keyLength, m_pad, node)) return kErrIndex;
        count = node.Count();
        return kOk;
    }
    count = Le16(block + kOffCount);
    return count * (m_keyLength + 8) > kInteriorArea ? kErrIndex : kOk;
}

int Tree::Load(Frame& frame) {
    if (frame.loaded) return kOk;
    if (int rc = ReadNode(frame.offset, frame.node); rc != kOk) return rc;
    frame.loaded = true;
    return kOk;
}

int Tree::WriteNode(const Node& node, std::uint64_t records) {
    std::uint8_t block[kBlock];
    LeafMeasure measure;
    if (!EncodeNode(node, m_pad, records, block, &measure)) return kErrIndex;
    Forget(node.offset);
    if (int rc = m_file.Write(node.offset, block, kBlock); rc != kOk) return rc;
    if (node.Leaf()) Remember(node.offset, measure);
    return kOk;
}

// Interior nodes are searched where the cache holds them and left undecoded;
// only the leaf is decoded. An interior node's entries past the first that
// is >= the target are not compared: the last child is taken past every
// entry anyway.
template <typename Compare>
int Tree::Descend(const Compare& compare, Path& path) {
    path.clear();
    if (m_keyLength == 0 || m_keyLength > kInteriorArea - 8) return kErrIndex;
    const std::size_t entry = m_keyLength + 8;
    std::uint32_t offset = m_root;
    for (std::size_t depth = 0; depth < kMaxDepth; ++depth) {
        std::uint8_t scratch[kBlock];
        const std::uint8_t* block = nullptr;
        if (int rc = ViewNode(offset, scratch, block); rc != kOk) return rc;
        // The entries' child offsets lie in other cache lines than the
        // header and the first key: fetched while the first key is compared.
        Prefetch(block + kOffContents + m_keyLength + 4);
        Prefetch(block + kOffContents + entry + m_keyLength + 4);
        Frame& f = path.push();
        f.offset = offset;
        const unsigned kind = Le16(block + kOffKind);
        if (kind > 7) return kErrIndex;
        if (kind & kKindLeaf) {
            if (!DecodeNode({block, kBlock}, offset, m_keyLength, m_pad, f.node)) return kErrIndex;
            f.loaded = true;
            const std::size_t n = f.node.Count();
            std::size_t i = 0;
            while (i < n && compare(f.node.Key(i), f.node.records[i]) < 0) ++i;
            f.index = i;
            return kOk;
        }
        const std::size_t n = Le16(block + kOffCount);
        if (n == 0 || n * entry > kInteriorArea) return kErrIndex;
        const std::uint8_t* e = block + kOffContents;
        std::size_t i = 0;
        while (i + 1 < n && compare(e, Be32(e + m_keyLength)) < 0) {
            ++i;
            e += entry;
        }
        f.index = i;
        offset = Be32(e + m_keyLength + 4);
    }
    return kErrIndex;
}

int Tree::Next(Path& path) {
    ++path.back().index;
    const std::uint64_t budget = m_file.Size() / kBlock + kMaxDepth;
    for (std::uint64_t step = 0; step < budget; ++step) {
        if (path.back().index < path.back().node.Count()) return kOk;
        path.pop_back();
        while (!path.empty()) {
            if (int rc = Load(path.back()); rc != kOk) return rc;
            if (path.back().index + 1 < path.back().node.Count()) break;
            path.pop_back();
        }
        if (path.empty()) return kEof;
        ++path.back().index;
        while (!path.back().node.Leaf()) {
            if (path.size() >= kMaxDepth) return kErrIndex;
            const std::uint32_t child = path.back().node.children[path.back().index];
            Frame& c = path.push();
            c.offset = child;
            if (int rc = Load(c); rc != kOk) return rc;
            if (!c.node.Leaf() && c.node.Count() == 0) return kErrIndex;
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
        if (int rc = Load(path.back()); rc != kOk) return rc;
        --path.back().index;
        while (!path.back().node.Leaf()) {
            if (path.size() >= kMaxDepth) return kErrIndex;
            const std::uint32_t child = path.back().node.children[path.back().index];
            Frame& c = path.push();
            c.offset = child;
            if (int rc = Load(c); rc != kOk) return rc;
            c.index = c.node.Count();
            if (!c.node.Leaf()) {
                if (c.index == 0) return kErrIndex;
                --c.index;
            }
        }
    }
    return kErrIndex;
}

int Tree::Current(Path& path, Entry& out) {
    const Frame& f = path.back();
    if (f.index >= f.node.Count()) return kEof;
    out.key.assign(f.node.Key(f.index), f.node.Key(f.index) + m_keyLength);
    out.record = f.node.records[f.index];
    return kOk;
}

int Tree::First(Entry& out) {
    Path& path = m_path;
    if (int rc = Descend([](const std::uint8_t*, std::uint32_t) { return 0; }, path); rc != kOk) return rc;
    --path.back().index;  // Next() steps onto index 0 (or over an empty leaf)
    if (int rc = Next(path); rc != kOk) return rc;
    return Current(path, out);
}

int Tree::Last(Entry& out) {
    Path& path = m_path;
    if (int rc = Descend([](const std::uint8_t*, std::uint32_t) { return -1; }, path); rc != kOk) return rc;
    if (int rc = Prev(path); rc != kOk) return rc == kBof ? kEof : rc;
    return Current(path, out);
}

int Tree::SeekPrefix(const std::uint8_t* key, std::size_t n, Entry& out) {
    Path& path = m_path;
    n = std::min<std::size_t>(n, m_keyLength);
    auto cmp = [&](const std::uint8_t* k, std::uint32_t) { return CompareKeys(k, key, n); };
    if (int rc = Descend(cmp, path); rc != kOk) return rc;
    --path.back().index;
    if (int rc = Next(path); rc != kOk) return rc;
    return Current(path, out);
}

int Tree::After(const std::uint8_t* key, std::uint32_t record, Entry& out) {
    Path& path = m_path;
    auto cmp = [&](const std::uint8_t* k, std::uint32_t r) {
        return CompareFull(k, r, key, record, m_keyLength) > 0 ? 1 : -1;
    };
    if (int rc = Descend(cmp, path); rc != kOk) return rc;
    --path.back().index;
    if (int rc = Next(path); rc != kOk) return rc;
    return Current(path, out);
}

int Tree::Before(const std::uint8_t* key, std::uint32_t record, Entry& out) {
    Path& path = m_path;
    auto cmp = [&](const std::uint8_t* k, std::uint32_t r) { return CompareFull(k, r, key, record, m_keyLength); };
    if (int rc = Descend(cmp, path); rc != kOk) return rc;
    if (int rc = Prev(path); rc != kOk) return rc;
    return Current(path, out);
}

// A path of its own: the visitor may use the tree.
int Tree::Walk(const std::function<int(const std::uint8_t*, std::uint32_t)>& visit) {
    Path path;
    if (int rc = Descend([](const std::uint8_t*, std::uint32_t) { return 0; }, path); rc != kOk) return rc;
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

int Tree::Inspect(Shape& out) {
    out = Shape{};
    struct Item {
        std::uint32_t offset;
        std::vector<std::uint8_t> key;  // the parent's entry for the node
        std::uint32_t record;
    };
    std::vector<Item> level{{m_root, {}, 0}};
    std::uint64_t budget = m_file.Size() / kBlock + 1;
    for (std::size_t depth = 0; !level.empty(); ++depth) {
        if (depth >= kMaxDepth) return kErrIndex;
        const std::string where = "level " + std::to_string(depth);
        ++out.depth;
        std::vector<Item> below;
        std::size_t leaves = 0;
        for (std::size_t i = 0; i < level.size(); ++i) {
            if (budget-- == 0) return kErrIndex;
            Node node;
            if (int rc = ReadNode(level[i].offset, node); rc != kOk) return rc;
            const std::uint32_t left = i == 0 ? kNone : level[i - 1].offset;
            const std::uint32_t right = i + 1 == level.size() ? kNone : level[i + 1].offset;
            auto none = [](std::uint32_t v) { return v == kNone || v == 0 ? kNone : v; };
            if (none(node.left) != left || none(node.right) != right)
                out.problems.push_back(where + ": node " + std::to_string(node.offset) + " has wrong neighbour links");
            if (depth > 0) {
                if (node.Count() == 0) {
                    out.problems.push_back(where + ": node " + std::to_string(node.offset) + " is empty");
                } else if (CompareKeys(node.Key(node.Count() - 1), level[i].key.data(), m_keyLength) != 0 ||
                           node.records.back() != level[i].record) {
                    out.problems.push_back(where + ": node " + std::to_string(node.offset) +
                                           " does not end with its parent's key");
                }
            }
            if (node.Leaf()) {
                ++leaves;
                continue;
            }
            ++out.interior;
            if (node.Count() == 1) ++out.unary;
            if (node.Count() == 0 && depth == 0) out.problems.push_back("empty interior root");
            for (std::size_t k = 0; k < node.Count(); ++k)
                below.push_back({node.children[k], {node.Key(k), node.Key(k) + m_keyLength}, node.records[k]});
        }
        out.leaves += leaves;
        if (leaves != 0 && !below.empty()) out.problems.push_back(where + ": leaves and interior nodes mixed");
        level = std::move(below);
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
            Forget(offset);
            return kOk;
        }
        m_free = kNone;  // a damaged list is dropped, never followed
    }
    const std::uint64_t end = (size + kBlock - 1) / kBlock * kBlock;
    if (end + kBlock > 0xFFFFFE00u) return kErrIndex;
    std::uint8_t zero[kBlock] = {};
    if (int rc = m_file.Write(end, zero, kBlock); rc != kOk) return rc;
    offset = static_cast<std::uint32_t>(end);
    Forget(offset);
    return kOk;
}

int Tree::Release(std::uint32_t offset) {
    Forget(offset);
    std::uint8_t block[kBlock] = {};
    PutLe32(block + 4, m_free);
    if (int rc = m_file.Write(offset, block, kBlock); rc != kOk) return rc;
    m_free = offset;
    return kOk;
}

namespace {

using Ranges = std::vector<std::pair<std::size_t, std::size_t>>;

// Bytes of one leaf entry for a node holding these record numbers in a table
// of `records` records (the widths EncodeNode chooses).
unsigned LeafEntrySize(const Node& node, std::uint64_t records) {
    return WidthsFor(node.keyLength, std::max<std::uint64_t>(records, HighestRecord(node))).Bytes();
}

}  // namespace

// Cuts leaf entries into the fewest leaves that hold them, each near an
// equal share of the bytes, so that every leaf keeps room to grow.
void Tree::PlanLeaves(const Node& all, unsigned entryBytes) {
    const std::size_t n = all.Count();
    Ranges& out = m_ranges;
    out.clear();
    if (n == 0) return;
    // A leaf's first key is stored whole, every later one after what it
    // shares with the key before it.
    std::vector<std::size_t>& whole = m_whole;
    std::vector<std::size_t>& chained = m_chained;
    whole.resize(n);
    chained.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned trail = TrailingPad(all.Key(i), all.keyLength, m_pad);
        whole[i] = entryBytes + all.keyLength - trail;
        chained[i] = i == 0 ? whole[i] : whole[i] - SharedPrefix(all.Key(i - 1), all.Key(i), all.keyLength - trail);
    }
    // Pieces cut greedily with room for `limit` bytes each.
    auto cut = [&](std::size_t limit, Ranges* ranges) {
        std::size_t pieces = 0;
        for (std::size_t i = 0; i < n; ++pieces) {
            const std::size_t begin = i;
            std::size_t used = whole[i++];
            while (i < n && used + chained[i] <= limit) used += chained[i++];
            if (ranges) ranges->emplace_back(begin, i);
        }
        return pieces;
    };
    // The fewest leaves, then the smallest room that still needs no more of
    // them: the leaves come out about equally full.
    const std::size_t fewest = cut(kKeyArea, nullptr);
    std::size_t low = 1, high = kKeyArea;
    while (low < high) {
        const std::size_t mid = (low + high) / 2;
        if (cut(mid, nullptr) <= fewest) high = mid;
        else low = mid + 1;
    }
    cut(high, &out);
}

int Tree::Measure(std::uint32_t offset, LeafMeasure& out) {
    const std::size_t at = offset / kBlock;
    if (at < m_known.size() && m_known[at].known) {
        const KnownLeaf& k = m_known[at];
        out = {k.count, k.keyBytes, k.firstStored, k.highest};
        return kOk;
    }
    if (int rc = ReadNode(offset, m_measured); rc != kOk) return rc;
    if (!m_measured.Leaf()) return kErrIndex;
    out = MeasureLeaf(m_measured, m_pad);
    Remember(offset, out);
    return kOk;
}

void Tree::Remember(std::uint32_t offset, const LeafMeasure& m) {
    const std::size_t at = offset / kBlock;
    // A leaf's key bytes and count never pass the key area's size, but a
    // measure that does not fit is simply not kept.
    if (m.count > 0xFFFF || m.keyBytes > 0xFFFF || m.firstStored > 0xFFFF) return Forget(offset);
    if (at >= m_known.size()) m_known.resize(at + 1);
    m_known[at] = {m.highest, static_cast<std::uint16_t>(m.count), static_cast<std::uint16_t>(m.keyBytes),
                   static_cast<std::uint16_t>(m.firstStored), true};
}

void Tree::Forget(std::uint32_t offset) {
    const std::size_t at = offset / kBlock;
    if (at < m_known.size()) m_known[at].known = false;
}

bool Tree::MayFit(const LeafMeasure& a, const LeafMeasure& b, std::uint64_t records) const {
    if (a.count + b.count == 0) return false;
    const LeafWidths w = WidthsFor(m_keyLength, std::max<std::uint64_t>(records, std::max(a.highest, b.highest)));
    if (w.r > 32) return false;
    return (a.count + b.count) * w.Bytes() + a.keyBytes + b.keyBytes <= kKeyArea + b.firstStored;
}

bool Tree::Fit(const LeafMeasure& a, const LeafMeasure& b, std::size_t shared, std::uint64_t records) const {
    const LeafWidths w = WidthsFor(m_keyLength, std::max<std::uint64_t>(records, std::max(a.highest, b.highest)));
    return (a.count + b.count) * w.Bytes() + a.keyBytes + b.keyBytes - shared <= kKeyArea;
}

bool Tree::Fits(const Node& node, std::uint64_t records) const {
    if (!node.Leaf()) return node.Count() <= InteriorCapacity(m_keyLength);
    const LeafWidths w = WidthsFor(m_keyLength, std::max<std::uint64_t>(records, HighestRecord(node)));
    return w.r <= 32 && LeafBytes(node, 0, node.Count(), w.Bytes(), m_pad) <= kKeyArea;
}

// Interior entries are cut into the fewest nodes that hold them, of equal
// size but for one short node. With two entries to a node the short node has
// a single child; it is placed over a child that branches (or a leaf), so
// that one-entry nodes never stand one above the other where avoidable:
// every such pair is a level of depth that holds no more leaves.
int Tree::PlanInterior(const Node& all, std::vector<std::pair<std::size_t, std::size_t>>& out) {
    out.clear();
    const std::size_t n = all.Count();
    if (n == 0) return kOk;
    const std::size_t cap = InteriorCapacity(m_keyLength);
    const std::size_t k = (n + cap - 1) / cap;
    const std::size_t base = n / k;
    const std::size_t longer = n % k;  // pieces holding base + 1
    // The pieces' sizes first (in `second`), then their ranges.
    out.assign(k, {0, base});
    if (longer != 0) {
        for (std::size_t i = 0; i < longer; ++i) out[i].second = base + 1;
        if (base == 1 && k - longer == 1) {
            std::size_t pick = k - 1;
            for (std::size_t p = k; p-- > 0;) {
                bool leaf = false;
                std::size_t count = 0;
                if (int rc = PeekNode(all.children[p * 2], leaf, count); rc != kOk) return rc;
                if (leaf || count >= 2) {
                    pick = p;
                    break;
                }
            }
            for (auto& piece : out) piece.second = 2;
            out[pick].second = 1;
        }
    }
    std::size_t begin = 0;
    for (auto& piece : out) {
        piece.first = begin;
        begin += piece.second;
        piece.second = begin;
    }
    return kOk;
}

// Under narrow interior nodes (fewer than four entries, as with long keys)
// a node's children are joined where two neighbours fit in one node: two
// one-entry nodes side by side, or leaves that together fit, would otherwise
// stay until a change reaches that very node, and each such pair costs
// depth. Wide nodes need no such care: their groups are regrouped whenever
// a node is small.
bool Tree::Narrow() const { return InteriorCapacity(m_keyLength) < 4; }

int Tree::JoinChildren(Node& all, std::uint64_t records, bool& found) {
    found = false;
    if (all.Leaf() || !Narrow() || all.Count() < 2) return kOk;
    const std::size_t capacity = InteriorCapacity(m_keyLength);
    // Children are judged by their measures (leaves) or counts (interior
    // nodes) and read whole only when they may be joined.
    Node* current = &m_join[0];
    Node* next = &m_join[1];
    bool leaves = false;
    std::size_t currentCount = 0;
    std::uint32_t currentOffset = all.children[0];
    if (int rc = PeekNode(currentOffset, leaves, currentCount); rc != kOk) return rc;
    LeafMeasure currentMeasure, nextMeasure;
    if (leaves) {
        if (int rc = Measure(currentOffset, currentMeasure); rc != kOk) return rc;
    }
    bool currentRead = false;
    bool dirty = false;
    std::size_t j = 0;
    while (j + 1 < all.Count()) {
        const std::uint32_t nextOffset = all.children[j + 1];
        std::size_t nextCount = 0;
        bool nextRead = false;
        bool fits = false;
        std::size_t shared = 0;
        if (leaves) {
            if (int rc = Measure(nextOffset, nextMeasure); rc != kOk) return rc;
            nextCount = nextMeasure.count;
            if (MayFit(currentMeasure, nextMeasure, records)) {
                if (!currentRead) {
                    if (int rc = ReadNode(currentOffset, *current); rc != kOk) return rc;
                    currentRead = true;
                }
                if (int rc = ReadNode(nextOffset, *next); rc != kOk) return rc;
                nextRead = true;
                shared = SharedAtJoin(*current, *next, m_pad);
                fits = Fit(currentMeasure, nextMeasure, shared, records);
            }
        } else {
            bool leaf = false;
            if (int rc = PeekNode(nextOffset, leaf, nextCount); rc != kOk) return rc;
            if (leaf) return kErrIndex;
            fits = currentCount + nextCount > 0 && currentCount + nextCount <= capacity;
        }
        if (!fits) {
            if (dirty) {
                if (int rc = WriteNode(*current, records); rc != kOk) return rc;
            }
            std::swap(current, next);
            currentRead = nextRead;
            currentMeasure = nextMeasure;
            currentCount = nextCount;
            currentOffset = nextOffset;
            dirty = false;
            ++j;
            continue;
        }
        found = true;
        if (!currentRead) {
            if (int rc = ReadNode(currentOffset, *current); rc != kOk) return rc;
            currentRead = true;
        }
        if (!nextRead) {
            if (int rc = ReadNode(nextOffset, *next); rc != kOk) return rc;
        }
        // The right node's place is freed; its entry now leads to the left one.
        if (int rc = PatchLink(next->right, kOffLeft, current->offset); rc != kOk) return rc;
        if (int rc = Release(next->offset); rc != kOk) return rc;
        current->Append(*next);
        current->right = next->right;
        currentCount = current->Count();
        if (leaves) {
            currentMeasure = {currentMeasure.count + nextMeasure.count,
                              currentMeasure.keyBytes + nextMeasure.keyBytes - shared,
                              currentMeasure.count > 0 ? currentMeasure.firstStored : nextMeasure.firstStored,
                              std::max(currentMeasure.highest, nextMeasure.highest)};
        }
        dirty = true;
        all.Erase(j);
        all.children[j] = current->offset;
    }
    if (dirty) return WriteNode(*current, records);
    return kOk;
}

// The same test as JoinChildren's, pair by pair, without building the joined
// nodes: interior children are joined by their counts alone, leaves by the
// bytes of both, less what the right one's first key shares with the left
// one's last once they stand side by side.
int Tree::CanJoinChildren(const Node& all, std::uint64_t records, bool& found) {
    found = false;
    if (all.Leaf() || !Narrow() || all.Count() < 2) return kOk;
    bool leaf = false, nextLeaf = false;
    std::size_t count = 0, nextCount = 0;
    if (int rc = PeekNode(all.children[0], leaf, count); rc != kOk) return rc;
    if (leaf) {
        LeafMeasure current, next;
        if (int rc = Measure(all.children[0], current); rc != kOk) return rc;
        for (std::size_t j = 0; j + 1 < all.Count(); ++j) {
            if (int rc = Measure(all.children[j + 1], next); rc != kOk) return rc;
            if (MayFit(current, next, records)) {
                if (int rc = ReadNode(all.children[j], m_scratch[0]); rc != kOk) return rc;
                if (int rc = ReadNode(all.children[j + 1], m_scratch[1]); rc != kOk) return rc;
                if (Fit(current, next, SharedAtJoin(m_scratch[0], m_scratch[1], m_pad), records)) {
                    found = true;
                    return kOk;
                }
            }
            current = next;
        }
        return kOk;
    }
    const std::size_t capacity = InteriorCapacity(m_keyLength);
    for (std::size_t j = 0; j + 1 < all.Count(); ++j) {
        if (int rc = PeekNode(all.children[j + 1], nextLeaf, nextCount); rc != kOk) return rc;
        if (nextLeaf) return kErrIndex;
        if (count + nextCount > 0 && count + nextCount <= capacity) {
            found = true;
            return kOk;
        }
        count = nextCount;
    }
    return kOk;
}

int Tree::NeedsRebalance(Frame& parent, const Node& node, std::uint64_t records, bool& needed) {
    needed = true;
    if (node.Count() == 0) return kOk;
    // Whether the node fits, and the bytes a leaf uses.
    std::size_t used = 0;
    if (node.Leaf()) {
        const LeafWidths w = WidthsFor(m_keyLength, std::max<std::uint64_t>(records, HighestRecord(node)));
        if (w.r > 32) return kOk;
        used = LeafBytes(node, 0, node.Count(), w.Bytes(), m_pad);
        if (used > kKeyArea) return kOk;
    } else if (node.Count() > InteriorCapacity(m_keyLength)) {
        return kOk;
    }
    needed = false;
    if (!node.Leaf() && Narrow()) {
        if (int rc = CanJoinChildren(node, records, needed); rc != kOk || needed) return rc;
    }
    if (node.Leaf()) {
        if (used * 2 > kKeyArea) return kOk;
    } else if (node.Count() * 2 > InteriorCapacity(m_keyLength)) {
        return kOk;
    }
    // A small node is joined with a neighbour under the same parent when
    // both fit in one node.
    if (int rc = Load(parent); rc != kOk) return rc;
    const Node& p = parent.node;
    const std::size_t at = parent.index;
    for (std::size_t j : {at - 1, at + 1}) {
        if (j >= p.Count()) continue;  // at - 1 wraps around for the first child
        if (node.Leaf()) {
            LeafMeasure sibling;
            if (int rc = Measure(p.children[j], sibling); rc != kOk) return rc;
            const unsigned size = std::max(LeafEntrySize(node, records),
                                           WidthsFor(m_keyLength, std::max<std::uint64_t>(records, sibling.highest)).Bytes());
            if (used + sibling.count * size + sibling.keyBytes <= kKeyArea) needed = true;
        } else {
            bool leaf = false;
            std::size_t count = 0;
            if (int rc = PeekNode(p.children[j], leaf, count); rc != kOk) return rc;
            if (leaf) return kErrIndex;
            if (count + node.Count() <= InteriorCapacity(m_keyLength)) needed = true;
        }
        if (needed) return kOk;
    }
    // A one-entry node over a one-entry node: the pair is regrouped with the
    // neighbours so that one of them branches.
    if (!node.Leaf() && node.Count() == 1) {
        bool leaf = false;
        std::size_t count = 0;
        if (int rc = PeekNode(node.children[0], leaf, count); rc != kOk) return rc;
        needed = !leaf && count == 1;
    }
    return kOk;
}

// The node and its neighbours under the same parent are cut anew into the
// fewest nodes that hold their entries: an over-full node passes entries to a
// neighbour with room before any node is added, and small or empty nodes are
// joined and freed. The nodes keep their places (first to last), added nodes
// come from the free list or the end of the file, and the parent's entries
// for the group are replaced.
int Tree::Rebalance(Frame& parent, Node& node, std::uint64_t records) {
    Node& p = parent.node;
    const std::size_t at = parent.index;
    if (at >= p.Count()) return kErrIndex;
    const std::size_t lo = at > 0 ? at - 1 : at;
    const std::size_t hi = std::min(at + 1, p.Count() - 1);
    // The node itself is swapped into the group: the path does not use it
    // again.
    std::vector<Node>& group = m_group;
    const std::size_t groupSize = hi - lo + 1;
    if (group.size() < groupSize) group.resize(groupSize);
    for (std::size_t j = lo; j <= hi; ++j) {
        if (j == at) {
            std::swap(group[j - lo], node);
            continue;
        }
        if (int rc = ReadNode(p.children[j], group[j - lo]); rc != kOk) return rc;
    }
    Node& all = m_all;
    all.offset = 0;
    all.left = all.right = kNone;
    all.kind = static_cast<std::uint16_t>(group[at - lo].kind & ~kKindRoot);
    all.keyLength = m_keyLength;
    all.keys.clear();
    all.records.clear();
    all.children.clear();
    for (std::size_t g = 0; g < groupSize; ++g) {
        if (group[g].Leaf() != all.Leaf()) return kErrIndex;
        all.Append(group[g]);
    }
    bool joined = false;
    if (int rc = JoinChildren(all, records, joined); rc != kOk) return rc;
    if (all.Leaf()) {
        PlanLeaves(all, LeafEntrySize(all, records));
    } else if (int rc = PlanInterior(all, m_ranges); rc != kOk) {
        return rc;
    }
    std::vector<Node>& pieces = m_pieces;
    const std::size_t count = m_ranges.size();
    if (pieces.size() < count) pieces.resize(count);
    for (std::size_t i = 0; i < count; ++i) all.SliceInto(m_ranges[i].first, m_ranges[i].second, pieces[i]);
    for (std::size_t i = 0; i < count; ++i) {
        if (i < groupSize) {
            pieces[i].offset = group[i].offset;
        } else if (int rc = Allocate(pieces[i].offset); rc != kOk) {
            return rc;
        }
    }
    for (std::size_t i = count; i < groupSize; ++i) {
        if (int rc = Release(group[i].offset); rc != kOk) return rc;
    }
    const std::uint32_t leftOuter = group[0].left;
    const std::uint32_t rightOuter = group[groupSize - 1].right;
    for (std::size_t i = 0; i < count; ++i) {
        pieces[i].left = i == 0 ? leftOuter : pieces[i - 1].offset;
        pieces[i].right = i + 1 == count ? rightOuter : pieces[i + 1].offset;
    }
    const std::uint32_t first = count == 0 ? rightOuter : pieces[0].offset;
    const std::uint32_t last = count == 0 ? leftOuter : pieces[count - 1].offset;
    if (int rc = PatchLink(leftOuter, kOffRight, first); rc != kOk) return rc;
    if (int rc = PatchLink(rightOuter, kOffLeft, last); rc != kOk) return rc;
    for (std::size_t i = 0; i < count; ++i) {
        if (int rc = WriteNode(pieces[i], records); rc != kOk) return rc;
    }
    for (std::size_t j = hi + 1; j-- > lo;) p.Erase(j);
    for (std::size_t i = 0; i < count; ++i) {
        const Node& piece = pieces[i];
        p.Insert(lo + i, piece.Key(piece.Count() - 1), piece.records.back(), piece.offset);
    }
    return kOk;
}

int Tree::StoreRoot(Node& root, std::uint64_t records) {
    root.left = kNone;
    root.right = kNone;
    // A root with a single child hands its place to that child: a level that
    // does not branch only adds depth.
    for (std::size_t step = 0;; ++step) {
        if (step >= kMaxDepth) return kErrIndex;
        bool joined = false;
        if (int rc = JoinChildren(root, records, joined); rc != kOk) return rc;
        if (root.Leaf() || root.Count() != 1) break;
        Node child;
        if (int rc = ReadNode(root.children[0], child); rc != kOk) return rc;
        if (int rc = Release(root.offset); rc != kOk) return rc;
        root = std::move(child);
        root.left = kNone;
        root.right = kNone;
        m_root = root.offset;
    }
    if (!root.Leaf() && root.Count() == 0) {  // an empty tree is one empty root leaf
        root.kind = kKindRoot | kKindLeaf;
        root.children.clear();
    }
    root.kind |= kKindRoot;
    if (Fits(root, records)) return WriteNode(root, records);
    // Over-full root: its entries go to new nodes under a new root.
    Node all = root;
    all.kind = static_cast<std::uint16_t>(root.kind & ~kKindRoot);
    Ranges ranges;
    if (all.Leaf()) {
        PlanLeaves(all, LeafEntrySize(all, records));
        ranges = m_ranges;
    } else if (int rc = PlanInterior(all, ranges); rc != kOk) {
        return rc;
    }
    if (ranges.size() < 2) return kErrIndex;
    std::vector<Node> pieces;
    for (auto [b, e] : ranges) pieces.push_back(all.Slice(b, e));
    pieces.front().offset = root.offset;
    for (std::size_t i = 1; i < pieces.size(); ++i) {
        if (int rc = Allocate(pieces[i].offset); rc != kOk) return rc;
    }
    Node top;
    top.kind = kKindRoot;
    top.keyLength = m_keyLength;
    if (int rc = Allocate(top.offset); rc != kOk) return rc;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        Node& piece = pieces[i];
        piece.left = i == 0 ? kNone : pieces[i - 1].offset;
        piece.right = i + 1 == pieces.size() ? kNone : pieces[i + 1].offset;
        if (int rc = WriteNode(piece, records); rc != kOk) return rc;
        top.Insert(i, piece.Key(piece.Count() - 1), piece.records.back(), piece.offset);
    }
    m_root = top.offset;
    return StoreRoot(top, records);
}

// Writes the changed node at `level` of the path and carries the change up:
// a node that overflows, empties or could be joined with a neighbour is
// regrouped with its neighbours, and a parent whose entries changed is
// stored in turn.
int Tree::Store(Path& path, std::size_t level, std::uint64_t records) {
    for (;; --level) {
        Node& node = path[level].node;
        if (level == 0) return StoreRoot(node, records);
        Frame& parent = path[level - 1];
        bool needed = false;
        if (int rc = NeedsRebalance(parent, node, records, needed); rc != kOk) return rc;
        if (needed) {
            if (int rc = Load(parent); rc != kOk) return rc;
            if (int rc = Rebalance(parent, node, records); rc != kOk) return rc;
            continue;
        }
        if (int rc = WriteNode(node, records); rc != kOk) return rc;
        const std::size_t last = node.Count() - 1;
        if (!parent.loaded) {
            // Most changes leave the parent's entry as it is: it is compared
            // where it lies, and the parent decoded only to be changed.
            std::uint8_t scratch[kBlock];
            const std::uint8_t* block = nullptr;
            if (int rc = ViewNode(parent.offset, scratch, block); rc != kOk) return rc;
            const std::uint8_t* e = block + kOffContents + parent.index * (m_keyLength + 8);
            if (std::memcmp(e, node.Key(last), m_keyLength) == 0 && Be32(e + m_keyLength) == node.records[last])
                return kOk;
            if (int rc = Load(parent); rc != kOk) return rc;
        }
        std::uint8_t* pk = parent.node.Key(parent.index);
        if (std::memcmp(pk, node.Key(last), m_keyLength) == 0 && parent.node.records[parent.index] == node.records[last])
            return kOk;
        std::memcpy(pk, node.Key(last), m_keyLength);
        parent.node.records[parent.index] = node.records[last];
    }
}

int Tree::Insert(const std::uint8_t* key, std::uint32_t record, std::uint64_t records) {
    Path& path = m_path;
    auto cmp = [&](const std::uint8_t* k, std::uint32_t r) { return CompareFull(k, r, key, record, m_keyLength); };
    if (int rc = Descend(cmp, path); rc != kOk) return rc;
    Frame& leaf = path.back();
    leaf.node.Insert(leaf.index, key, record, 0);
    if (int rc = Store(path, path.size() - 1, records); rc != kOk) return rc;
    return WriteHeader();
}

int Tree::Remove(const std::uint8_t* key, std::uint32_t record, std::uint64_t records) {
    Path& path = m_path;
    auto cmp = [&](const std::uint8_t* k, std::uint32_t r) { return CompareFull(k, r, key, record, m_keyLength); };
    if (int rc = Descend(cmp, path); rc != kOk) return rc;
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
