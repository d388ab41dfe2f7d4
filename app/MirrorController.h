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
// error, or after the last pass before the session ends.
//
// The watcher (or the scheduler) is started before the first pass, so that a
// change made while that pass scans is not missed; a wake that came before
// the worker started stays set and makes its pass.
//
// Settings snapshot: Reload reads the values a pass uses from the registry
// into one snapshot, under a lock, because Signal reloads on the
// user-interface thread while a pass may be reading on the worker thread. A
// pass works from a copy taken when it reloads at its start.
//
// Start stamp: a pass that finds the stored start stamp 0 empties the
// catalogue first, so that it lists and copies every file (a complete copy).
// A complete copy asked for while a pass runs (RequestCompleteCopy) keeps its
// 0: that pass does not store its own start stamp over it, and the next pass
// is the complete copy.
#pragma once

#include "catalogue/Catalog.h"
#include "engine/ChangeWatcher.h"
#include "engine/ChangedFileList.h"
#include "engine/CopyEngine.h"
#include "engine/FolderScanner.h"
#include "engine/Scheduler.h"
#include "framework/Handle.h"
#include "framework/Tvxthd.h"
#include "media/DiskExchange.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tvx {

// The settings a pass and the worker use, as read by Reload.
struct MirrorSettings {
    std::uint64_t startStamp = 0;               // "Start Time Low/High"; 0: complete copy due
    std::vector<std::wstring> sources;          // "Source"
    std::vector<std::wstring> exclusions;       // "Filter"; absent: none
    std::wstring destination;                   // "Destination"
    DWORD revisionLimit = 0;                    // "Revisions"
    DWORD warningStatus = 0;                    // "Warning Status"
    DWORD progressStatus = 0;                   // "Progress Status"
    DWORD scheduleType = 0;                     // "Scheduler TYP"
    DWORD waitInterval = 300000;                // ms; INFINITE waits without limit
};

class CTVXMirrorController {
public:
    // Shows the copy progress window (show true) while a pass copies, and
    // takes it down (show false) when the copy has ended. Set by the user
    // interface; without one no window is shown.
    using ProgressWindow = std::function<void(CTVXMirrorController& controller, bool show)>;

    CTVXMirrorController();
    virtual ~CTVXMirrorController();

    CTVXMirrorController(const CTVXMirrorController&) = delete;
    CTVXMirrorController& operator=(const CTVXMirrorController&) = delete;

    // Re-reads the settings that a pass uses; a value that cannot be read
    // keeps its old content ("Filter" that is not there is an empty list).
    void Reload();
    // Clears the stop flag and starts the worker; 0 or a system error code.
    DWORD Start();
    // Sets the stop flag, asks the copy engine, the scanner, the scheduler
    // and the watcher to stop, and waits until the worker has ended.
    void Stop();
    // Reloads the settings and wakes the worker for a pass.
    void Signal();
    // "Complete copy of all files": stores the start stamp 0 and wakes the
    // worker, whose next pass then copies every file again.
    void RequestCompleteCopy();
    // The session ends: the worker runs one more pass (without the quiet
    // period, with the progress window) that starts after this call, and
    // ends. Returns when it has ended (at once when no worker runs).
    void RunLastPass();

    // One mirror pass: scan every source, and when anything changed and the
    // program's disk is ready, copy it and store the new start stamp.
    // showProgress 1 shows the progress window. 0, or a Windows error code
    // (the registry's, when the start stamp cannot be written;
    // ERROR_OPERATION_ABORTED after a stop).
    DWORD RunPass(DWORD showProgress);

    // The stop flag: set by Stop, cleared by Start.
    bool IsStopRequested() const noexcept { return m_stopFlag.load() != 0; }

    // A copy of the current settings snapshot.
    MirrorSettings Settings() const;

    // 1 asks the worker to run a pass with the progress window as soon as it
    // starts (the settings window sets it when its changes call for one).
    void SetForcedPass(LONG value) noexcept { m_forcedPass.store(value); }

    // What the copy progress window shows while a pass copies: the percent
    // done, the file being copied and where to (GetPercentDone,
    // GetCurrentSource, GetCurrentDestination, GetTotalBytes).
    const engine::CTVXCopyEngine& CopyProgress() const noexcept { return m_copyEngine; }
    // The progress window's Cancel: ends the running copy (the pass still
    // stores what was copied); the worker goes on waiting for changes.
    void CancelCopy() noexcept { m_copyEngine.Stop(); }
    void SetProgressWindow(ProgressWindow window);

    // True while a worker thread exists that has not been waited for.
    bool HasWorker() const noexcept { return m_worker.HasHandle(); }
    // Waits up to `milliseconds` for a worker that ends by itself; true when
    // there is none (any more). For tests.
    bool WaitForWorker(DWORD milliseconds);
    HANDLE WakeEvent() const noexcept { return m_wake.Get(); }
    // What the worker did, for tests and traces: passes run (by the worker
    // or RunPass), the quiet waits before the last pass, the quiet waits
    // begun so far (each counted once the wake event was reset for it, so
    // that a wake from then on ends it).
    LONG PassCount() const noexcept { return m_passes.load(); }
    LONG LastQuietWaits() const noexcept { return m_quietWaits.load(); }
    LONG QuietWaitsBegun() const noexcept { return m_quietWaitsBegun.load(); }
    bool InPass() const noexcept { return m_inPass.load() != 0; }

private:
    static DWORD WorkerThread(CTVXThread* thread);
    DWORD WorkerLoop();
    // Runs a pass between the tray's animate and stop messages.
    DWORD AnimatedPass(DWORD showProgress);
    void Post(UINT message) const;
    // Stores the start stamp a pass leaves, unless a complete copy was asked
    // for since the pass took `requestsSeen`. 0 or the registry's error.
    DWORD StoreStartStamp(std::uint64_t stamp, std::uint64_t requestsSeen);

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
    std::atomic<LONG> m_quietWaitsBegun{0};
    std::atomic<LONG> m_inPass{0};

    mutable std::mutex m_settingsLock;
    MirrorSettings m_settings;

    // Orders "store 0" (a complete copy asked for) against "store the stamp
    // a pass leaves"; counts the requests.
    std::mutex m_stampLock;
    std::uint64_t m_completeCopyRequests = 0;

    std::mutex m_progressLock;
    ProgressWindow m_progressWindow;

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
