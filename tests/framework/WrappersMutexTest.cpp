#include "framework/Tvxsem.h"
#include "framework/Tvxthd.h"

#include <gtest/gtest.h>

using namespace tvx::wrapcode;

namespace {

struct LockJob {
    CTVXMutex* mutex;
    DWORD timeoutMs;
    bool unlockAfter;
    std::int32_t code;
};

// Calls Lock on another thread (which ends then) and returns its code.
std::int32_t LockFromOtherThread(CTVXMutex& mutex, DWORD timeoutMs, bool unlockAfter = true) {
    LockJob job{&mutex, timeoutMs, unlockAfter, -1};
    CTVXThread thread(
        [](CTVXThread* self) -> DWORD {
            auto* job = static_cast<LockJob*>(self->Argument());
            job->code = job->mutex->Lock(job->timeoutMs);
            if (job->unlockAfter && job->code != kMutexTimeout) job->mutex->Unlock();
            return 0;
        },
        &job);
    thread.Wait(INFINITE);
    return job.code;
}

}  // namespace

TEST(WrappersMutex, OwnerLocksRecursivelyAndOthersTimeOutWith612UntilLastUnlock) {
    CTVXMutex mutex(/*initiallyOwned=*/true);
    EXPECT_EQ(mutex.Lock(0), kOk);
    EXPECT_EQ(LockFromOtherThread(mutex, 20), kMutexTimeout);
    mutex.Unlock();
    EXPECT_EQ(LockFromOtherThread(mutex, 0), kMutexTimeout);
    mutex.Unlock();
    EXPECT_EQ(LockFromOtherThread(mutex, 0), kOk);
}

TEST(WrappersMutex, LockAfterOwnerEndedWithoutReleaseReturns611AndOwns) {
    CTVXMutex mutex;
    ASSERT_EQ(LockFromOtherThread(mutex, 0, /*unlockAfter=*/false), kOk);
    EXPECT_EQ(mutex.Lock(0), kMutexAbandoned);
    EXPECT_EQ(LockFromOtherThread(mutex, 0), kMutexTimeout);
    mutex.Unlock();
    EXPECT_EQ(mutex.Lock(0), kOk);
    mutex.Unlock();
}

TEST(WrappersMutex, UnlockWithoutOwnershipThrows610WithSystemError) {
    CTVXMutex mutex;
    try {
        mutex.Unlock();
        FAIL() << "Unlock did not throw";
    } catch (const CTVXBaseError& e) {
        EXPECT_EQ(e.Code(), kErrMutexRelease);
        EXPECT_EQ(e.SystemError(), static_cast<std::uint32_t>(ERROR_NOT_OWNER));
        EXPECT_STREQ(e.Module(), L".\\Tvxsem");
    }
}
