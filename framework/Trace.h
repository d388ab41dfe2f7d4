// Diagnostic trace through OutputDebugStringW. Nothing is written to a file;
// a debugger or a debug-output monitor (the end-to-end tests run one) sees the
// lines, everyone else sees nothing.
#pragma once

namespace tvx {

// printf-style; the line is prefixed with "Dovetrak3: " and ended with "\n".
void Trace(const wchar_t* format, ...) noexcept;

}  // namespace tvx
