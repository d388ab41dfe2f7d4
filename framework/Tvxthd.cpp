#include "framework/Tvxthd.h"

namespace {
constexpr wchar_t kModule[] = L".\\Tvxthd";
}

using namespace tvx::wrapcode;

CTVXThread::CTVXThread(StartRoutine routine, void* argument, SIZE_T stackSize, DWORD creationFlags) {
    Create(routine, argument, stackSize, creationFlags);
}

void CTVXThread::Create(StartRoutine routine, void* argument, SIZE_T stackSize, DWORD creationFlags) {
    if (routine == nullptr) TVX_THROW_ERROR(kModule, kErrThreadCreate, ERROR_INVALID_PARAMETER);
    if (m_handle && Wait(0) != kOk) TVX_THROW_ERROR(kModule, kErrThreadCreate, ERROR_BUSY);

    m_routine = routine;
    m_argument = argument;
    m_exitCode = STILL_ACTIVE;
    DWORD id = 0;
    HANDLE thread = ::CreateThread(nullptr, stackSize, &CTVXThread::Entry, this,
                                   creationFlags | CREATE_SUSPENDED, &id);
    if (thread == nullptr) TVX_THROW_LAST_ERROR(kModule, kErrThreadCreate);
    m_handle.Attach(thread);
    m_id = id;

    if ((creationFlags & CREATE_SUSPENDED) == 0 && ::ResumeThread(thread) == static_cast<DWORD>(-1)) {
        const DWORD error = ::GetLastError();
        // The thread has not run a single instruction of the routine yet, so
        // ending it here leaves nothing half done.
        ::TerminateThread(thread, ERROR_CANCELLED);
        ::WaitForSingleObject(thread, INFINITE);
        m_handle.Close();
        m_id = 0;
        TVX_THROW_ERROR(kModule, kErrThreadCreate, error);
    }
}

DWORD CTVXThread::Resume() {
    const DWORD previous = ::ResumeThread(m_handle.Get());
    if (previous == static_cast<DWORD>(-1)) TVX_THROW_LAST_ERROR(kModule, kErrThreadResume);
    return previous;
}

std::int32_t CTVXThread::Wait(DWORD timeoutMs) {
    if (!m_handle) return kOk;
    switch (::WaitForSingleObject(m_handle.Get(), timeoutMs)) {
    case WAIT_OBJECT_0: {
        DWORD exitCode = 0;
        if (::GetExitCodeThread(m_handle.Get(), &exitCode)) m_exitCode = exitCode;
        m_handle.Close();
        m_id = 0;
        return kOk;
    }
    case WAIT_TIMEOUT:
        return kThreadWaitTimeout;
    case WAIT_ABANDONED:
        return kThreadWaitAbandoned;
    default:
        TVX_THROW_LAST_ERROR(kModule, kErrThreadWait);
    }
}

DWORD WINAPI CTVXThread::Entry(LPVOID parameter) noexcept {
    auto* self = static_cast<CTVXThread*>(parameter);
    try {
        return self->m_routine(self);
    } catch (...) {
        return static_cast<DWORD>(tvx::TraceCaughtException(L"thread entry"));
    }
}
