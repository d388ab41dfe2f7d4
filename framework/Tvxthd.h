// CTVXThread: owner of one Win32 thread.
//
// Create starts a platform thread whose start parameter is the CTVXThread
// object itself; the start routine receives that object and reads its argument
// from it (Argument()). Every thread enters through one private entry point
// that catches whatever the routine throws, leaves a trace of it and turns it
// into the thread's exit code (a CTVXBaseError's code, otherwise 574,
// Windows' ERROR_UNHANDLED_EXCEPTION), so no exception ever crosses the thread entry.
//
// The thread is always created suspended, its handle and id are recorded, and
// only then is it resumed (unless the caller asked for CREATE_SUSPENDED): the
// new thread therefore always sees its own Handle() and Id().
//
// One thread controls the object (Create, Resume, Wait, destruction). The
// object must outlive its thread: the destructor only closes the handle, it
// neither stops nor waits for the thread, so wait (Wait) before destroying it.
#pragma once

#include "framework/TvxBaseError.h"
#include "framework/Handle.h"

#include <windows.h>

#include <cstdint>

class CTVXThread {
public:
    // The thread's work; its return value is the thread's exit code.
    using StartRoutine = DWORD (*)(CTVXThread* thread);

    CTVXThread() noexcept = default;
    // Calls Create.
    CTVXThread(StartRoutine routine, void* argument, SIZE_T stackSize = 0, DWORD creationFlags = 0);
    virtual ~CTVXThread() = default;  // the handle's owner closes it

    CTVXThread(const CTVXThread&) = delete;
    CTVXThread& operator=(const CTVXThread&) = delete;

    // Starts a thread running `routine`. `stackSize` and `creationFlags` go to
    // CreateThread (CREATE_SUSPENDED: the thread waits for Resume). Throws 700
    // when the thread cannot be created, including when this object still has
    // a thread that has not ended (system error ERROR_BUSY): that thread still
    // reads this object, so it cannot be replaced. The handle of a thread that
    // has ended is closed first.
    void Create(StartRoutine routine, void* argument, SIZE_T stackSize = 0, DWORD creationFlags = 0);

    // Decrements the suspend count; returns the count before the call (0: the
    // thread was not suspended, 1: it runs now). Throws 702 on failure,
    // including when there is no thread.
    DWORD Resume();

    // Waits up to `timeoutMs` for the thread to end.
    // 0: there is no thread, or it has ended: its exit code is kept (ExitCode)
    //    and its handle closed and cleared.
    // 706: timed out; the handle is kept. 705: the wait was abandoned.
    // Throws 704 when the wait fails.
    std::int32_t Wait(DWORD timeoutMs);

    HANDLE Handle() const noexcept { return m_handle.Get(); }
    bool HasHandle() const noexcept { return m_handle.IsValid(); }
    // The running thread's id; 0 once it has ended and been waited for.
    DWORD Id() const noexcept { return m_id; }
    void* Argument() const noexcept { return m_argument; }
    // Exit code of the last thread that Wait saw end; STILL_ACTIVE before.
    DWORD ExitCode() const noexcept { return m_exitCode; }

private:
    static DWORD WINAPI Entry(LPVOID parameter) noexcept;

    tvx::UniqueHandle m_handle;
    DWORD m_id = 0;
    void* m_argument = nullptr;
    StartRoutine m_routine = nullptr;
    DWORD m_exitCode = STILL_ACTIVE;
};
