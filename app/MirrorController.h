// The mirror controller: owns the worker thread on which every mirror pass
// runs, the settings snapshot a pass works from, and the objects of a pass
// (catalogue, changed-file list, scanner, copy engine), the change watcher
// and the scheduler. The user-interface thread starts, stops and signals it.
//
// The worker thread waits on the wake event (manual reset) for the wait
// interval of the schedule type: 5 minutes for "on every save" (the change
// watcher sets the event), the interval for "every N minutes", without limit
// for "on chosen days" (the scheduler sets it) and "only at shutdown". After
// a wake it waits until the event stays quiet for 5 seconds (at most 30
// times) and runs one pass; a wake during a pass leaves the event set, so one
// more pass follows. It posts WM_TRAYANIMATE before and WM_TRAYSTOP after
// each pass to the main window. It ends on a stop, on a pass that returns an
// error, or after the last pass at shutdown, which then asks Windows to shut
// down.
//
// Settings snapshot: Reload reads the values a pass uses from the registry
// into one snapshot, under a lock, because Signal reloads on the
// user-interface thread while a pass may be reading on the worker thread. A
// pass works from a copy taken when it reloads at its start.
#pragma once

#include "app/Tvxthd.h"
#include "catalogue/Catalog.h"
#include "engine/ChangeWatcher.h"
#include "engine/ChangedFileList.h"
#include "engine/CopyEngine.h"
#include "engine/FolderScanner.h"
#include "engine/Scheduler.h"
#include "framework/Handle.h"
#include "media/DiskExchange.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tvx {

// The settings a pass and the worker use, as read by Reload.
struct MirrorSettings {
    std::uint64_t startStamp = 0;               // "Start Time Low/High"; 0: complete copy due
    std::vector<std::wstring> sources;          // "Source"
    std::vector<std::wstring> exclusions;       // "Filter"
    std::wstring destination;                   // "Destination"
    DWORD revisionLimit = 0;                    // "Revisions"
    DWORD warningStatus = 0;                    // "Warning Status"
    DWORD progressStatus = 0;                   // "Progress Status"
    DWORD scheduleType = 0;                     // "Scheduler TYP"
    DWORD waitInterval = 300000;                // ms; INFINITE waits without limit
};

class CTVXMirrorController {
public:
    CTVXMirrorController();
    virtual ~CTVXMirrorController();

    CTVXMirrorController(const CTVXMirrorController&) = delete;
    CTVXMirrorController& operator=(const CTVXMirrorController&) = delete;

    // Re-reads the settings that a pass uses; a value that cannot be read
    // keeps its old content.
    void Reload();
    // Clears the stop flag and starts the worker; 0 or a system error code.
    DWORD Start();
    // Sets the stop flag, asks the copy engine and the scanner to stop, and
    // waits until the worker has ended.
    void Stop();
    // Reloads the settings and wakes the worker for a pass.
    void Signal();

    // One mirror pass: scan every source, and when anything changed and the
    // program's disk is ready, copy it and store the new start stamp.
    // showProgress 1 shows the progress window. 0, or a Windows error code
    // (the registry's, when the start stamp cannot be written).
    DWORD RunPass(DWORD showProgress);

    // The stop flag: set by Stop, cleared by Start.
    bool IsStopRequested() const noexcept { return m_stopFlag.load() != 0; }

    // A copy of the current settings snapshot.
    MirrorSettings Settings() const;

    // 1 asks the worker to run a pass with the progress window as soon as it
    // starts (the settings window sets it when its changes call for one).
    void SetForcedPass(LONG value) noexcept { m_forcedPass.store(value); }
    // True while a worker thread exists that has not been waited for.
    bool HasWorker() const noexcept { return m_worker.HasHandle(); }
    // Waits up to `milliseconds` for a worker that ends by itself; true when
    // there is none (any more). For tests.
    bool WaitForWorker(DWORD milliseconds);
    HANDLE WakeEvent() const noexcept { return m_wake.Get(); }
    // What the worker did, for tests and traces: passes run (by the worker
    // or RunPass), and the quiet waits before the last pass.
    LONG PassCount() const noexcept { return m_passes.load(); }
    LONG LastQuietWaits() const noexcept { return m_quietWaits.load(); }
    bool InPass() const noexcept { return m_inPass.load() != 0; }

private:
    static DWORD WorkerThread(CTVXThread* thread);
    DWORD WorkerLoop();
    void Post(UINT message) const;
    // Asks Windows to shut down after the last pass (with the shutdown
    // privilege). TVX_SHUTDOWN_REQUEST=trace in the environment only traces
    // the request, so that tests can see it without ending their session.
    static void RequestShutdown();

    // Waits up to `milliseconds` (through the time seam), ending early when
    // a stop is asked for.
    void PauseUnlessStopped(DWORD milliseconds) const;

    std::atomic<LONG> m_forcedPass{0};
    UniqueHandle m_wake{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    CTVXThread m_worker;
    HWND m_mainWindow = nullptr;  // found by the worker when it starts
    std::atomic<LONG> m_stopFlag{0};
    std::atomic<LONG> m_mediumLocked{0};
    std::atomic<LONG> m_passes{0};
    std::atomic<LONG> m_quietWaits{0};
    std::atomic<LONG> m_inPass{0};

    mutable std::mutex m_settingsLock;
    MirrorSettings m_settings;

    media::CTVXDiskExchange m_diskFullHandler;
    engine::CTVXChangedFileList m_changedFiles;
    engine::CTVXCopyEngine m_copyEngine{m_diskFullHandler};
    engine::CTVXFolderScanner m_scanner;
    engine::CTVXChangeWatcher m_watcher;
    engine::CTVXScheduler m_scheduler;
    std::unique_ptr<catalogue::CTVXCatalog> m_catalog;
};

// The one controller of the process.
CTVXMirrorController& MirrorController();

}  // namespace tvx
