#include "framework/Tvxthd.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

using namespace tvx::wrapcode;

namespace {

// Argument of GatedRoutine, which records its thread object, signals `started`,
// waits for `release` and returns `exitCode`. Declared after the thread it
// serves, it releases and joins that thread when it goes, so that a failed
// assertion leaves no thread behind.
struct Probe {
    explicit Probe(CTVXThread& joined) : joined(joined) {}
    ~Probe() {
        ::SetEvent(release);
        joined.Wait(INFINITE);
        ::CloseHandle(started);
        ::CloseHandle(release);
    }
    CTVXThread& joined;
    HANDLE started = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<CTVXThread*> seenThread{nullptr};
    DWORD exitCode = 42;
};

DWORD GatedRoutine(CTVXThread* thread) {
    auto* probe = static_cast<Probe*>(thread->Argument());
    probe->seenThread = thread;
    ::SetEvent(probe->started);
    ::WaitForSingleObject(probe->release, INFINITE);
    return probe->exitCode;
}

}  // namespace

TEST(WrappersThread, WaitZeroOnRunningThreadReturns706AndKeepsHandleThenInfiniteClearsIt) {
    CTVXThread thread;
    Probe probe(thread);
    thread.Create(&GatedRoutine, &probe);
    ASSERT_EQ(::WaitForSingleObject(probe.started, 5000), WAIT_OBJECT_0);
    const HANDLE handle = thread.Handle();
    EXPECT_EQ(thread.Wait(0), kThreadWaitTimeout);
    EXPECT_EQ(thread.Handle(), handle);

    ::SetEvent(probe.release);
    EXPECT_EQ(thread.Wait(INFINITE), 0);
    EXPECT_FALSE(thread.HasHandle());
    EXPECT_EQ(thread.ExitCode(), 42u);
    EXPECT_EQ(probe.seenThread.load(), &thread);  // the routine got the thread object
}

TEST(WrappersThread, CreateFailureThrows700WithSystemError) {
    CTVXThread thread;
    Probe probe(thread);
    const SIZE_T wholeAddressSpace = SIZE_T{1} << 47;
    try {
        thread.Create(&GatedRoutine, &probe, wholeAddressSpace, STACK_SIZE_PARAM_IS_A_RESERVATION);
        FAIL() << "Create did not throw";
    } catch (const CTVXBaseError& e) {
        EXPECT_EQ(e.Code(), kErrThreadCreate);
        EXPECT_NE(e.SystemError(), 0u);
        EXPECT_STREQ(e.Module(), L".\\Tvxthd");
    }
    EXPECT_FALSE(thread.HasHandle());
}

TEST(WrappersThread, CreateWhileThreadRunsThrows700BusyAndKeepsThatThread) {
    CTVXThread thread;
    Probe probe(thread);
    thread.Create(&GatedRoutine, &probe);
    const HANDLE handle = thread.Handle();
    try {
        thread.Create(&GatedRoutine, &probe);
        FAIL() << "Create did not throw";
    } catch (const CTVXBaseError& e) {
        EXPECT_EQ(e.Code(), kErrThreadCreate);
        EXPECT_EQ(e.SystemError(), static_cast<std::uint32_t>(ERROR_BUSY));
    }
    EXPECT_EQ(thread.Handle(), handle);
}

TEST(WrappersThread, ExceptionOfRoutineStopsAtThreadEntryAsExitCode) {
    CTVXThread wrapperError([](CTVXThread*) -> DWORD { throw CTVXBaseError(__LINE__, 609, 5, L".\\Test"); },
                            nullptr);
    CTVXThread otherError([](CTVXThread*) -> DWORD { throw std::runtime_error("boom"); }, nullptr);
    EXPECT_EQ(wrapperError.Wait(INFINITE), 0);
    EXPECT_EQ(otherError.Wait(INFINITE), 0);
    EXPECT_EQ(wrapperError.ExitCode(), 609u);
    EXPECT_EQ(otherError.ExitCode(), static_cast<DWORD>(kErrUnhandledException));
}
