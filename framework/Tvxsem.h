// CTVXMutex: owner of one unnamed Win32 mutex.
//
// Lock returns the expected outcomes as codes (0, 611 abandoned, 612 timed
// out); a failed wait or release is thrown as a CTVXBaseError (609, 610), as is
// a mutex that cannot be created (601). The mutex is recursive, as Win32
// mutexes are: each successful Lock (0 or 611) needs one Unlock by the same
// thread.
#pragma once

#include "framework/TvxBaseError.h"
#include "framework/Handle.h"

#include <windows.h>

#include <cstdint>

class CTVXMutex {
public:
    // Creates the mutex, owned by the calling thread when `initiallyOwned`.
    explicit CTVXMutex(bool initiallyOwned = false);
    virtual ~CTVXMutex() = default;  // the handle's owner closes it

    CTVXMutex(const CTVXMutex&) = delete;
    CTVXMutex& operator=(const CTVXMutex&) = delete;

    // Waits up to `timeoutMs` (INFINITE for no limit) for the mutex.
    // 0: owned. 611: the previous owner ended without releasing it; the caller
    // owns it now and whatever it guards may be half changed. 612: timed out,
    // not owned.
    std::int32_t Lock(DWORD timeoutMs = INFINITE);
    // Releases one ownership; throws 610 when the caller does not own it.
    void Unlock();

    HANDLE Handle() const noexcept { return m_handle.Get(); }

private:
    tvx::UniqueHandle m_handle;
};
