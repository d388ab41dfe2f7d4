#include "framework/ResourceString.h"

#include <vector>

namespace tvx {

std::wstring LoadResourceString(UINT id) {
    const wchar_t* text = nullptr;
    // With a zero buffer size LoadStringW hands out a pointer into the
    // resource itself and returns the length (the text is not terminated).
    const int n = ::LoadStringW(::GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    return n > 0 && text ? std::wstring(text, static_cast<size_t>(n)) : std::wstring();
}

std::wstring FormatInserts(const std::wstring& pattern, std::initializer_list<std::wstring> inserts) {
    const std::vector<std::wstring> values(inserts);
    std::wstring out;
    out.reserve(pattern.size() + 64);
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == L'%' && i + 1 < pattern.size()) {
            const wchar_t next = pattern[i + 1];
            if (next >= L'1' && next <= L'9') {
                const size_t index = static_cast<size_t>(next - L'1');
                if (index < values.size()) out += values[index];
                ++i;
                continue;
            }
            if (next == L'%') {
                out += L'%';
                ++i;
                continue;
            }
        }
        out += pattern[i];
    }
    return out;
}

}  // namespace tvx
