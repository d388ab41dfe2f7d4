// The mirror controller: owns the worker thread on which every mirror pass
// runs. The user-interface thread starts, stops and signals it.
//
// This is the controller's outer shape: its stop flag and its three
// operations, which the start-up and the main window's commands rely on. The
// worker thread, the settings snapshot and the objects of a pass live behind
// the same operations.
#pragma once

#include <windows.h>

#include <atomic>

namespace tvx {

class CTVXMirrorController {
public:
    CTVXMirrorController();
    virtual ~CTVXMirrorController();

    CTVXMirrorController(const CTVXMirrorController&) = delete;
    CTVXMirrorController& operator=(const CTVXMirrorController&) = delete;

    // Re-reads the settings that a pass uses.
    void Reload();
    // Clears the stop flag and starts the worker; 0 or a system error code.
    DWORD Start();
    // Sets the stop flag and waits until the worker has ended.
    void Stop();
    // Reloads the settings and wakes the worker for a pass.
    void Signal();

    // The stop flag: set by Stop, cleared by Start.
    bool IsStopRequested() const noexcept { return m_stopFlag.load() != 0; }

private:
    std::atomic<LONG> m_stopFlag{0};
};

// The one controller of the process.
CTVXMirrorController& MirrorController();

}  // namespace tvx
