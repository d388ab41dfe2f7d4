// CTVXBaseError: the record the thread, mutex and operation wrappers throw when
// a platform call fails in a way the caller cannot work around. It is thrown by
// value and caught by reference. Expected outcomes (a time-out, an abandoned
// wait, "still running") are never thrown: the wrappers return them as codes.
//
// Everywhere else in the program Windows error codes are the currency, so an
// exception must stop at the wrappers' edge and never cross a thread entry.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// The wrappers' codes, thrown in CTVXBaseError::Code() or returned.
namespace tvx::wrapcode {
inline constexpr std::int32_t kOk = 0;
inline constexpr std::int32_t kErrOperationWithoutThread = 100;  // thrown by the operation thread
inline constexpr std::int32_t kErrNoResult = 108;                // an operation's result before any run
inline constexpr std::int32_t kErrMutexCreate = 601;             // thrown
inline constexpr std::int32_t kErrMutexWait = 609;               // thrown
inline constexpr std::int32_t kErrMutexRelease = 610;            // thrown
inline constexpr std::int32_t kMutexAbandoned = 611;             // returned; the caller now owns it
inline constexpr std::int32_t kMutexTimeout = 612;               // returned
inline constexpr std::int32_t kErrThreadCreate = 700;            // thrown
inline constexpr std::int32_t kErrThreadResume = 702;            // thrown
inline constexpr std::int32_t kErrThreadWait = 704;              // thrown
inline constexpr std::int32_t kThreadWaitAbandoned = 705;        // returned
inline constexpr std::int32_t kThreadWaitTimeout = 706;          // returned
inline constexpr std::int32_t kOperationNotFinished = 1600;      // returned
inline constexpr std::int32_t kOperationRunning = 1601;          // returned
inline constexpr std::int32_t kOperationNeverStarted = 1602;     // returned
// Windows' ERROR_UNHANDLED_EXCEPTION, which MinGW's headers lack: stands for an
// exception other than a CTVXBaseError stopped at a thread entry.
inline constexpr std::int32_t kErrUnhandledException = 574;
}  // namespace tvx::wrapcode

class CTVXBaseError {
public:
    // The module text holds at most 259 characters and the terminating zero.
    static constexpr std::size_t kModuleChars = 260;

    // `module` is the module name with the path of its source file, such as
    // L".\\Tvxthd"; a longer text is cut to fit.
    CTVXBaseError(std::int32_t line, std::int32_t code, std::uint32_t systemError,
                  const wchar_t* module) noexcept;

    std::int32_t Line() const noexcept { return m_line; }
    std::int32_t Code() const noexcept { return m_code; }
    // The platform's last error at the throw, or 0 when no platform call failed.
    std::uint32_t SystemError() const noexcept { return m_systemError; }
    const wchar_t* Module() const noexcept { return m_module; }

private:
    std::int32_t m_line;
    std::int32_t m_code;
    std::uint32_t m_systemError;
    wchar_t m_module[kModuleChars];
};

// Throws `code` from the current line with the calling thread's last error.
// Use it straight after the failing call, before anything can overwrite the
// last error.
#define TVX_THROW_LAST_ERROR(module, code) \
    throw CTVXBaseError(__LINE__, (code), ::GetLastError(), (module))

// Throws `code` from the current line with the given system error (0 when the
// failure is not a platform call's).
#define TVX_THROW_ERROR(module, code, systemError) \
    throw CTVXBaseError(__LINE__, (code), static_cast<std::uint32_t>(systemError), (module))

namespace tvx {

// Call only inside a catch block. Leaves a trace of the exception being handled
// (naming `where`) and returns the code that stands for it: a CTVXBaseError's
// own code, otherwise kErrUnhandledException (574).
std::int32_t TraceCaughtException(const wchar_t* where) noexcept;

}  // namespace tvx
