#include "engine/Scheduler.h"

#include "framework/TimeSeam.h"
#include "framework/Trace.h"
#include "settings/Settings.h"

#include <cstdint>
#include <utility>

namespace tvx::engine {

namespace {
constexpr DWORD kCheckOffsetMs = 60500;  // half a second past the next full minute
constexpr DWORD kStopGraceMs = 1000;     // how long Stop expects the thread to take
}  // namespace

SYSTEMTIME PlatformLocalTime() noexcept {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    return now;
}

DWORD MillisecondsToNextCheck(const SYSTEMTIME& now) noexcept {
    // A leap second (60) or a bad record must not make the wait wrap around.
    const DWORD elapsed = static_cast<DWORD>(now.wSecond) * 1000 + now.wMilliseconds;
    return elapsed < kCheckOffsetMs ? kCheckOffsetMs - elapsed : 500;
}

bool IsScheduledMinute(const SYSTEMTIME& now, DWORD days, DWORD timeOfDay) noexcept {
    if (now.wDayOfWeek > 6) return false;
    if ((days & (1u << now.wDayOfWeek)) == 0) return false;
    return static_cast<DWORD>(now.wHour) * 60 + now.wMinute == timeOfDay;
}

CTVXScheduler::CTVXScheduler() : CTVXScheduler(LocalClock(&PlatformLocalTime)) {}

CTVXScheduler::CTVXScheduler(LocalClock clock) : m_clock(std::move(clock)) {
    if (!m_clock) m_clock = &PlatformLocalTime;
}

CTVXScheduler::~CTVXScheduler() { Stop(); }

DWORD CTVXScheduler::Start(HANDLE wakeEvent) {
    std::lock_guard<std::mutex> lock(m_control);
    if (m_thread.HasHandle() || m_stopEvent) StopLocked();

    m_days = 0;
    m_timeOfDay = 0;
    std::uint64_t lastRun = 0;
    settings::ReadNumber(settings::kSchedulerDays, m_days);
    settings::ReadNumber(settings::kSchedulerTimeOfDay, m_timeOfDay);
    settings::ReadSchedulerLastRun(lastRun);
    m_lastRun = CTvxtime::FromFileTime(lastRun);

    m_stopEvent.Attach(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!m_stopEvent) return ::GetLastError();

    // Everything the thread reads is in place before it runs.
    m_wakeEvent = wakeEvent;
    try {
        m_thread.Create(&CTVXScheduler::SchedulerThread, this);
    } catch (const CTVXBaseError& e) {
        m_stopEvent.Close();
        return e.SystemError() != 0 ? e.SystemError() : static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY);
    }
    return 0;
}

void CTVXScheduler::Stop() {
    std::lock_guard<std::mutex> lock(m_control);
    StopLocked();
}

void CTVXScheduler::StopLocked() {
    if (m_thread.HasHandle()) {
        ::SetEvent(m_stopEvent.Get());
        try {
            if (m_thread.Wait(tvx::timeseam::Scale(kStopGraceMs)) != 0) {
                // The thread reads this object and the stop event: it must
                // end before either goes away, however long that takes.
                tvx::Trace(L"scheduler: thread slow to stop, still waiting");
                m_thread.Wait(INFINITE);
            }
        } catch (const CTVXBaseError& e) {
            tvx::Trace(L"scheduler: waiting for the thread failed (system error %u)", e.SystemError());
        }
        const LONG rc = settings::WriteSchedulerLastRun(m_lastRun.ToFileTime());
        if (rc != ERROR_SUCCESS) tvx::Trace(L"scheduler: last run not stored (error %ld)", rc);
    }
    m_stopEvent.Close();
}

DWORD CTVXScheduler::SchedulerThread(CTVXThread* thread) {
    return static_cast<CTVXScheduler*>(thread->Argument())->Run();
}

DWORD CTVXScheduler::Run() {
    for (;;) {
        const DWORD wait = MillisecondsToNextCheck(m_clock());
        if (::WaitForSingleObject(m_stopEvent.Get(), wait) != WAIT_TIMEOUT) return 0;

        const SYSTEMTIME now = m_clock();
        if (IsScheduledMinute(now, m_days, m_timeOfDay)) {
            m_lastRun = CTvxtime(now);
            ::SetEvent(m_wakeEvent);
        }
    }
}

}  // namespace tvx::engine
