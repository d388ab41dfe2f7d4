// Explicit byte-order helpers for the table and index formats. The checked
// forms take a span and an offset and report data that would lie outside it,
// so parsers never index past a buffer on a damaged file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tvx::db::endian {

inline std::uint16_t Le16(const std::uint8_t* p) noexcept {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t Le32(const std::uint8_t* p) noexcept {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint32_t Be32(const std::uint8_t* p) noexcept {
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
}
// Little-endian number of 1 to 8 bytes (compact leaf entries).
inline std::uint64_t LeN(const std::uint8_t* p, unsigned bytes) noexcept {
    std::uint64_t v = 0;
    for (unsigned i = bytes; i-- > 0;) v = (v << 8) | p[i];
    return v;
}

inline void PutLe16(std::uint8_t* p, std::uint16_t v) noexcept {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void PutLe32(std::uint8_t* p, std::uint32_t v) noexcept {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void PutBe32(std::uint8_t* p, std::uint32_t v) noexcept {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}
inline void PutLeN(std::uint8_t* p, std::uint64_t v, unsigned bytes) noexcept {
    for (unsigned i = 0; i < bytes; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Checked reads: false when [offset, offset + size) is not inside the span.
inline bool Inside(std::span<const std::uint8_t> s, std::size_t offset, std::size_t size) noexcept {
    return offset <= s.size() && size <= s.size() - offset;
}
inline bool ReadLe16(std::span<const std::uint8_t> s, std::size_t offset, std::uint16_t& out) noexcept {
    if (!Inside(s, offset, 2)) return false;
    out = Le16(s.data() + offset);
    return true;
}
inline bool ReadLe32(std::span<const std::uint8_t> s, std::size_t offset, std::uint32_t& out) noexcept {
    if (!Inside(s, offset, 4)) return false;
    out = Le32(s.data() + offset);
    return true;
}
inline bool ReadBe32(std::span<const std::uint8_t> s, std::size_t offset, std::uint32_t& out) noexcept {
    if (!Inside(s, offset, 4)) return false;
    out = Be32(s.data() + offset);
    return true;
}

}  // namespace tvx::db::endian
