// The text form of field and key bytes used by the tvxdb tool: printable
// ASCII stays as it is, a backslash is written "\\", every other byte
// "\xHH". Reading also takes "\t" and "\n".
#pragma once

#include <string>
#include <string_view>

namespace tvx::db {

inline std::string EscapeBytes(std::string_view bytes) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b == '\\') {
            out += "\\\\";
        } else if (b < 0x20 || b > 0x7E) {
            out += "\\x";
            out += hex[b >> 4];
            out += hex[b & 15];
        } else {
            out += c;
        }
    }
    return out;
}

// False on a malformed escape (a lone backslash, an unknown letter, bad hex).
inline bool UnescapeBytes(std::string_view text, std::string& out) {
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i >= text.size()) return false;
        switch (text[i]) {
        case '\\': out += '\\'; break;
        case 't': out += '\t'; break;
        case 'n': out += '\n'; break;
        case 'x': {
            if (text.size() - i < 3) return false;
            const int hi = digit(text[i + 1]);
            const int lo = digit(text[i + 2]);
            if (hi < 0 || lo < 0) return false;
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
            break;
        }
        default:
            return false;
        }
    }
    return true;
}

}  // namespace tvx::db
