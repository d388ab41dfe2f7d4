// Process-wide flags shared between the user-interface thread, the worker
// thread and the windows of the program. Each is 0 or 1 and has one writer at a
// time by the program's flow; they are atomics so that a reader on another
// thread always sees a whole, current value.
#pragma once

#include <atomic>
#include <cstdint>

namespace tvx {

struct ProcessFlags {
    std::atomic<std::int32_t> modalWindow{0};       // one of the program's own windows is open
    std::atomic<std::int32_t> paused{0};            // paused by command 40013
    std::atomic<std::int32_t> progressWindow{0};    // the copy progress window is up
    std::atomic<std::int32_t> keepRunning{0};       // the last prompt asked to go on
    std::atomic<std::int32_t> firstRun{0};          // the setup wizard ran in this session
    std::atomic<std::int32_t> updateAtShutdown{0};  // a session end is held back for a last pass
    std::atomic<std::int32_t> drivePresent{1};      // cleared when the no-drive notice is dismissed
    std::atomic<std::int32_t> workerRunning{0};     // the worker thread runs
    std::atomic<std::int32_t> progressPercent{0};   // the copy's progress, 0 to 100, for the progress window
};

ProcessFlags& Flags() noexcept;

}  // namespace tvx
