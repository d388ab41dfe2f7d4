// Decoding and encoding of single index nodes (interior and compact leaf).
#pragma once

#include "storage/CdxFormat.h"

#include <cstdint>
#include <span>
#include <vector>

namespace tvx::db::cdx {

struct Node {
    std::uint32_t offset = 0;
    std::uint16_t kind = 0;
    std::uint32_t left = kNone;
    std::uint32_t right = kNone;
    unsigned keyLength = 0;
    std::vector<std::uint8_t> keys;  // Count() * keyLength bytes
    std::vector<std::uint32_t> records;
    std::vector<std::uint32_t> children;  // interior nodes only

    std::size_t Count() const noexcept { return records.size(); }
    bool Leaf() const noexcept { return (kind & kKindLeaf) != 0; }
    bool Root() const noexcept { return (kind & kKindRoot) != 0; }
    const std::uint8_t* Key(std::size_t i) const noexcept { return keys.data() + i * keyLength; }
    std::uint8_t* Key(std::size_t i) noexcept { return keys.data() + i * keyLength; }
    void Insert(std::size_t at, const std::uint8_t* key, std::uint32_t record, std::uint32_t child);
    void Erase(std::size_t at);
    // Keeps entries [begin, end).
    Node Slice(std::size_t begin, std::size_t end) const;
    // The same into `out`, whose buffers are reused.
    void SliceInto(std::size_t begin, std::size_t end, Node& out) const;
    // Adds the entries of `other` after this node's.
    void Append(const Node& other);
};

// Decodes a 512-byte block. Returns false when any count, width or length in
// it is impossible; `node` is then unspecified.
bool DecodeNode(std::span<const std::uint8_t> block, std::uint32_t offset, unsigned keyLength,
                std::uint8_t pad, Node& node);

// Bytes the leaf entries [begin, end) of `node` take in the key area with
// entries of `entryBytes` bytes.
std::size_t LeafBytes(const Node& node, std::size_t begin, std::size_t end, unsigned entryBytes, std::uint8_t pad);

// Pad bytes at the end of a key.
unsigned TrailingPad(const std::uint8_t* key, unsigned length, std::uint8_t pad);
// Bytes two keys share from their start, at most `limit`.
unsigned SharedPrefix(const std::uint8_t* a, const std::uint8_t* b, unsigned limit);

// Bytes the first key of leaf `b` would share with the last key of leaf `a`
// if they stood in one leaf (0 when either is empty): the LeafBytes of both
// together is the sum of theirs less this.
std::size_t SharedAtJoin(const Node& a, const Node& b, std::uint8_t pad);

// The highest record number in the node (0 when empty).
std::uint32_t HighestRecord(const Node& node);

// Bytes one leaf entry takes after `previous` (null for a node's first key).
std::size_t EntryBytes(const std::uint8_t* previous, const std::uint8_t* key, unsigned keyLength, unsigned entryBytes,
                       std::uint8_t pad);

// What decides whether leaves fit together, without their keys: the key
// bytes of a leaf (LeafBytes less the entries), what its first key alone
// stores (the most it can share with a key before it), and its highest
// record number.
struct LeafMeasure {
    std::size_t count = 0;
    std::size_t keyBytes = 0;
    std::size_t firstStored = 0;
    std::uint32_t highest = 0;
};
LeafMeasure MeasureLeaf(const Node& leaf, std::uint8_t pad);

// Encodes `node` into a 512-byte block; false when it does not fit. For a
// leaf, `measure` (when given) receives its MeasureLeaf.
bool EncodeNode(const Node& node, std::uint8_t pad, std::uint64_t records, std::span<std::uint8_t> block,
                LeafMeasure* measure = nullptr);

// Interior entries that fit in one node.
inline std::size_t InteriorCapacity(unsigned keyLength) { return kInteriorArea / (keyLength + 8); }

}  // namespace tvx::db::cdx
