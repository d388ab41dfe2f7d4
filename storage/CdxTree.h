// One B-tree of a compound index: the tag directory or a tag. Reads and
// changes nodes through the index file's cache; every offset is checked
// before it is followed, and every descent is bounded in depth.
#pragma once

#include "storage/BufferedFile.h"
#include "storage/CdxNode.h"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace tvx::db::cdx {

// The form of a tree as Inspect finds it.
struct Shape {
    std::size_t depth = 0;     // levels, the leaves' included
    std::size_t leaves = 0;
    std::size_t interior = 0;  // interior nodes, the root included
    std::size_t unary = 0;     // interior nodes with a single entry
    // Faults of form: leaves at more than one depth, empty nodes below the
    // root, an entry that is not its child's last key, wrong neighbour links.
    std::vector<std::string> problems;
};

struct Entry {
    std::vector<std::uint8_t> key;
    std::uint32_t record = 0;
};

class Tree {
public:
    static constexpr std::size_t kMaxDepth = 64;

    Tree(BufferedFile& file, std::uint32_t headerOffset, unsigned keyLength, std::uint8_t pad)
        : m_file(file), m_header(headerOffset), m_keyLength(keyLength), m_pad(pad) {}

    std::uint32_t HeaderOffset() const noexcept { return m_header; }
    unsigned KeyLength() const noexcept { return m_keyLength; }
    std::uint8_t Pad() const noexcept { return m_pad; }
    std::uint32_t Root() const noexcept { return m_root; }
    std::uint32_t FreeHead() const noexcept { return m_free; }
    void SetRoot(std::uint32_t root, std::uint32_t freeHead, std::uint32_t counter) noexcept {
        m_root = root;
        m_free = freeHead;
        m_counter = counter;
    }

    // Positioning; each returns 0 with the entry, kEof (or kBof for Before)
    // when there is none, or kErrIndex on a damaged tree.
    int First(Entry& out);
    int Last(Entry& out);
    // First entry whose first n key bytes are >= the given bytes.
    int SeekPrefix(const std::uint8_t* key, std::size_t n, Entry& out);
    // First entry greater than (key, record) / last entry less than it.
    int After(const std::uint8_t* key, std::uint32_t record, Entry& out);
    int Before(const std::uint8_t* key, std::uint32_t record, Entry& out);

    // Every entry in order; the visitor returns 0 to go on. Bounded by the
    // number of blocks in the file.
    int Walk(const std::function<int(const std::uint8_t* key, std::uint32_t record)>& visit);
    // Every node reached from the root (for checking), depth first.
    int VisitNodes(const std::function<int(const Node& node, std::size_t depth)>& visit);

    // Walks the tree level by level; kErrIndex when it cannot be read.
    int Inspect(Shape& out);

    // Key maintenance; `records` is the table's record count (leaf widths).
    int Insert(const std::uint8_t* key, std::uint32_t record, std::uint64_t records);
    int Remove(const std::uint8_t* key, std::uint32_t record, std::uint64_t records);

    // Writes a new tree from entries sorted by (key, record) at the end of
    // the file and makes it this tree's root; the free list is emptied.
    int Build(const std::vector<Entry>& sorted, std::uint64_t records);

    // Writes root, free-list head and change counter into the header.
    int WriteHeader();

private:
    // One level of a descent: the node's place and the entry taken. Nodes
    // above the leaf are decoded only when needed (`loaded`): a descent
    // reads their entries where the file's cache holds them.
    struct Frame {
        std::uint32_t offset = 0;
        std::size_t index = 0;
        bool loaded = false;
        Node node;
    };
    // The levels of a descent. Frames are reused from one descent to the
    // next, with their nodes' buffers, so that a descent does not allocate.
    class Path {
    public:
        Path() { m_frames.reserve(kMaxDepth + 1); }
        void clear() noexcept { m_size = 0; }
        bool empty() const noexcept { return m_size == 0; }
        std::size_t size() const noexcept { return m_size; }
        Frame& back() noexcept { return m_frames[m_size - 1]; }
        Frame& operator[](std::size_t i) noexcept { return m_frames[i]; }
        // At most kMaxDepth + 1 frames: no reallocation moves a frame.
        Frame& push() {
            if (m_size == m_frames.size()) m_frames.emplace_back();
            Frame& f = m_frames[m_size++];
            f.index = 0;
            f.loaded = false;
            return f;
        }
        void pop_back() noexcept { --m_size; }

