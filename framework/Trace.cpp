#include "framework/Trace.h"

#include <windows.h>

#include <cstdarg>
#include <cwchar>

namespace tvx {

void Trace(const wchar_t* format, ...) noexcept {
    constexpr size_t kSize = 512;
    wchar_t line[kSize] = L"Dovetrak3: ";
    const size_t prefix = std::wcslen(line);
    va_list args;
    va_start(args, format);
    // Room is kept for the "\n" and the terminating zero. A line that does not
    // fit is cut; whatever the runtime leaves in the buffer then, the length
    // below never runs past it.
    std::vswprintf(line + prefix, kSize - prefix - 2, format, args);
    va_end(args);
    line[kSize - 2] = L'\0';
    const size_t len = std::wcslen(line);
    line[len] = L'\n';
    line[len + 1] = L'\0';
    ::OutputDebugStringW(line);
}

}  // namespace tvx
