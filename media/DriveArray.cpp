#include "media/DriveArray.h"

#include "framework/Handle.h"

namespace tvx::media {

HANDLE DriveArrayLock() noexcept {
    static const UniqueHandle lock(::CreateMutexW(nullptr, FALSE, nullptr));
    return lock.Get();
}

DriveArrayHold::DriveArrayHold() noexcept {
    const HANDLE lock = DriveArrayLock();
    // An abandoned lock is held all the same: the array is rebuilt at every
    // search, so nothing it guards outlives a search.
    if (lock) {
        const DWORD waited = ::WaitForSingleObject(lock, INFINITE);
        m_held = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    }
}

DriveArrayHold::~DriveArrayHold() {
    if (m_held) ::ReleaseMutex(DriveArrayLock());
}

}  // namespace tvx::media