    private:
        std::vector<Frame> m_frames;
        std::size_t m_size = 0;
    };
    int ReadNode(std::uint32_t offset, Node& node);
    int WriteNode(const Node& node, std::uint64_t records);
    // The node's block as the file's cache holds it (or in `scratch`).
    int ViewNode(std::uint32_t offset, std::uint8_t* scratch, const std::uint8_t*& block);
    // Kind (0..3) and entry count of a node, checked as ReadNode checks it.
    int PeekNode(std::uint32_t offset, bool& leaf, std::size_t& count);
    int Load(Frame& frame);
    // Descends to the first entry >= target under `compare` (entry vs target).
    template <typename Compare>
    int Descend(const Compare& compare, Path& path);
    int Next(Path& path);
    int Prev(Path& path);
    int Current(Path& path, Entry& out);
    int Store(Path& path, std::size_t level, std::uint64_t records);
    int StoreRoot(Node& root, std::uint64_t records);
    bool Fits(const Node& node, std::uint64_t records) const;
    int NeedsRebalance(Frame& parent, const Node& node, std::uint64_t records, bool& needed);
    int Rebalance(Frame& parent, Node& node, std::uint64_t records);
    bool Narrow() const;
    // Joins neighbouring children of `all` that fit in one node (narrow
    // nodes only).
    int JoinChildren(Node& all, std::uint64_t records, bool& found);
    // Whether JoinChildren would join any of them.
    int CanJoinChildren(const Node& all, std::uint64_t records, bool& found);
    // Leaves as the join checks see them (MeasureLeaf), kept for every leaf
    // this tree writes or measures until the block is written otherwise or
    // freed: most neighbours that a check looks at need not be read.
    int Measure(std::uint32_t offset, LeafMeasure& out);
    void Remember(std::uint32_t offset, const LeafMeasure& m);
    void Forget(std::uint32_t offset);
    // Whether two leaves side by side can fit in one at all: the most the
    // right one's first key can share with the left one's last is what it
    // stores. Only when they can are the keys read for the exact test.
    bool MayFit(const LeafMeasure& a, const LeafMeasure& b, std::uint64_t records) const;
    bool Fit(const LeafMeasure& a, const LeafMeasure& b, std::size_t shared, std::uint64_t records) const;
    // Cuts leaf entries into the fewest leaves (into m_ranges).
    void PlanLeaves(const Node& all, unsigned entryBytes);
    int PlanInterior(const Node& all, std::vector<std::pair<std::size_t, std::size_t>>& out);
    int Allocate(std::uint32_t& offset);
    int Release(std::uint32_t offset);
    int PatchLink(std::uint32_t node, std::size_t field, std::uint32_t value);

    BufferedFile& m_file;
    std::uint32_t m_header;
    unsigned m_keyLength;
    std::uint8_t m_pad;
    std::uint32_t m_root = 0;
    std::uint32_t m_free = kNone;
    std::uint32_t m_counter = 0;
    // Buffers kept from one change to the next, so that a change does not
    // allocate: the path of the operation under way (not Walk's), nodes read
    // for the join checks (m_scratch, m_join), and a regrouping's nodes, all
    // their entries, its cut and the pieces it makes.
    Path m_path;
    Node m_scratch[2];
    Node m_join[2];
    Node m_measured;
    struct KnownLeaf {
        std::uint32_t highest = 0;
        std::uint16_t count = 0, keyBytes = 0, firstStored = 0;
        bool known = false;
    };
    std::vector<KnownLeaf> m_known;  // by offset / kBlock
    std::vector<Node> m_group;
    Node m_all;
    std::vector<std::pair<std::size_t, std::size_t>> m_ranges;
    std::vector<Node> m_pieces;
    std::vector<std::size_t> m_whole, m_chained;
};

int CompareKeys(const std::uint8_t* a, const std::uint8_t* b, std::size_t n);

}  // namespace tvx::db::cdx
