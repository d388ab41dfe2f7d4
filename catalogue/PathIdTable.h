// An in-memory table from a file's stored path to its FILES identity.
//
// A mirror pass asks the catalogue for the identity of every file of its
// sources. FILES answers through its path index, whose 240-byte keys make a
// tree about seventeen levels deep for 100,000 files: a look-up costs a
// memory miss per level, and the directory walk between two look-ups pushes
// those nodes out of the processor's cache again. The catalogue therefore
// reads FILES once in record order into this table and answers from it.
//
// Paths are kept back to back in one buffer in the order they were added,
// each after its length and identity; the slots (open addressing, linear
// probing, at most half full) hold a part of the hash, the identity and where
// the path lies. A path added twice keeps its first identity, as a seek finds
// the lower record number first among equal keys.
//
// A pass walks its folders in the same order every time, and FILES holds the
// paths in the order a walk first met them, so the path asked for is most
// often the one after the last one found: that one is compared first, and
// the hash is used only when it is not the one.
//
// Header-only and free of Win32 so that the native tests can run it under the
// sanitizers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <new>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace tvx::catalogue {

class PathIdTable {
public:
    // Forgets every path. The memory is kept for the next fill: the
    // catalogue fills the table again at every pass, and memory the process
    // has touched once is much cheaper to fill than new memory.
    void Clear() noexcept {
        m_paths.clear();
        std::fill(m_slots.begin(), m_slots.end(), Slot{0, 0, 0, kEmpty});
        m_count = 0;
        m_next = 0;
    }

    std::size_t Count() const noexcept { return m_count; }

    // Makes room for `paths` paths of `bytes` bytes in all, so that adding
    // them does not move the table (a hint: more may be added).
    void Reserve(std::size_t paths, std::size_t bytes) {
        std::size_t slots = m_slots.empty() ? kFirstSlots : m_slots.size();
        while (slots < (m_count + paths) * 2) slots *= 2;
        if (slots > m_slots.size()) Rehash(slots);
        m_paths.reserve(m_paths.size() + bytes + paths * kHeader);
    }

    // Adds a path with its identity unless the path is there already (the
    // first identity stays). False when the table cannot hold it (its path
    // buffer would pass 4 GiB, or memory ran out); the table is then unchanged.
    bool Add(std::string_view path, std::uint32_t id) {
        if (path.size() > kMaxPathBytes || m_paths.size() > kMaxBufferBytes - kHeader - path.size()) return false;
        try {
            if ((m_count + 1) * 2 > m_slots.size()) Rehash(m_slots.empty() ? kFirstSlots : m_slots.size() * 2);
            m_paths.reserve(m_paths.size() + kHeader + path.size());
        } catch (const std::bad_alloc&) {
            return false;
        }
        const std::uint64_t hash = Hash(path);
        std::size_t i = static_cast<std::size_t>(hash) & (m_slots.size() - 1);
        for (;; i = (i + 1) & (m_slots.size() - 1)) {
            Slot& slot = m_slots[i];
            if (slot.length == kEmpty) break;
            if (Matches(slot, hash, path)) return true;
        }
        Slot& slot = m_slots[i];
        slot.tag = Tag(hash);
        slot.id = id;
        slot.offset = static_cast<std::uint32_t>(m_paths.size());
        slot.length = static_cast<std::uint32_t>(path.size());
        char header[kHeader];
        std::memcpy(header, &slot.length, 4);
        std::memcpy(header + 4, &id, 4);
        m_paths.append(header, kHeader);
        m_paths.append(path);
        ++m_count;
        return true;
    }

