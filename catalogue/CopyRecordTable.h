// An in-memory table of one destination's copy records: file identity to the
// last-write time and attributes recorded for it.
//
// The catalogue fills it from REVNS once per open catalogue and answers a
// pass's look-ups from it (see Catalog.h). Open addressing with linear
// probing, at most half full; identity 0 marks a free slot (no file has it:
// the catalogue never asks for identity 0). The memory is kept when the
// table is cleared, because the catalogue fills it again at every pass.
//
// Header-only and free of Win32 so that the native tests can run it under the
// sanitizers.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tvx::catalogue {

class CopyRecordTable {
public:
    struct Record {
        std::uint64_t lastWrite = 0;
        std::uint32_t attributes = 0;
    };

    void Clear() noexcept {
        std::fill(m_slots.begin(), m_slots.end(), Slot{});
        m_count = 0;
    }

    std::size_t Count() const noexcept { return m_count; }

    // Makes room for `records` more records without moving the table.
    void Reserve(std::size_t records) {
        std::size_t slots = m_slots.empty() ? kFirstSlots : m_slots.size();
        while (slots < (m_count + records) * 2) slots *= 2;
        if (slots > m_slots.size()) Rehash(slots);
    }

    // Adds the record of a file unless it has one (`replace` false: the first
    // stays) or replaces it (`replace` true). Identity 0 is ignored. May
    // throw std::bad_alloc; the table is then unchanged.
    void Put(std::uint32_t file, const Record& record, bool replace) {
        if (file == 0) return;
        if ((m_count + 1) * 2 > m_slots.size()) Rehash(m_slots.empty() ? kFirstSlots : m_slots.size() * 2);
        Slot& slot = m_slots[Position(file)];
        if (slot.file == file) {
            if (replace) slot.record = record;
            return;
        }
        slot.file = file;
        slot.record = record;
        ++m_count;
    }

    // The record of a file; null when it has none.
    const Record* Find(std::uint32_t file) const noexcept {
        if (file == 0 || m_slots.empty()) return nullptr;
        const Slot& slot = m_slots[Position(file)];
        return slot.file == file ? &slot.record : nullptr;
    }

private:
    struct Slot {
        std::uint32_t file = 0;  // 0: free
        Record record;
    };
    static constexpr std::size_t kFirstSlots = 1024;

    // The slot holding `file`, or the free slot where it would go.
    std::size_t Position(std::uint32_t file) const noexcept {
        const std::size_t mask = m_slots.size() - 1;
        std::size_t i = static_cast<std::size_t>((file * 0x9E3779B97F4A7C15ull) >> 20) & mask;
        while (m_slots[i].file != 0 && m_slots[i].file != file) i = (i + 1) & mask;
        return i;
    }

    void Rehash(std::size_t count) {
        std::vector<Slot> slots(count);
        slots.swap(m_slots);
        for (const Slot& slot : slots)
            if (slot.file != 0) m_slots[Position(slot.file)] = slot;
    }

    std::vector<Slot> m_slots;
    std::size_t m_count = 0;
};

}  // namespace tvx::catalogue
