#include "storage/CdxNode.h"

#include "storage/Endian.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace tvx::db::cdx {

using namespace tvx::db::endian;

void Node::Insert(std::size_t at, const std::uint8_t* key, std::uint32_t record, std::uint32_t child) {
    keys.insert(keys.begin() + static_cast<std::ptrdiff_t>(at * keyLength), key, key + keyLength);
    records.insert(records.begin() + static_cast<std::ptrdiff_t>(at), record);
    if (!Leaf()) children.insert(children.begin() + static_cast<std::ptrdiff_t>(at), child);
}

void Node::Erase(std::size_t at) {
    const auto k = keys.begin() + static_cast<std::ptrdiff_t>(at * keyLength);
    keys.erase(k, k + keyLength);
    records.erase(records.begin() + static_cast<std::ptrdiff_t>(at));
    if (!Leaf()) children.erase(children.begin() + static_cast<std::ptrdiff_t>(at));
}

Node Node::Slice(std::size_t begin, std::size_t end) const {
    Node n;
    SliceInto(begin, end, n);
    return n;
}

void Node::SliceInto(std::size_t begin, std::size_t end, Node& out) const {
    out.offset = 0;
    out.left = out.right = kNone;
    out.kind = kind;
    out.keyLength = keyLength;
    out.keys.assign(keys.begin() + static_cast<std::ptrdiff_t>(begin * keyLength),
                    keys.begin() + static_cast<std::ptrdiff_t>(end * keyLength));
    out.records.assign(records.begin() + static_cast<std::ptrdiff_t>(begin),
                       records.begin() + static_cast<std::ptrdiff_t>(end));
    if (Leaf()) {
        out.children.clear();
    } else {
        out.children.assign(children.begin() + static_cast<std::ptrdiff_t>(begin),
                            children.begin() + static_cast<std::ptrdiff_t>(end));
    }
}

void Node::Append(const Node& other) {
    keys.insert(keys.end(), other.keys.begin(), other.keys.end());
    records.insert(records.end(), other.records.begin(), other.records.end());
    children.insert(children.end(), other.children.begin(), other.children.end());
}

// Both scans below look at 16 bytes at a time where the processor offers it
// (every x86-64 one does), else at 8: most of a long key is padding, and keys
// next to each other in a leaf share long prefixes.
#if defined(__SSE2__) || defined(_M_X64)
#define TVX_SSE2 1
#endif

unsigned TrailingPad(const std::uint8_t* key, unsigned length, std::uint8_t pad) {
    unsigned t = 0;
#ifdef TVX_SSE2
    const __m128i pads = _mm_set1_epi8(static_cast<char>(pad));
    while (t + 16 <= length) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(key + length - t - 16));
        const unsigned same = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, pads)));
        if (same != 0xFFFF) return t + static_cast<unsigned>(std::countl_zero(~same << 16));
        t += 16;
    }
#else
    const std::uint64_t pads = 0x0101010101010101ull * pad;
    while (t + 8 <= length) {
        std::uint64_t word;
        std::memcpy(&word, key + length - t - 8, 8);
        if (word != pads) break;
        t += 8;
    }
#endif
    while (t < length && key[length - 1 - t] == pad) ++t;
    return t;
}

unsigned SharedPrefix(const std::uint8_t* a, const std::uint8_t* b, unsigned limit) {
    unsigned d = 0;
#ifdef TVX_SSE2
    while (d + 16 <= limit) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + d));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + d));
        const unsigned same = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, y)));
        if (same != 0xFFFF) return d + static_cast<unsigned>(std::countr_zero(~same));
        d += 16;
    }
#else
    if constexpr (std::endian::native == std::endian::little) {
        while (d + 8 <= limit) {
            std::uint64_t x, y;
            std::memcpy(&x, a + d, 8);
            std::memcpy(&y, b + d, 8);
            if (x != y) return d + static_cast<unsigned>(std::countr_zero(x ^ y)) / 8;
            d += 8;
        }
    }
#endif
    while (d < limit && a[d] == b[d]) ++d;
    return d;
}

