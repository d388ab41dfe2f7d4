// CTVXChangeWatcher: wakes the mirror controller's worker when anything
// changes below a source folder (schedule type 0).
//
// The watch thread asks the platform for one change notification per source
// folder, covering its whole subtree, for file-name, folder-name, size and
// last-write changes (FILE_NOTIFY_CHANGE_FILE_NAME | _DIR_NAME | _SIZE |
// _LAST_WRITE, 0x1B). Attribute and last-access changes are not watched: they
// do not change what a pass copies. On any report it sets the wake event and
// re-arms that notification; it never looks at which file changed (a pass
// finds the changed files through the catalogue), and the worker's quiet
// period gathers a burst of reports into one pass.
//
// The thread waits at most 1,000 ms (through the time seam) at a time and
// looks at the stop flag in between, so Stop takes about a second at most.
//
// It ends by itself, with the platform's error code as its exit code, when a
// folder cannot be watched (missing, on a drive that is gone, no access: then
// nothing is watched and the wake event is left alone), when re-arming a
// notification fails, or when a wait fails. The worker's five-minute time-out
// still runs passes while the watcher is idle after such an error.
//
// More folders than one wait can take (MAXIMUM_WAIT_OBJECTS, 64): the
// notifications are split into groups of 64, and each group after the first
// is waited for by a helper thread of the watch thread. The first error in any
// group ends them all, and becomes the watch thread's exit code.
//
// Under Wine (seen with Wine 8) a subtree notification reports changes in a
// subfolder only once the wineserver knows that subfolder: one created after
// the notification was asked for, or an existing one that some process of the
// prefix opened afterwards (as a pass's scan does when it lists every folder).
// Changes directly in the source folder are always reported. Windows reports
// the whole subtree from the start. The worker starts the watch before its
// first pass, whose scan then opens every folder.
//
// The watcher never resets the wake event: a wake that came before the
// watch began (a Copy Now as the worker starts) still makes its pass.
//
// Start and Stop may be called from different threads (the worker starts,
// the controller's stop stops); they are serialised.
#pragma once

#include "framework/Handle.h"
#include "framework/Tvxthd.h"

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace tvx::engine {

class CTVXChangeWatcher {
public:
    // The notification filter: file name, folder name, size, last write.
    static constexpr DWORD kFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                                     FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE;
    static_assert(kFilter == 0x1B);

    CTVXChangeWatcher() = default;
    // Stops the watch thread when it runs.
    virtual ~CTVXChangeWatcher();

    CTVXChangeWatcher(const CTVXChangeWatcher&) = delete;
    CTVXChangeWatcher& operator=(const CTVXChangeWatcher&) = delete;

    // Stops a watch thread that still runs, takes a copy of `sources` and
    // starts a new watch thread that sets `wakeEvent` (a manual-reset event
    // the caller keeps open) on every change report. 0, or the platform's
    // error code when the thread cannot be started. A folder that cannot be
    // watched is not an error here: the thread ends with it (ExitCode).
    DWORD Start(HANDLE wakeEvent, const std::vector<std::wstring>& sources);

    // Asks the watch thread to end and waits until it has ended (about a
    // second at most). 0; the platform's error code only if the wait itself
    // fails.
    DWORD Stop();

    // Waits up to `timeoutMs` until the watch thread has armed a notification
    // for every source folder. false when it has ended (or never ran) or the
    // time ran out. Tests use it to act only once changes are reported.
    bool WaitUntilWatching(DWORD timeoutMs);

    // Waits up to `timeoutMs` for the watch thread to end; then its exit code
    // (0 after a stop, else the error that ended it). STILL_ACTIVE (259) while
    // it runs or when no thread has run yet.
    DWORD ExitCode(DWORD timeoutMs = 0);

private:
    static DWORD WatchThread(CTVXThread* thread);
    static DWORD GroupThread(CTVXThread* thread);
    DWORD StopLocked();
    DWORD Watch();
    DWORD WatchGroup(const HANDLE* handles, DWORD count);

    std::mutex m_control;            // serialises Start, Stop and the waits for the thread
    HANDLE m_wakeEvent = nullptr;    // the controller's, not owned
    CTVXThread m_thread;             // the watch thread
    std::vector<std::wstring> m_sources;
    std::atomic<LONG> m_stop{0};     // 1 asks the watch thread (and its helpers) to end
    std::atomic<LONG> m_groupEnded{0};  // a group stopped waiting: the others end too
    tvx::UniqueHandle m_watching;    // manual-reset; set while every folder is watched
};

}  // namespace tvx::engine
