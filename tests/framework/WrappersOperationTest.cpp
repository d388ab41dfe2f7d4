#include "framework/Tvxop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <stdexcept>
#include <vector>

using namespace tvx::wrapcode;

namespace {

// Run counts itself, signals `entered`, then polls IsCancelled until it is
// cancelled (returns ERROR_CANCELLED) or released (returns 10 + run number).
class GatedOperation : public CTVXOperation {
public:
    ~GatedOperation() override {
        Cancel();  // the derived part goes first: stop Run while it still exists
        ::CloseHandle(entered);
        ::CloseHandle(release);
    }
    std::int32_t Run() override {
        const int run = ++runs;
        ::SetEvent(entered);
        while (!IsCancelled() && ::WaitForSingleObject(release, 1) == WAIT_TIMEOUT) {
        }
        return IsCancelled() ? ERROR_CANCELLED : 10 + run;
    }
    bool Entered(DWORD timeoutMs = 5000) { return ::WaitForSingleObject(entered, timeoutMs) == WAIT_OBJECT_0; }

    HANDLE entered = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<int> runs{0};
};

bool WaitUntilFinished(CTVXOperation& operation) {
    const ULONGLONG end = ::GetTickCount64() + 5000;
    while (!operation.IsFinished()) {
        if (::GetTickCount64() > end) return false;
        ::Sleep(1);
    }
    return true;
}

}  // namespace

TEST(WrappersOperation, GetResultAfterStartIs1600AndStartWhileRunningReturns1601ChangingNothing) {
    GatedOperation operation;
    ASSERT_EQ(operation.Start(), kOk);
    EXPECT_EQ(operation.GetResult(), kOperationNotFinished);
    ASSERT_TRUE(operation.Entered());
    EXPECT_EQ(operation.Start(), kOperationRunning);
    EXPECT_EQ(operation.GetResult(), kOperationNotFinished);
    ::SetEvent(operation.release);
    ASSERT_TRUE(WaitUntilFinished(operation));
    EXPECT_EQ(operation.runs, 1);
    EXPECT_EQ(operation.GetResult(), 11);
}

TEST(WrappersOperation, StartOnFinishedOperationRestartsWithFreshResult) {
    GatedOperation operation;
    ASSERT_EQ(operation.Start(), kOk);
    ::SetEvent(operation.release);
    ASSERT_TRUE(WaitUntilFinished(operation));
    EXPECT_EQ(operation.Cancel(), kOk);  // on a finished operation it only sets the flag

    ::ResetEvent(operation.release);
    ASSERT_EQ(operation.Start(), kOk);
    EXPECT_FALSE(operation.IsCancelled());
    EXPECT_EQ(operation.GetResult(), kOperationNotFinished);
    ::SetEvent(operation.release);
    ASSERT_TRUE(WaitUntilFinished(operation));
    EXPECT_EQ(operation.GetResult(), 12);
}

TEST(WrappersOperation, CancelOnNeverStartedReturns1602WithoutBlocking) {
    GatedOperation operation;
    EXPECT_EQ(operation.GetResult(), kOperationNotFinished);
    EXPECT_EQ(operation.Cancel(), kOperationNeverStarted);  // a Cancel that waited for no thread would hang here
    EXPECT_FALSE(operation.IsStarted());
    ASSERT_EQ(operation.Start(), kOk);
    EXPECT_FALSE(operation.IsCancelled());  // Start clears what Cancel left
}

TEST(WrappersOperation, CancelOfPollingRunReturnsPromptlyWithRunsResult) {
    GatedOperation operation;
    ASSERT_EQ(operation.Start(), kOk);
    ASSERT_TRUE(operation.Entered());
    EXPECT_EQ(operation.Cancel(), kOk);  // waits for Run, which ends only when it sees the flag
    EXPECT_TRUE(operation.IsFinished());
    EXPECT_EQ(operation.GetResult(), static_cast<std::int32_t>(ERROR_CANCELLED));
}

TEST(WrappersOperation, StartedSuspendedWaitsAndCancelStillEndsIt) {
    GatedOperation operation;
    ASSERT_EQ(operation.Start(/*suspended=*/true), kOk);
    EXPECT_FALSE(operation.Entered(20));
    EXPECT_EQ(operation.Cancel(), kOk);
    EXPECT_EQ(operation.runs, 1);
    EXPECT_EQ(operation.GetResult(), static_cast<std::int32_t>(ERROR_CANCELLED));
}

TEST(WrappersOperation, CancelFromInsideRunOnlySetsTheFlag) {
    struct SelfCancelling : CTVXOperation {
        std::int32_t Run() override { return Cancel() == kOk && IsCancelled() ? 5 : 6; }
    } operation;
    ASSERT_EQ(operation.Start(), kOk);
    ASSERT_TRUE(WaitUntilFinished(operation));
    EXPECT_EQ(operation.GetResult(), 5);
}

TEST(WrappersOperation, ExceptionOutOfRunBecomesAFailureResult) {
    struct Throwing : CTVXOperation {
        explicit Throwing(bool wrapperError) : wrapperError(wrapperError) {}
        std::int32_t Run() override {
            if (wrapperError) throw CTVXBaseError(__LINE__, 609, 6, L".\\Test");
            throw std::runtime_error("disk on fire");
        }
        bool wrapperError;
    } wrapperError(true), otherError(false);
    ASSERT_EQ(wrapperError.Start(), kOk);
    ASSERT_EQ(otherError.Start(), kOk);
    ASSERT_TRUE(WaitUntilFinished(wrapperError) && WaitUntilFinished(otherError));
    EXPECT_EQ(wrapperError.GetResult(), 609);
    EXPECT_EQ(otherError.GetResult(), kErrUnhandledException);
}

TEST(WrappersOperation, ThreadRoutineWithoutOperationThrows100ThatStopsAtThreadEntry) {
    try {
        CTVXOperation::ThreadRoutine(nullptr);
        FAIL() << "ThreadRoutine did not throw";
    } catch (const CTVXBaseError& e) {
        EXPECT_EQ(e.Code(), kErrOperationWithoutThread);
        EXPECT_EQ(e.SystemError(), 0u);
        EXPECT_STREQ(e.Module(), L".\\Tvxop");
    }
    CTVXThread thread(&CTVXOperation::ThreadRoutine, nullptr);
    EXPECT_EQ(thread.Wait(INFINITE), 0);
    EXPECT_EQ(thread.ExitCode(), 100u);
}

TEST(WrappersOperation, OperationIdsAreUniqueAcrossThreads) {
    std::vector<std::uint32_t> ids[4];
    CTVXThread threads[4];
    for (int i = 0; i < 4; ++i) {
        threads[i].Create(
            [](CTVXThread* self) -> DWORD {
                auto* out = static_cast<std::vector<std::uint32_t>*>(self->Argument());
                for (int n = 0; n < 250; ++n) out->push_back(CTVXOperation().GetId());
                return 0;
            },
            &ids[i]);
    }
    std::set<std::uint32_t> all;
    for (int i = 0; i < 4; ++i) {
        threads[i].Wait(INFINITE);
        all.insert(ids[i].begin(), ids[i].end());
    }
    EXPECT_EQ(all.size(), 1000u);
}

TEST(WrappersOperation, OperationIdSkipsAllOnesAtWrapAround) {
    tvx::detail::SetNextOperationId(0xFFFFFFFEu);
    CTVXOperation a, b, c;
    EXPECT_EQ(a.GetId(), 0xFFFFFFFEu);
    EXPECT_EQ(b.GetId(), 0u);
    EXPECT_EQ(c.GetId(), 1u);
}
