#include "framework/TimeSeam.h"

#include <atomic>
#include <cwchar>

namespace tvx::timeseam {
namespace {
std::atomic<unsigned> g_divisor{1};
}

void SetDivisor(unsigned divisor) noexcept { g_divisor.store(divisor == 0 ? 1 : divisor); }

unsigned Divisor() noexcept { return g_divisor.load(); }

void InitFromEnvironment() noexcept {
    wchar_t text[16] = {};
    const DWORD n = ::GetEnvironmentVariableW(L"TVX_TIME_DIVISOR", text, 16);
    if (n == 0 || n >= 16) return;
    wchar_t* end = nullptr;
    const unsigned long value = std::wcstoul(text, &end, 10);
    if (end && *end == L'\0' && value >= 1 && value <= 1000) SetDivisor(static_cast<unsigned>(value));
}

DWORD Scale(DWORD milliseconds) noexcept {
    if (milliseconds == INFINITE || milliseconds == 0) return milliseconds;
    const DWORD scaled = milliseconds / Divisor();
    return scaled == 0 ? 1 : scaled;
}

void Sleep(DWORD milliseconds) noexcept { ::Sleep(Scale(milliseconds)); }

DWORD WaitForObject(HANDLE handle, DWORD milliseconds) noexcept {
    return ::WaitForSingleObject(handle, Scale(milliseconds));
}

}  // namespace tvx::timeseam
