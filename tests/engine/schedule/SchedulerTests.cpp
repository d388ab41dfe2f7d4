// The scheduler: its per-minute rule over weeks of simulated clock, its thread
// on a scripted clock (each check costs a real wait of about half a second),
// and the last run it leaves in the registry of the test prefix.
#include "engine/Scheduler.h"
#include "settings/Settings.h"
#include "tests/settings/RegistryTestSupport.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace tvx::engine::testing {
namespace {

constexpr DWORD kMonday = 1u << 1, kEveryDay = 0x7F, k0830 = 8 * 60 + 30;
constexpr std::int64_t kMinuteMs = 60'000, kDayMs = 1440 * kMinuteMs, kWeekMs = 7 * kDayMs;

// A moment in the week of Sunday 2 June 2024 (day 0 Sunday .. 6 Saturday).
SYSTEMTIME At(int day, int hour, int minute, int second, int ms) {
    return SYSTEMTIME{2024, 6, static_cast<WORD>(day), static_cast<WORD>(2 + day), static_cast<WORD>(hour),
                      static_cast<WORD>(minute), static_cast<WORD>(second), static_cast<WORD>(ms)};
}

SYSTEMTIME InWeek(std::int64_t ms) {
    ms %= kWeekMs;
    return At(static_cast<int>(ms / kDayMs), static_cast<int>(ms / 3'600'000 % 24),
              static_cast<int>(ms / kMinuteMs % 60), static_cast<int>(ms / 1000 % 60), static_cast<int>(ms % 1000));
}

TEST(SchedulerRule, ChecksHalfASecondAfterTheNextFullMinute) {
    EXPECT_EQ(60500u, MillisecondsToNextCheck(At(1, 8, 29, 0, 0)));
    EXPECT_EQ(30250u, MillisecondsToNextCheck(At(1, 8, 29, 30, 250)));
    EXPECT_EQ(501u, MillisecondsToNextCheck(At(1, 8, 29, 59, 999)));
    EXPECT_EQ(500u, MillisecondsToNextCheck(At(1, 8, 29, 60, 0))) << "leap second";
}

// The thread's loop on a simulated clock, for every set of days at midnight,
// 08:30 and 23:59, from starts anywhere in a minute, with wake-ups on time
// and up to 0.45 s late: each of the 10,080 minutes after the start's is
// checked exactly once, and the wake comes once on each chosen day, in the
// chosen minute, never before half a second into it.
TEST(SchedulerRule, FiresOnceOnEachChosenDayInTheChosenMinute) {
    for (DWORD timeOfDay : {DWORD{0}, k0830, DWORD{1439}}) {
        for (DWORD days = 0; days <= kEveryDay; ++days) {
            for (std::int64_t start : {std::int64_t{0}, std::int64_t{12'345}, 3 * kDayMs + 59'999}) {
                for (int late = 0; late < 2; ++late) {
                    std::int64_t now = start, minute = start / kMinuteMs;
                    int fired = 0;
                    for (int n = 0; minute < start / kMinuteMs + 10'080; ++n) {
                        now += MillisecondsToNextCheck(InWeek(now)) + (late ? (n * 7919) % 450 : 0);
                        ASSERT_EQ(++minute, now / kMinuteMs) << "start " << start << " check " << n;
                        const SYSTEMTIME t = InWeek(now);
                        if (!IsScheduledMinute(t, days, timeOfDay)) continue;
                        ++fired;
                        EXPECT_NE(0u, days & (1u << t.wDayOfWeek));
                        EXPECT_EQ(timeOfDay, t.wHour * 60u + t.wMinute);
                        EXPECT_TRUE(t.wSecond == 0 && t.wMilliseconds >= 500);
                    }
                    ASSERT_EQ(std::popcount(days), fired) << "days 0x" << std::hex << days << std::dec << " time "
                                                          << timeOfDay << " start " << start << " late " << late;
                }
            }
        }
    }
}

// The last run is stored as its local fields, with no time-zone shift.
TEST(Tvxtime, FileTimeCarriesTheLocalFields) {
    EXPECT_EQ(CTvxtime(15, 30, 8, 3, 6, 2024, 0),
              CTvxtime::FromFileTime(CTvxtime(15, 30, 8, 3, 6, 2024, -120).ToFileTime()));
    EXPECT_EQ(125'911'584'000'000'000ull, CTvxtime(0, 0, 0, 1, 1, 2000, 60).ToFileTime());  // 2000-01-01
    EXPECT_EQ(0u, CTvxtime::FromFileTime(0).ToFileTime()) << "an unset last run stays 0";
    for (const CTvxtime& noDate : {CTvxtime(), CTvxtime(0, 0, 0, 31, 2, 2024, 0), CTvxtime(0, 0, 24, 1, 1, 2024, 0),
                                   CTvxtime::FromFileTime(0x8000000000000000ull)}) {
        EXPECT_EQ(0u, noDate.ToFileTime());
    }

    SYSTEMTIME utc{};
    GetSystemTime(&utc);
    const CTvxtime now = CTvxtime::Now();
    FILETIME ft{};
    ASSERT_TRUE(SystemTimeToFileTime(&utc, &ft));
    const std::int64_t utcTicks = (std::int64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime;
    const std::int64_t nowAsUtc = static_cast<std::int64_t>(now.ToFileTime()) + std::int64_t{now.Bias()} * 600'000'000;
    EXPECT_LT(std::abs(utcTicks - nowAsUtc), 20'000'000) << "local time plus bias is UTC";
}

// Hands out the scripted times in turn (then the last one for ever) and counts,
// at each reading, whether the wake event was set since the previous one. The
// thread reads the clock before each wait and after it.
class ScriptedClock {
public:
    ScriptedClock(HANDLE wake, std::vector<SYSTEMTIME> script) : m_wake(wake), m_script(std::move(script)) {}
    ~ScriptedClock() { CloseHandle(m_done); }

    SYSTEMTIME Read() {
        std::lock_guard<std::mutex> lock(m_lock);
        if (WaitForSingleObject(m_wake, 0) == WAIT_OBJECT_0 && ResetEvent(m_wake)) ++m_wakes;
        if (m_next + 1 >= m_script.size()) SetEvent(m_done);
        return m_script[m_next < m_script.size() - 1 ? m_next++ : m_next];
    }
    bool WaitAllRead() { return WaitForSingleObject(m_done, 10'000) == WAIT_OBJECT_0; }
    int Wakes() {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_wakes + (WaitForSingleObject(m_wake, 0) == WAIT_OBJECT_0 ? 1 : 0);
    }

private:
    HANDLE m_wake;
    std::vector<SYSTEMTIME> m_script;
    HANDLE m_done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::mutex m_lock;
    std::size_t m_next = 0;
    int m_wakes = 0;
};

class SchedulerThreadTest : public settings::testing::SettingsTest {
protected:
    void TearDown() override {
        CloseHandle(m_wake);
        SettingsTest::TearDown();
    }

    // Schedules the days and minute, runs a scheduler on the script until
    // all of it was read, stops it, and returns how often it woke.
    int Run(DWORD days, DWORD timeOfDay, std::vector<SYSTEMTIME> script) {
        EXPECT_EQ(ERROR_SUCCESS, settings::WriteNumber(settings::kSchedulerDays, days));
        EXPECT_EQ(ERROR_SUCCESS, settings::WriteNumber(settings::kSchedulerTimeOfDay, timeOfDay));
        ScriptedClock clock(m_wake, std::move(script));
        CTVXScheduler scheduler([&clock] { return clock.Read(); });
        EXPECT_EQ(0u, scheduler.Start(m_wake));
        EXPECT_TRUE(clock.WaitAllRead());
        scheduler.Stop();
        return clock.Wakes();
    }

    std::uint64_t StoredLastRun() {
        std::uint64_t value = 0xDEAD;
        EXPECT_EQ(ERROR_SUCCESS, settings::ReadSchedulerLastRun(value));
        return value;
    }

    HANDLE m_wake = CreateEventW(nullptr, TRUE, FALSE, nullptr);
};

TEST_F(SchedulerThreadTest, FiresInTheChosenMinuteAndStoresTheLastRunOnStop) {
    EXPECT_EQ(1, Run(kMonday, k0830, {At(1, 8, 29, 59, 950), At(1, 8, 30, 0, 500), At(1, 8, 30, 0, 600)}));
    EXPECT_EQ(CTvxtime(0, 30, 8, 3, 6, 2024, 0).ToFileTime(), StoredLastRun());
}

TEST_F(SchedulerThreadTest, MinutePassedTwiceAfterTheClockIsSetBackFiresTwice) {
    // Midnight of Saturday, then the clock is put back across midnight.
    EXPECT_EQ(2, Run(kEveryDay, 0,
                     {At(5, 23, 59, 59, 950), At(6, 0, 0, 0, 500), At(5, 23, 59, 59, 960), At(6, 0, 0, 0, 510),
                      At(6, 0, 0, 0, 600)}));
}

TEST_F(SchedulerThreadTest, MinuteSkippedByTheClockDoesNotFire) {
    EXPECT_EQ(0, Run(kEveryDay, k0830, {At(3, 8, 29, 59, 950), At(3, 8, 31, 0, 500), At(3, 8, 31, 0, 600)}));
    EXPECT_EQ(0u, StoredLastRun()) << "never fired: the last run stays unset";
}

// The clock says a minute has just begun, so the thread waits 60.5 s for
// its next check; no day is chosen. A stop that had to wait for that check
// would take a minute: the bound below is half of it, far above what a slow
// machine needs for a stop that works.
TEST_F(SchedulerThreadTest, StopDuringTheWaitEndsTheThreadAtOnceAndStoresTheLastRun) {
    const std::uint64_t earlier = CTvxtime(0, 30, 8, 27, 5, 2024, 0).ToFileTime();
    ASSERT_EQ(ERROR_SUCCESS, settings::WriteSchedulerLastRun(earlier));
    CTVXScheduler scheduler([] {
        SYSTEMTIME now{};
        now.wYear = 2024, now.wMonth = 5, now.wDay = 27, now.wHour = 9;
        return now;
    });
    ASSERT_EQ(0u, scheduler.Start(m_wake));
    ASSERT_EQ(0u, scheduler.Start(m_wake)) << "a second start replaces the first thread";
    ASSERT_EQ(ERROR_SUCCESS, settings::DeleteOptionsKey());

    const ULONGLONG before = GetTickCount64();
    scheduler.Stop();
    EXPECT_LT(GetTickCount64() - before, 30000u);
    EXPECT_EQ(earlier, StoredLastRun());
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(m_wake, 0));

    ASSERT_EQ(ERROR_SUCCESS, settings::DeleteOptionsKey());
    scheduler.Stop();
    EXPECT_FALSE(settings::testing::OptionsKeyExists()) << "a stopped scheduler stores nothing";
}

}  // namespace
}  // namespace tvx::engine::testing
