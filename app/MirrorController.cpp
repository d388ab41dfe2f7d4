#include "app/MirrorController.h"

#include "app/Messages.h"
#include "framework/ProcessFlags.h"
#include "framework/TimeSeam.h"
#include "framework/Trace.h"
#include "media/DiskCheck.h"
#include "media/Praxon.h"
#include "settings/Settings.h"

#include <algorithm>

namespace tvx {

CTVXMirrorController::CTVXMirrorController() { Reload(); }

CTVXMirrorController::~CTVXMirrorController() {
    // The worker reads this object: it must have ended before the members go.
    if (m_worker.HasHandle()) Stop();
    // A medium a pass locked in its drive can be ejected again.
    const std::wstring destination = Settings().destination;
    if (m_mediumLocked.load() == 1 && !destination.empty()) Praxon::Drive(destination[0]).makeRemovable();
}

void CTVXMirrorController::Reload() {
    MirrorSettings next = Settings();
    settings::ReadStartTime(next.startStamp);
    std::vector<std::wstring> list;
    if (settings::ReadSourceList(list) == ERROR_SUCCESS) next.sources = std::move(list);
    // The exclusion dialog deletes "Filter" when the user empties the list.
    const LONG filter = settings::ReadFilterList(list);
    if (filter == ERROR_SUCCESS)
        next.exclusions = std::move(list);
    else if (filter == ERROR_FILE_NOT_FOUND)
        next.exclusions.clear();
    settings::ReadDestination(next.destination);
    settings::ReadRevisions(next.revisionLimit);
    settings::ReadWarningStatus(next.warningStatus);
    settings::ReadProgressStatus(next.progressStatus);
    DWORD type = 0;
    if (settings::ReadNumber(settings::kSchedulerType, type) == ERROR_SUCCESS) next.scheduleType = type;
    if (next.scheduleType == 0) {
        next.waitInterval = 300000;
    } else if (next.scheduleType == 1) {
        DWORD minutes = 0;
        settings::ReadIntervalMinutes(minutes);
        // A stored interval of 0 would run pass after pass without a pause
        // and keep the PC busy: the shortest interval is one minute. Intervals
        // beyond what a wait can express are cut to the longest finite wait.
        minutes = std::max<DWORD>(minutes, 1);
        const std::uint64_t ms = std::uint64_t{minutes} * 60000;
        next.waitInterval = ms >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(ms);
    } else {
        next.waitInterval = INFINITE;
    }
    std::lock_guard<std::mutex> hold(m_settingsLock);
    m_settings = std::move(next);
}

MirrorSettings CTVXMirrorController::Settings() const {
    std::lock_guard<std::mutex> hold(m_settingsLock);
    return m_settings;
}

DWORD CTVXMirrorController::Start() {
    m_stopFlag.store(0);
    if (!m_catalog) {
        m_catalog = std::make_unique<catalogue::CTVXCatalog>();
        m_catalog->OpenOrReset();
        m_catalog->PruneMissingSources();
        m_catalog->Close();
    }
    // A worker that ended by itself is waited for (its handle closed) first;
    // one that still runs is left running.
    if (m_worker.HasHandle() && m_worker.Wait(0) != 0) return 0;
    Flags().workerRunning.store(0);
    try {
        m_worker.Create(&CTVXMirrorController::WorkerThread, this);
    } catch (const CTVXBaseError& error) {
        Trace(L"controller: the worker thread could not start (%lu)", error.SystemError());
        return error.SystemError() ? error.SystemError() : ERROR_NOT_ENOUGH_MEMORY;
    }
    Flags().workerRunning.store(1);
    Trace(L"controller: start");
    return 0;
}

void CTVXMirrorController::Stop() {
    m_stopFlag.store(1);
    m_copyEngine.Stop();
    m_scanner.Stop();
    m_scheduler.Stop();
    m_watcher.Stop();
    ::SetEvent(m_wake.Get());
    // A prompt the worker shows (a disk asked for, an alert) would keep it
    // waiting for an answer: its modal loop ends on WM_QUIT, and the answer
    // then counts as "not now".
    if (m_worker.HasHandle()) ::PostThreadMessageW(m_worker.Id(), WM_QUIT, 0, 0);
    timeseam::Sleep(1000);
    if (m_worker.HasHandle()) {
        try {
            m_worker.Wait(INFINITE);
        } catch (const CTVXBaseError& error) {
            Trace(L"controller: waiting for the worker failed (%lu)", error.SystemError());
        }
    }
    Trace(L"controller: stop");
}

void CTVXMirrorController::Signal() {
    Reload();
    ::SetEvent(m_wake.Get());
    Trace(L"controller: signal");
}

void CTVXMirrorController::RequestCompleteCopy() {
    {
        std::lock_guard<std::mutex> hold(m_stampLock);
        if (const LONG error = settings::WriteStartTime(0))
            Trace(L"controller: the complete copy could not be stored (%ld)", error);
        ++m_completeCopyRequests;
    }
    Signal();
}

void CTVXMirrorController::RunLastPass() {
    Flags().updateAtShutdown.store(1);
    Signal();
    if (!WaitForWorker(INFINITE)) Trace(L"controller: waiting for the last pass failed");
}

void CTVXMirrorController::SetProgressWindow(ProgressWindow window) {
    std::lock_guard<std::mutex> hold(m_progressLock);
    m_progressWindow = std::move(window);
}

bool CTVXMirrorController::WaitForWorker(DWORD milliseconds) {
    if (!m_worker.HasHandle()) return true;
    try {
        return m_worker.Wait(milliseconds) == 0;
    } catch (const CTVXBaseError&) {
        return false;
    }
}

void CTVXMirrorController::Post(UINT message) const {
    if (m_mainWindow) ::PostMessageW(m_mainWindow, message, 0, 0);
}

DWORD CTVXMirrorController::WorkerThread(CTVXThread* thread) {
    auto* controller = static_cast<CTVXMirrorController*>(thread->Argument());
    // However the loop ends (an exception included, which the thread's entry
    // then traces), the watcher and the scheduler end with the worker (also
    // when it was stopped before it handed them the event), and the worker
    // no longer counts as running.
    struct Ending {
        CTVXMirrorController& controller;
        ~Ending() {
            controller.m_watcher.Stop();
            controller.m_scheduler.Stop();
            Flags().workerRunning.store(0);
        }
    } ending{*controller};
    return controller->WorkerLoop();
}

DWORD CTVXMirrorController::AnimatedPass(DWORD showProgress) {
    Post(WM_TRAYANIMATE);
    const DWORD result = RunPass(showProgress);
    Post(WM_TRAYSTOP);
    return result;
}

DWORD CTVXMirrorController::WorkerLoop() {
    m_mainWindow = ::FindWindowW(kMainWindowClass, nullptr);
    Reload();
    MirrorSettings snapshot = Settings();
    if (snapshot.destination.empty()) {
        Trace(L"worker: no destination; ending");
        return 0;
    }
    HANDLE wake = m_wake.Get();
    // The watch begins before the first scan: a change made while it runs
    // (a first complete copy can take hours) wakes the worker for one more
    // pass. (Under Wine it also needs the scan's opening of every folder to
    // report changes in the folders that were there before the watch.)
    if (snapshot.scheduleType == 0) {
        if (!m_stopFlag.load() && m_watcher.Start(wake, snapshot.sources) == 0 && m_watcher.WaitUntilWatching(5000))
            Trace(L"worker: watching for changes");
    } else if (snapshot.scheduleType == 2) {
        m_scheduler.Start(wake);
    }
    if (m_forcedPass.load() == 1 || snapshot.startStamp == 0) {
        ::ResetEvent(wake);  // the pass sees everything that woke it so far
        AnimatedPass(1);     // its result is not looked at
        m_forcedPass.store(0);
    }

    ProcessFlags& flags = Flags();
    DWORD result = 0;
    for (;;) {
        if (m_stopFlag.load()) break;
        const DWORD waited = timeseam::WaitForObject(wake, Settings().waitInterval);
        if (m_stopFlag.load()) break;
        if (waited != WAIT_OBJECT_0 && waited != WAIT_TIMEOUT) break;
        // Quiet period: a burst of changes makes one pass, 5 seconds after
        // the last wake, or after 30 such waits at most. The last pass before
        // the session ends does not wait.
        bool woken = waited == WAIT_OBJECT_0;
        int n = 0;
        for (; woken && n < 30 && !flags.updateAtShutdown.load() && !m_stopFlag.load(); ++n) {
            ::ResetEvent(wake);
            m_quietWaitsBegun.fetch_add(1);  // a wake from here on ends this wait
            woken = timeseam::WaitForObject(wake, 5000) == WAIT_OBJECT_0;
        }
        m_quietWaits.store(n);
        if (m_stopFlag.load()) break;
        // The session's end was asked for before this pass began: it is the
        // last one, whatever it returns.
        const bool lastPass = flags.updateAtShutdown.load() != 0;
        ::ResetEvent(wake);
        result = AnimatedPass(lastPass ? 1 : Settings().progressStatus);
        if (lastPass) {
            Trace(L"worker: last pass before the session ends done");
            break;
        }
        if (result != 0) {
            Trace(L"worker: pass ended with %lu; ending", result);
            break;
        }
    }
    return result;
}

void CTVXMirrorController::PauseUnlessStopped(DWORD milliseconds) const {
    const DWORD total = timeseam::Scale(milliseconds);
    const DWORD start = GetTickCount();
    while (!m_stopFlag.load()) {
        const DWORD passed = GetTickCount() - start;
        if (passed >= total) break;
        ::Sleep(std::min<DWORD>(total - passed, 100));
    }
}

DWORD CTVXMirrorController::StoreStartStamp(std::uint64_t stamp, std::uint64_t requestsSeen) {
    std::lock_guard<std::mutex> hold(m_stampLock);
    if (m_completeCopyRequests != requestsSeen) {
        Trace(L"pass: a complete copy was asked for meanwhile; the start stamp stays 0");
        return 0;
    }
    {
        std::lock_guard<std::mutex> settingsHold(m_settingsLock);
        m_settings.startStamp = stamp;
    }
    return static_cast<DWORD>(settings::WriteStartTime(stamp));
}

DWORD CTVXMirrorController::RunPass(DWORD showProgress) {
    struct InPass {
        std::atomic<LONG>& flag;
        explicit InPass(std::atomic<LONG>& f) : flag(f) { flag.store(1); }
        ~InPass() { flag.store(0); }
    } inPass(m_inPass);
    // A stop of the copy counts from here: one that comes during the scan or
    // the disk check, or a Cancel before the first file, is kept.
    m_copyEngine.ClearStop();
    std::uint64_t requestsSeen = 0;
    {
        std::lock_guard<std::mutex> hold(m_stampLock);
        requestsSeen = m_completeCopyRequests;
    }
    Reload();
    const MirrorSettings snapshot = Settings();
    if (snapshot.destination.empty()) return 0;
    if (!m_catalog) m_catalog = std::make_unique<catalogue::CTVXCatalog>();
    catalogue::CTVXCatalog& catalog = *m_catalog;
    // A complete copy: every file is listed again.
    if (snapshot.startStamp == 0) catalog.DeleteFiles();
    catalog.OpenOrReset();
    m_copyEngine.SetRevisionLimit(snapshot.revisionLimit);
    m_changedFiles.Clear();

    // Every source is scanned; the result of the last one counts. Each scan
    // clears the scanner's stop flag, so the controller's own flag decides
    // whether a stop asked for during the scan ends the pass: without that,
    // the later sources would be scanned and copied, and a program asked to
    // end would wait for the whole copy.
    DWORD result = 0;
    for (const std::wstring& source : snapshot.sources) {
        if (m_stopFlag.load()) break;
        result = m_scanner.Scan(source, snapshot.destination, snapshot.exclusions, catalog, m_changedFiles);
    }
    if (m_stopFlag.load()) result = ERROR_OPERATION_ABORTED;
    Trace(L"pass: %u files to copy", m_changedFiles.Count());

    media::DiskCheckContext disk{snapshot.destination, snapshot.warningStatus,
                                 [this] { return m_stopFlag.load() != 0; }};
    if (result == 0 && m_changedFiles.Count() > 0 && media::CheckDestinationDisk(disk) == 1) {
        if (disk.destination != snapshot.destination) {
            // The disk was found under another drive letter: the check
            // stored the new destination, and this pass copies there.
            std::lock_guard<std::mutex> hold(m_settingsLock);
            m_settings.destination = disk.destination;
        }
        if (m_stopFlag.load()) {
            result = ERROR_OPERATION_ABORTED;
        } else {
            std::uint64_t startStamp = snapshot.startStamp;
            // The medium stays in the drive while the copy runs.
            const bool wasRemovable = Praxon::Drive(disk.destination[0]).isRemovable();
            Praxon::Drive(disk.destination[0]).makeNonRemovable();
            m_mediumLocked.store(1);
            ProcessFlags& flags = Flags();
            ProgressWindow window;
            // The window shows when asked, at the session's end, and for
            // every complete copy (the first one, or one asked for from the
            // tray), which can take long enough for a user to wonder.
            if (showProgress == 1 || flags.updateAtShutdown.load() == 1 || snapshot.startStamp == 0) {
                std::lock_guard<std::mutex> hold(m_progressLock);
                window = m_progressWindow;
            }
            flags.progressPercent.store(0);
            if (window) {
                flags.progressWindow.store(1);
                window(*this, true);
            }
            result = m_copyEngine.CopyAll(m_changedFiles, disk.destination, catalog, startStamp);
            // Leaves the progress window time to show the end state.
            if (window) PauseUnlessStopped(5000);
            flags.progressPercent.store(100);
            if (window) {
                window(*this, false);
                flags.progressWindow.store(0);
            }
            media::RunFillWarning(disk);
            if (wasRemovable) Praxon::Drive(disk.destination[0]).makeRemovable();
            PauseUnlessStopped(1000);
            media::RunAfterPass(disk);
            if (result == 0) result = StoreStartStamp(startStamp, requestsSeen);
        }
    }
    m_changedFiles.Clear();
    catalog.Close();
    m_passes.fetch_add(1);
    Trace(L"pass: done (%lu)", result);
    return result;
}

CTVXMirrorController& MirrorController() {
    static CTVXMirrorController controller;
    return controller;
}

}  // namespace tvx
