// The registry's list-of-texts layout (REG_MULTI_SZ), free of Win32 so that it
// can be tested with the host compiler under the sanitizers.
//
// Layout: every text followed by one zero character, the whole list followed
// by one more zero character:
//
//     a b c \0 d e \0 \0
//
// Because an empty text would look like the end of the list, a list can hold
// no empty texts. Values written by other programs are not always well formed,
// so parsing is lenient:
//  - nothing past the given length is ever read;
//  - a missing final zero (or both final zeros) is accepted: the last text
//    ends where the data ends;
//  - the first empty text ends the list, and whatever follows it is ignored;
//  - an odd byte count drops the trailing byte (half a character).
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace tvx::settings::multisz {

// Parses `count` characters starting at `data` (which may be null when count
// is 0).
template <typename CharT>
std::vector<std::basic_string<CharT>> Parse(const CharT* data, std::size_t count) {
    std::vector<std::basic_string<CharT>> texts;
    std::size_t pos = 0;
    while (pos < count) {
        std::size_t end = pos;
        while (end < count && data[end] != CharT{}) ++end;
        if (end == pos) break;  // empty text: the end of the list
        texts.emplace_back(data + pos, end - pos);
        pos = end + 1;
    }
    return texts;
}

// Parses raw value data of `byteCount` bytes. The data need not be aligned
// for CharT; a trailing partial character is dropped.
template <typename CharT>
std::vector<std::basic_string<CharT>> ParseBytes(const void* data, std::size_t byteCount) {
    std::vector<CharT> chars(byteCount / sizeof(CharT));
    if (!chars.empty()) std::memcpy(chars.data(), data, chars.size() * sizeof(CharT));
    return Parse(chars.data(), chars.size());
}

// Builds the value data of a list, final zero included. A text is taken up
// to its first zero character, and texts that are then empty are left out,
// since the layout cannot hold them. When no text is left the result is
// empty, which callers take as "nothing to write".
template <typename CharT>
std::basic_string<CharT> Serialise(const std::vector<std::basic_string<CharT>>& texts) {
    std::basic_string<CharT> data;
    for (const auto& text : texts) {
        const std::size_t zero = text.find(CharT{});
        const std::size_t length = zero == std::basic_string<CharT>::npos ? text.size() : zero;
        if (length == 0) continue;
        data.append(text, 0, length);
        data.push_back(CharT{});
    }
    if (!data.empty()) data.push_back(CharT{});
    return data;
}

}  // namespace tvx::settings::multisz
