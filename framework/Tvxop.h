// CTVXOperation: a piece of work run on a thread of its own, with a result code.
//
// Protocol between the controlling thread (the one that owns the object and
// calls Start, Cancel, IsFinished, GetResult, and destroys it) and the
// operation thread (which only runs Run):
//
//   Start      controlling  If the operation is started and has not finished,
//                           returns 1601 and changes nothing. Otherwise clears
//                           the cancel and finished flags, sets the result to 0
//                           and the started flag, closes the handle of the
//                           previous run's thread, and creates the operation
//                           thread (suspended when asked; Resume lets it go).
//   Run        operation    Does the work and returns the result code. It must
//                           poll IsCancelled often and return soon after it
//                           turns true; it sees the flag at its next poll.
//                           Whatever Run returns is stored as the result; an
//                           exception out of Run is traced and stored as the
//                           result instead (a CTVXBaseError's code, otherwise
//                           574, ERROR_UNHANDLED_EXCEPTION), never thrown across
//                           the thread entry.
//   Cancel     controlling  Sets the cancel flag, then blocks until the thread
//                           has ended (a thread still suspended is resumed so
//                           that Run can see the flag). Afterwards the
//                           operation is finished and GetResult gives what Run
//                           returned. Returns 1602, without blocking, for an
//                           operation never started, else 0. Called from Run
//                           itself it only sets the flag (waiting for one's own
//                           thread would never end).
//   IsFinished controlling  Polls the thread without waiting; sets the finished
//                           flag (and closes the thread handle) once it has
//                           ended.
//   GetResult  controlling  1600 while the operation has not finished
//                           (including one never started), otherwise what Run
//                           returned. It polls as IsFinished does, so it needs
//                           no IsFinished call before it.
//
// Flags are atomics: IsCancelled is read on the operation thread while Cancel
// sets the flag on the controlling thread. The result is written by the
// operation thread before it ends and read by the controlling thread only after
// the end has been seen through the thread's handle.
//
// Destruction: a running operation must be cancelled before its members go.
// The base destructor cancels a started, unfinished operation, but by then the
// derived part is already destroyed while the thread may still be inside the
// derived Run. So every derived class whose Run touches its own members must
// call Cancel() in its own destructor; the base destructor then finds the
// operation finished and only releases the handle.
//
// Every operation gets a process-wide unique id at construction, taken from a
// 32-bit counter under a process-wide mutex; 0xFFFFFFFF is never handed out.
#pragma once

#include "framework/TvxBaseError.h"
#include "framework/Tvxthd.h"

#include <atomic>
#include <cstdint>

class CTVXOperation {
public:
    // Takes the next operation id; throws when the id lock cannot be made.
    CTVXOperation();
    virtual ~CTVXOperation();

    CTVXOperation(const CTVXOperation&) = delete;
    CTVXOperation& operator=(const CTVXOperation&) = delete;

    // 0, or 1602 for an operation never started. See the protocol above.
    virtual std::int32_t Cancel();
    // The work; returns the result code. The base does nothing and returns 0.
    virtual std::int32_t Run();

    // 0 when started, 1601 when already running. Throws 700 when the thread
    // cannot be created; the operation is then left as if never started.
    std::int32_t Start(bool suspended = false);
    // Lets a thread started suspended run; throws 702 on failure.
    void Resume();

    bool IsFinished();
    bool IsStarted() const noexcept { return m_started.load() != 0; }
    bool IsCancelled() const noexcept { return m_cancelled.load() != 0; }
    std::int32_t GetResult();
    std::uint32_t GetId() const noexcept { return m_id; }

    // The operation thread's routine: stores Run's value as the result and
    // returns it as the exit code. Throws 100 when called without a thread
    // object, or with one whose argument is not an operation (null).
    static DWORD ThreadRoutine(CTVXThread* thread);

private:
    CTVXThread m_thread;
    std::atomic<std::int32_t> m_cancelled{0};
    std::atomic<std::int32_t> m_finished{0};
    std::atomic<std::int32_t> m_started{0};
    std::atomic<std::int32_t> m_result{tvx::wrapcode::kErrNoResult};
    std::uint32_t m_id;
};

namespace tvx::detail {
// Test seam: sets the value the next operation id will be taken from.
void SetNextOperationId(std::uint32_t next);
}  // namespace tvx::detail
