#include "framework/Tvxsem.h"

namespace {
constexpr wchar_t kModule[] = L".\\Tvxsem";
}

using namespace tvx::wrapcode;

CTVXMutex::CTVXMutex(bool initiallyOwned)
    : m_handle(::CreateMutexW(nullptr, initiallyOwned ? TRUE : FALSE, nullptr)) {
    if (!m_handle) TVX_THROW_LAST_ERROR(kModule, kErrMutexCreate);
}

std::int32_t CTVXMutex::Lock(DWORD timeoutMs) {
    switch (::WaitForSingleObject(m_handle.Get(), timeoutMs)) {
    case WAIT_OBJECT_0:
        return kOk;
    case WAIT_ABANDONED:
        return kMutexAbandoned;
    case WAIT_TIMEOUT:
        return kMutexTimeout;
    default:
        TVX_THROW_LAST_ERROR(kModule, kErrMutexWait);
    }
}

void CTVXMutex::Unlock() {
    if (!::ReleaseMutex(m_handle.Get())) TVX_THROW_LAST_ERROR(kModule, kErrMutexRelease);
}
