// The one seam through which every fixed wait of the program passes (quiet
// periods, pauses, polls, the splash time). The product's constants stay as
// they are; a test run may divide them so that a scenario that takes minutes
// on a user's PC takes seconds under test. INFINITE is never divided, and a
// non-zero wait never becomes zero.
#pragma once

#include <windows.h>

namespace tvx::timeseam {

// Divisor for every wait; 1 (the default) leaves them as written.
void SetDivisor(unsigned divisor) noexcept;
unsigned Divisor() noexcept;

// Reads the divisor from the environment variable TVX_TIME_DIVISOR, when it
// holds a whole number from 1 to 1000; anything else leaves the divisor at 1.
void InitFromEnvironment() noexcept;

DWORD Scale(DWORD milliseconds) noexcept;
void Sleep(DWORD milliseconds) noexcept;
DWORD WaitForObject(HANDLE handle, DWORD milliseconds) noexcept;

}  // namespace tvx::timeseam
