// CTVXScheduler: copies on chosen days of the week at a chosen minute
// (schedule type 2). Its thread wakes half a second after every full minute
// of the local clock and, when the day's bit is set in "Scheduler DOW" and
// the minute equals "Scheduler TOD", sets the mirror controller's wake event.
//
// The local clock is read afresh at every check, so a change of the clock or
// of daylight time takes effect at the next check: a minute the clock skips
// over does not fire, a minute it passes twice fires twice. A computer that
// sleeps through the whole chosen minute skips that day; there is no catching
// up.
//
// The wait between checks follows the clock rather than a fixed length, so it
// does not pass through the time seam: divided, it would check the same
// minute several times and fire more than once in it. Tests inject a clock
// instead (the constructor's LocalClock).
//
// "Scheduler LRT" (.Low/.High) holds the local time of the last wake; the
// thread keeps it, Stop stores it. Nothing in the program decides anything
// from it.
//
// Start and Stop may be called from different threads (the worker starts,
// the controller's stop stops); they are serialised.
#pragma once

#include "engine/Tvxtime.h"
#include "framework/Handle.h"
#include "framework/Tvxthd.h"

#include <windows.h>

#include <functional>
#include <mutex>

namespace tvx::engine {

// The local wall-clock time, with the day of the week and milliseconds.
using LocalClock = std::function<SYSTEMTIME()>;

// The platform's local time (GetLocalTime).
SYSTEMTIME PlatformLocalTime() noexcept;

// How long to wait after the local time `now` until half a second past the
// next full minute: 60,500 ms minus the elapsed seconds and milliseconds of
// the current minute (501 to 60,500 ms; never 0, even in a leap second).
DWORD MillisecondsToNextCheck(const SYSTEMTIME& now) noexcept;

// Whether the minute of `now` is a scheduled one: the bit of its day of the
// week (bit 0 Sunday .. bit 6 Saturday) is set in `days` and hour * 60 +
// minute equals `timeOfDay`.
bool IsScheduledMinute(const SYSTEMTIME& now, DWORD days, DWORD timeOfDay) noexcept;

class CTVXScheduler {
public:
    // Reads the platform's local clock.
    CTVXScheduler();
    // Reads `clock` instead (tests).
    explicit CTVXScheduler(LocalClock clock);
    // Stops the thread (and stores the last run) when it runs.
    virtual ~CTVXScheduler();

    CTVXScheduler(const CTVXScheduler&) = delete;
    CTVXScheduler& operator=(const CTVXScheduler&) = delete;

    // Stops a thread that still runs, reads the days, the time of day and the
    // last run from the settings (what cannot be read counts as 0: no day
    // matches), and starts the thread that sets `wakeEvent` at each
    // scheduled minute. 0, or the platform's error code when the stop event
    // or the thread cannot be made.
    DWORD Start(HANDLE wakeEvent);

    // Ends the thread at once (it is waiting for its next check) and, when
    // there was one, stores the last run in the settings. Nothing to do when
    // not started.
    void Stop();

    // The last run as the thread left it; read it only while stopped.
    CTvxtime LastRun() const { return m_lastRun; }

private:
    static DWORD SchedulerThread(CTVXThread* thread);
    void StopLocked();
    DWORD Run();

    std::mutex m_control;          // serialises Start and Stop
    HANDLE m_wakeEvent = nullptr;  // the controller's, not owned
    tvx::UniqueHandle m_stopEvent; // auto-reset; set by Stop
    CTVXThread m_thread;
    DWORD m_days = 0;       // "Scheduler DOW"
    DWORD m_timeOfDay = 0;  // "Scheduler TOD", minutes after midnight
    CTvxtime m_lastRun;     // "Scheduler LRT"
    LocalClock m_clock;
};

}  // namespace tvx::engine
