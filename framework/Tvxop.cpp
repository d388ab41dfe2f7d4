#include "framework/Tvxop.h"

#include "framework/Tvxsem.h"
#include "framework/Trace.h"

namespace {

constexpr wchar_t kModule[] = L".\\Tvxop";
constexpr std::uint32_t kNeverAnId = 0xFFFFFFFFu;

// The process-wide operation-id counter and the lock that guards it. The lock
// is made at first use (thread-safe as a function-local static), not owned.
std::uint32_t g_nextOperationId = 0;

CTVXMutex& OperationIdLock() {
    static CTVXMutex lock(false);
    return lock;
}

std::uint32_t TakeOperationId() {
    CTVXMutex& lock = OperationIdLock();
    lock.Lock(INFINITE);  // 0 or 611 (a holder died): either way we own it now
    std::uint32_t id = g_nextOperationId++;
    if (id == kNeverAnId) id = g_nextOperationId++;
    lock.Unlock();
    return id;
}

}  // namespace

namespace tvx::detail {
void SetNextOperationId(std::uint32_t next) {
    CTVXMutex& lock = OperationIdLock();
    lock.Lock(INFINITE);
    g_nextOperationId = next;
    lock.Unlock();
}
}  // namespace tvx::detail

using namespace tvx::wrapcode;

CTVXOperation::CTVXOperation() : m_id(TakeOperationId()) {}

CTVXOperation::~CTVXOperation() {
    // The base Cancel, explicitly: a derived Cancel must not run on a derived
    // part that is already gone. The thread handle closes with m_thread.
    if (IsStarted() && m_finished.load() == 0) CTVXOperation::Cancel();
}

std::int32_t CTVXOperation::Run() { return kOk; }

std::int32_t CTVXOperation::Start(bool suspended) {
    if (IsStarted() && !IsFinished()) return kOperationRunning;

    m_cancelled.store(0);
    m_finished.store(0);
    m_result.store(kOk);
    m_started.store(1);
    try {
        // Create closes the handle of the previous run's thread, which has ended.
        m_thread.Create(&CTVXOperation::ThreadRoutine, this, 0, suspended ? CREATE_SUSPENDED : 0);
    } catch (const CTVXBaseError&) {
        // No thread: leave the operation as never started, so that neither
        // GetResult (which would give 0) nor the destructor takes it for run.
        m_started.store(0);
        m_result.store(kErrNoResult);
        throw;
    }
    return kOk;
}

void CTVXOperation::Resume() { m_thread.Resume(); }

bool CTVXOperation::IsFinished() {
    if (m_finished.load() == 0 && IsStarted() && m_thread.Wait(0) == kOk) m_finished.store(1);
    return m_finished.load() != 0;
}

std::int32_t CTVXOperation::GetResult() {
    return IsFinished() ? m_result.load() : kOperationNotFinished;
}

std::int32_t CTVXOperation::Cancel() {
    m_cancelled.store(1);
    if (!IsStarted()) return kOperationNeverStarted;
    if (m_thread.Id() == ::GetCurrentThreadId()) return kOk;  // Run cancels itself

    try {
        // A thread created suspended and never resumed would never see the flag.
        while (m_thread.HasHandle() && m_thread.Resume() > 1) {
        }
    } catch (const CTVXBaseError&) {
        tvx::TraceCaughtException(L"operation cancel (resume)");
    }
    try {
        if (m_thread.Wait(INFINITE) == kOk) m_finished.store(1);
    } catch (const CTVXBaseError&) {
        tvx::TraceCaughtException(L"operation cancel (wait)");
    }
    return kOk;
}

DWORD CTVXOperation::ThreadRoutine(CTVXThread* thread) {
    auto* operation = thread != nullptr ? static_cast<CTVXOperation*>(thread->Argument()) : nullptr;
    if (operation == nullptr) TVX_THROW_ERROR(kModule, kErrOperationWithoutThread, 0);

    std::int32_t result;
    try {
        result = operation->Run();
    } catch (...) {
        result = tvx::TraceCaughtException(L"operation run");
    }
    operation->m_result.store(result);
    // The stored result, not GetResult(): on this thread the operation cannot
    // be finished yet, so GetResult would always say 1600.
    return static_cast<DWORD>(result);
}
