#include "engine/Exclusion.h"

#include <windows.h>

namespace tvx::engine {

int IsExcluded(const std::wstring& path, const std::vector<std::wstring>& list) {
    const std::size_t dot = path.find_last_of(L'.');
    const wchar_t* extension = dot == std::wstring::npos ? path.c_str() : path.c_str() + dot + 1;
    const int length = static_cast<int>(dot == std::wstring::npos ? path.size() : path.size() - dot - 1);
    for (const std::wstring& entry : list) {
        // Ordinal comparison with the system's case table: every script's
        // upper and lower case letters match, independent of the locale.
        if (CompareStringOrdinal(entry.c_str(), static_cast<int>(entry.size()), extension, length, TRUE) ==
            CSTR_EQUAL)
            return 1;
    }
    return 0;
}

}  // namespace tvx::engine
