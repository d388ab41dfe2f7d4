// Paths as the catalogue stores them: the UTF-8 bytes of the UTF-16 name.
//
// Windows file names are sequences of 16-bit units that need not be valid
// UTF-16: an unpaired surrogate is a legal name character. Strict UTF-8 has
// no form for it, and dropping or replacing it would give two different files
// the same catalogue entry. An unpaired surrogate is therefore written as the
// three bytes its code point would take (ED A0 80 to ED BF BF), the
// generalised UTF-8 used for such names; paired surrogates become the usual
// four-byte form. Every name thus has exactly one byte form, and it reads back
// to the same units.
//
// Header-only and free of Win32 so that the native tests can run it under the
// sanitizers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tvx::catalogue {

// Writes the stored form of `units` into `out` (replacing what it held; its
// storage is reused, so a caller with one buffer per loop allocates once).
inline void ToStoredBytes(std::u16string_view units, std::string& out) {
    out.resize(units.size() * 3);  // the most any unit takes; a pair takes 4 for 2
    char* p = out.data();
    auto put = [&p](std::uint32_t c) {
        if (c < 0x80) {
            *p++ = static_cast<char>(c);
        } else if (c < 0x800) {
            *p++ = static_cast<char>(0xC0 | (c >> 6));
            *p++ = static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            *p++ = static_cast<char>(0xE0 | (c >> 12));
            *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *p++ = static_cast<char>(0x80 | (c & 0x3F));
        } else {
            *p++ = static_cast<char>(0xF0 | (c >> 18));
            *p++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *p++ = static_cast<char>(0x80 | (c & 0x3F));
        }
    };
    for (std::size_t i = 0; i < units.size(); ++i) {
        const std::uint32_t u = units[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            put(0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else {
            put(u);  // lone surrogates included
        }
    }
    out.resize(static_cast<std::size_t>(p - out.data()));
}

inline std::string ToStoredBytes(std::u16string_view units) {
    std::string out;
    ToStoredBytes(units, out);
    return out;
}

// The units of a stored name. False for bytes that no name can have given
// (a damaged record): truncated or overlong sequences, stray continuation
// bytes, code points above U+10FFFF.
inline bool FromStoredBytes(std::string_view bytes, std::u16string& units) {
    units.clear();
    units.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto b0 = static_cast<unsigned char>(bytes[i]);
        std::uint32_t c;
        std::size_t n;
        if (b0 < 0x80) {
            c = b0;
            n = 1;
        } else if (b0 >= 0xC2 && b0 <= 0xDF) {
            c = b0 & 0x1Fu;
            n = 2;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            c = b0 & 0x0Fu;
            n = 3;
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            c = b0 & 0x07u;
            n = 4;
        } else {
            return false;
        }
        if (bytes.size() - i < n) return false;
        for (std::size_t k = 1; k < n; ++k) {
            const auto b = static_cast<unsigned char>(bytes[i + k]);
            if ((b & 0xC0) != 0x80) return false;
            c = (c << 6) | (b & 0x3Fu);
        }
        if ((n == 3 && c < 0x800) || (n == 4 && (c < 0x10000 || c > 0x10FFFF))) return false;
        if (c >= 0x10000) {
            c -= 0x10000;
            units.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            units.push_back(static_cast<char16_t>(c));
        }
        i += n;
    }
    return true;
}

}  // namespace tvx::catalogue