namespace {

bool DecodeLeaf(std::span<const std::uint8_t> block, unsigned count, std::uint8_t pad, Node& node) {
    const unsigned r = block[kOffRecBits];
    const unsigned d = block[kOffDupBits];
    const unsigned t = block[kOffTrailBits];
    const unsigned bytes = block[kOffEntryBytes];
    if (r == 0 || r > 32 || d == 0 || d > 16 || t == 0 || t > 16) return false;
    if (bytes == 0 || bytes > 8 || r + d + t > bytes * 8) return false;
    if (static_cast<std::size_t>(count) * bytes > kKeyArea) return false;
    const std::uint64_t recMask = (std::uint64_t{1} << r) - 1;
    const std::uint64_t dupMask = (std::uint64_t{1} << d) - 1;
    const std::uint64_t trailMask = (std::uint64_t{1} << t) - 1;
    const unsigned length = node.keyLength;
    node.keys.resize(static_cast<std::size_t>(count) * length);  // every byte is set below
    node.records.resize(count);
    // Key bytes are taken from the end of the key area backwards and must
    // never reach into the entries.
    std::size_t tail = kOffKeyArea + kKeyArea;
    const std::size_t entriesEnd = kOffKeyArea + static_cast<std::size_t>(count) * bytes;
    for (unsigned i = 0; i < count; ++i) {
        const std::uint64_t e = LeN(block.data() + kOffKeyArea + static_cast<std::size_t>(i) * bytes, bytes);
        const std::uint32_t rec = static_cast<std::uint32_t>(e & recMask);
        const unsigned dup = static_cast<unsigned>((e >> r) & dupMask);
        const unsigned trail = static_cast<unsigned>((e >> (r + d)) & trailMask);
        if (dup > length || trail > length || (i == 0 && dup > 0)) return false;
        std::uint8_t* key = node.Key(i);
        // Some writers count a fully repeated key as duplicate bytes and a
        // trailing pad at once; the key is then the previous one.
        const unsigned kept = dup + trail > length ? length - trail : dup;
        const unsigned stored = length - kept - trail;
        if (kept > 0) std::memcpy(key, node.Key(i - 1), kept);
        if (stored > tail - entriesEnd) return false;
        tail -= stored;
        std::memcpy(key + kept, block.data() + tail, stored);
        std::memset(key + kept + stored, pad, trail);
        node.records[i] = rec;
    }
    return true;
}

}  // namespace

bool DecodeNode(std::span<const std::uint8_t> block, std::uint32_t offset, unsigned keyLength, std::uint8_t pad,
                Node& node) {
    if (block.size() != kBlock || keyLength == 0 || keyLength > kInteriorArea - 8) return false;
    // The node's buffers are kept: decoding into the same node again does
    // not allocate.
    node.children.clear();
    node.offset = offset;
    node.keyLength = keyLength;
    node.kind = Le16(block.data() + kOffKind);
    // Bit 0x04 is set by one writer on its leaves and carries nothing a
    // reader needs; other bits mean the block is not a node.
    if (node.kind > 7) return false;
    node.kind &= 3;
    const unsigned count = Le16(block.data() + kOffCount);
    node.left = Le32(block.data() + kOffLeft);
    node.right = Le32(block.data() + kOffRight);
    if (node.Leaf()) return DecodeLeaf(block, count, pad, node);
    const std::size_t entry = keyLength + 8;
    if (count * entry > kInteriorArea) return false;
    node.keys.resize(static_cast<std::size_t>(count) * keyLength);
    node.records.resize(count);
    node.children.resize(count);
    for (unsigned i = 0; i < count; ++i) {
        const std::uint8_t* p = block.data() + kOffContents + i * entry;
        std::memcpy(node.Key(i), p, keyLength);
        node.records[i] = Be32(p + keyLength);
        node.children[i] = Be32(p + keyLength + 4);
    }
    return true;
}

std::size_t EntryBytes(const std::uint8_t* previous, const std::uint8_t* key, unsigned keyLength, unsigned entryBytes,
                       std::uint8_t pad) {
    const unsigned trail = TrailingPad(key, keyLength, pad);
    const unsigned dup = previous ? SharedPrefix(previous, key, keyLength - trail) : 0;
    return entryBytes + (keyLength - dup - trail);
}

std::size_t LeafBytes(const Node& node, std::size_t begin, std::size_t end, unsigned entryBytes, std::uint8_t pad) {
    const unsigned length = node.keyLength;
    std::size_t total = 0;
    for (std::size_t i = begin; i < end; ++i) {
        const unsigned trail = TrailingPad(node.Key(i), length, pad);
        const unsigned dup = i == begin ? 0 : SharedPrefix(node.Key(i - 1), node.Key(i), length - trail);
        total += entryBytes + (length - dup - trail);
    }
    return total;
}

