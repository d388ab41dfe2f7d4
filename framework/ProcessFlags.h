// Process-wide flags shared between the user-interface thread, the worker
// thread and the windows of the program. Each is 0 or 1 and has one writer at a
// time by the program's flow; they are atomics so that a reader on another
// thread always sees a whole, current value.
//
// The modal-window flag is the exception: the user-interface thread (its
// windows) and the worker (its prompts) may both want it at once, so it is
// only ever taken through ModalWindowScope, which takes it with one atomic
// compare-and-set and gives back only what it took.
#pragma once

#include <atomic>
#include <cstdint>

namespace tvx {

struct ProcessFlags {
    std::atomic<std::int32_t> modalWindow{0};       // one of the program's own windows is open
    std::atomic<std::int32_t> paused{0};            // paused by command 40013
    std::atomic<std::int32_t> progressWindow{0};    // the copy progress window is up
    std::atomic<std::int32_t> keepRunning{1};       // 0: the user chose to disable the program in a prompt
    std::atomic<std::int32_t> firstRun{0};          // the setup wizard ran in this session
    std::atomic<std::int32_t> updateAtShutdown{0};  // the session ends: a last pass runs first
    std::atomic<std::int32_t> drivePresent{1};      // cleared when the no-drive notice is dismissed
    std::atomic<std::int32_t> workerRunning{0};     // the worker thread runs
    std::atomic<std::int32_t> progressPercent{0};   // the copy's progress, 0 to 100, for the progress window
};

ProcessFlags& Flags() noexcept;

// Holds the modal-window flag for the life of the object when it was clear;
// otherwise holds nothing (another window of the program is open).
//
//     ModalWindowScope modal;
//     if (!modal.Entered()) return;   // something else is up: not now
class ModalWindowScope {
public:
    ModalWindowScope() noexcept;
    ~ModalWindowScope();
    ModalWindowScope(const ModalWindowScope&) = delete;
    ModalWindowScope& operator=(const ModalWindowScope&) = delete;

    bool Entered() const noexcept { return m_entered; }

private:
    bool m_entered;
};

}  // namespace tvx