    // The identity of a path; false when it is not in the table.
    bool Find(std::string_view path, std::uint32_t& id) noexcept {
        if (m_slots.empty()) return false;
        // The path after the last one found, in the order they were added.
        if (m_next + kHeader <= m_paths.size()) {
            std::uint32_t length;
            std::memcpy(&length, m_paths.data() + m_next, 4);
            if (length == path.size() && SameBytes(m_paths.data() + m_next + kHeader, path.data(), length)) {
                std::memcpy(&id, m_paths.data() + m_next + 4, 4);
                m_next += kHeader + length;
                return true;
            }
        }
        const std::uint64_t hash = Hash(path);
        for (std::size_t i = static_cast<std::size_t>(hash) & (m_slots.size() - 1);; i = (i + 1) & (m_slots.size() - 1)) {
            const Slot& slot = m_slots[i];
            if (slot.length == kEmpty) return false;
            if (Matches(slot, hash, path)) {
                id = slot.id;
                m_next = std::size_t{slot.offset} + kHeader + slot.length;
                return true;
            }
        }
    }

private:
    struct Slot {
        std::uint32_t tag;     // the hash's upper half
        std::uint32_t id;
        std::uint32_t offset;  // of the entry (its header) in m_paths
        std::uint32_t length;  // kEmpty: a free slot
    };
    static constexpr std::uint32_t kEmpty = std::numeric_limits<std::uint32_t>::max();
    static constexpr std::size_t kMaxPathBytes = 0xFFFF;
    static constexpr std::size_t kFirstSlots = 1024;
    static constexpr std::size_t kHeader = 8;  // before each path: its length and identity
    static constexpr std::size_t kMaxBufferBytes = std::numeric_limits<std::uint32_t>::max();

    static std::uint32_t Tag(std::uint64_t hash) noexcept { return static_cast<std::uint32_t>(hash >> 32); }

    // Eight bytes at a time, each word mixed in by a multiply; the final
    // mix spreads the high bits into the low ones used for the slot.
    static std::uint64_t Hash(std::string_view text) noexcept {
        constexpr std::uint64_t k = 0x9E3779B97F4A7C15ull;
        std::uint64_t h = text.size() * k;
        std::size_t i = 0;
        for (; i + 8 <= text.size(); i += 8) {
            std::uint64_t word;
            std::memcpy(&word, text.data() + i, 8);
            h = (h ^ word) * k;
            h ^= h >> 29;
        }
        std::uint64_t rest = 0;
        if (i < text.size()) std::memcpy(&rest, text.data() + i, text.size() - i);
        h = (h ^ rest) * k;
        h ^= h >> 32;
        h *= 0xD6E8FEB86659FD93ull;
        h ^= h >> 32;
        return h;
    }

    // Eight bytes at a time: the runtime's memcmp under Wine goes byte by byte.
    static bool SameBytes(const char* a, const char* b, std::size_t n) noexcept {
        std::size_t i = 0;
        for (; i + 8 <= n; i += 8) {
            std::uint64_t x, y;
            std::memcpy(&x, a + i, 8);
            std::memcpy(&y, b + i, 8);
            if (x != y) return false;
        }
        for (; i < n; ++i)
            if (a[i] != b[i]) return false;
        return true;
    }

    bool Matches(const Slot& slot, std::uint64_t hash, std::string_view path) const noexcept {
        return slot.tag == Tag(hash) && slot.length == path.size() &&
               SameBytes(m_paths.data() + slot.offset + kHeader, path.data(), path.size());
    }

    // Moves every path to a table of `count` slots (a power of two).
    void Rehash(std::size_t count) {
        std::vector<Slot> slots(count, Slot{0, 0, 0, kEmpty});
        for (const Slot& slot : m_slots) {
            if (slot.length == kEmpty) continue;
            const std::uint64_t hash = Hash(std::string_view(m_paths.data() + slot.offset + kHeader, slot.length));
            std::size_t i = static_cast<std::size_t>(hash) & (slots.size() - 1);
            while (slots[i].length != kEmpty) i = (i + 1) & (slots.size() - 1);
            slots[i] = slot;
        }
        m_slots.swap(slots);
    }

    std::string m_paths;
    std::vector<Slot> m_slots;
    std::size_t m_count = 0;
    std::size_t m_next = 0;  // the entry after the last one found
};

}  // namespace tvx::catalogue