std::size_t SharedAtJoin(const Node& a, const Node& b, std::uint8_t pad) {
    if (a.Count() == 0 || b.Count() == 0) return 0;
    const unsigned length = a.keyLength;
    const std::uint8_t* first = b.Key(0);
    return SharedPrefix(a.Key(a.Count() - 1), first, length - TrailingPad(first, length, pad));
}

LeafMeasure MeasureLeaf(const Node& leaf, std::uint8_t pad) {
    LeafMeasure m;
    m.count = leaf.Count();
    m.keyBytes = LeafBytes(leaf, 0, leaf.Count(), 0, pad);
    if (m.count > 0) m.firstStored = leaf.keyLength - TrailingPad(leaf.Key(0), leaf.keyLength, pad);
    m.highest = HighestRecord(leaf);
    return m;
}

std::uint32_t HighestRecord(const Node& node) {
    std::uint32_t highest = 0;
    for (auto r : node.records) highest = std::max(highest, r);
    return highest;
}

bool EncodeNode(const Node& node, std::uint8_t pad, std::uint64_t records, std::span<std::uint8_t> block,
                LeafMeasure* measure) {
    if (block.size() != kBlock) return false;
    const unsigned count = static_cast<unsigned>(node.Count());
    PutLe16(block.data() + kOffKind, node.kind);
    PutLe16(block.data() + kOffCount, static_cast<std::uint16_t>(count));
    PutLe32(block.data() + kOffLeft, node.left);
    PutLe32(block.data() + kOffRight, node.right);
    const unsigned length = node.keyLength;
    if (!node.Leaf()) {
        const std::size_t entry = length + 8;
        if (count * entry > kInteriorArea) return false;
        for (unsigned i = 0; i < count; ++i) {
            std::uint8_t* p = block.data() + kOffContents + i * entry;
            std::memcpy(p, node.Key(i), length);
            PutBe32(p + length, node.records[i]);
            PutBe32(p + length + 4, node.children[i]);
        }
        std::fill(block.begin() + static_cast<std::ptrdiff_t>(kOffContents + count * entry), block.end(), 0);
        return true;
    }
    const std::uint32_t highest = HighestRecord(node);
    const LeafWidths w = WidthsFor(length, std::max<std::uint64_t>(records, highest));
    const unsigned bytes = w.Bytes();
    if (w.r > 32) return false;
    std::size_t firstStored = 0;
    // Entries from the start of the key area, key bytes from its end; the
    // two must not meet.
    std::size_t need = 0;
    std::size_t tail = kOffKeyArea + kKeyArea;
    for (unsigned i = 0; i < count; ++i) {
        const std::uint8_t* key = node.Key(i);
        const unsigned trail = TrailingPad(key, length, pad);
        const unsigned dup = i == 0 ? 0 : SharedPrefix(node.Key(i - 1), key, length - trail);
        const unsigned stored = length - dup - trail;
        if (i == 0) firstStored = stored;
        need += bytes + stored;
        if (need > kKeyArea) return false;
        const std::uint64_t e = node.records[i] | (std::uint64_t{dup} << w.r) | (std::uint64_t{trail} << (w.r + w.d));
        PutLeN(block.data() + kOffKeyArea + static_cast<std::size_t>(i) * bytes, e, bytes);
        tail -= stored;
        std::memcpy(block.data() + tail, key + dup, stored);
    }
    // Between the entries and the key bytes: zeros.
    std::fill(block.begin() + static_cast<std::ptrdiff_t>(kOffKeyArea + std::size_t{count} * bytes),
              block.begin() + static_cast<std::ptrdiff_t>(tail), 0);
    PutLe16(block.data() + kOffFreeBytes, static_cast<std::uint16_t>(kKeyArea - need));
    PutLe32(block.data() + kOffRecMask, static_cast<std::uint32_t>((std::uint64_t{1} << w.r) - 1));
    block[kOffDupMask] = static_cast<std::uint8_t>((1u << w.d) - 1);
    block[kOffTrailMask] = static_cast<std::uint8_t>((1u << w.t) - 1);
    block[kOffRecBits] = static_cast<std::uint8_t>(w.r);
    block[kOffDupBits] = static_cast<std::uint8_t>(w.d);
    block[kOffTrailBits] = static_cast<std::uint8_t>(w.t);
    block[kOffEntryBytes] = static_cast<std::uint8_t>(bytes);
    if (measure) *measure = {count, need - std::size_t{count} * bytes, firstStored, highest};
    return true;
}

}  // namespace tvx::db::cdx
