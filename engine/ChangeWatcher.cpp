#include "engine/ChangeWatcher.h"

#include "engine/FileQueries.h"
#include "framework/TimeSeam.h"
#include "framework/Trace.h"

#include <algorithm>
#include <memory>

namespace tvx::engine {

namespace {

constexpr DWORD kWaitMs = 1000;  // bounds the reaction to a stop
constexpr DWORD kGroupSize = MAXIMUM_WAIT_OBJECTS;

struct ChangeNotificationTraits {
    using Type = HANDLE;
    static Type Empty() noexcept { return INVALID_HANDLE_VALUE; }
    static bool IsEmpty(Type h) noexcept { return h == nullptr || h == INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { ::FindCloseChangeNotification(h); }
};
using UniqueChangeNotification = tvx::UniqueHandleT<ChangeNotificationTraits>;

// The folder as the platform should watch it: without one trailing backslash,
// except for a drive's root, where "C:" would name the drive's current folder
// instead of its root.
std::wstring WatchPath(const std::wstring& folder) {
    if (folder.size() > 1 && folder.back() == L'\\') {
        const bool driveRoot = folder.size() == 3 && folder[1] == L':';
        if (!driveRoot) return folder.substr(0, folder.size() - 1);
    }
    return folder;
}

// One group of notifications after the first, waited for by a helper thread.
struct WatchGroupJob {
    CTVXChangeWatcher* watcher = nullptr;
    const HANDLE* handles = nullptr;
    DWORD count = 0;
    CTVXThread thread;
};

}  // namespace

CTVXChangeWatcher::~CTVXChangeWatcher() {
    std::lock_guard<std::mutex> lock(m_control);
    StopLocked();
}

DWORD CTVXChangeWatcher::Start(HANDLE wakeEvent, const std::vector<std::wstring>& sources) {
    std::lock_guard<std::mutex> lock(m_control);
    // The running thread reads the source list: it ends before the list changes.
    if (m_thread.HasHandle()) StopLocked();

    m_stop.store(0);
    m_groupEnded.store(0);
    m_wakeEvent = wakeEvent;
    m_sources = sources;

    if (!m_watching) {
        m_watching.Attach(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!m_watching) return ::GetLastError();
    }
    ::ResetEvent(m_watching.Get());

    try {
        m_thread.Create(&CTVXChangeWatcher::WatchThread, this);
    } catch (const CTVXBaseError& e) {
        return e.SystemError() != 0 ? e.SystemError() : static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY);
    }
    return 0;
}

DWORD CTVXChangeWatcher::Stop() {
    std::lock_guard<std::mutex> lock(m_control);
    return StopLocked();
}

DWORD CTVXChangeWatcher::StopLocked() {
    m_stop.store(1);
    try {
        m_thread.Wait(INFINITE);
    } catch (const CTVXBaseError& e) {
        tvx::Trace(L"change watcher: waiting for the watch thread failed (system error %u)", e.SystemError());
        return e.SystemError();
    }
    return 0;
}

bool CTVXChangeWatcher::WaitUntilWatching(DWORD timeoutMs) {
    std::lock_guard<std::mutex> lock(m_control);
    if (!m_thread.HasHandle() || !m_watching) return false;
    const HANDLE objects[2] = {m_watching.Get(), m_thread.Handle()};
    return ::WaitForMultipleObjects(2, objects, FALSE, timeoutMs) == WAIT_OBJECT_0;
}

DWORD CTVXChangeWatcher::ExitCode(DWORD timeoutMs) {
    std::lock_guard<std::mutex> lock(m_control);
    try {
        if (m_thread.Wait(timeoutMs) != 0) return STILL_ACTIVE;
    } catch (const CTVXBaseError&) {
        return STILL_ACTIVE;
    }
    return m_thread.ExitCode();
}

DWORD CTVXChangeWatcher::WatchThread(CTVXThread* thread) {
    return static_cast<CTVXChangeWatcher*>(thread->Argument())->Watch();
}

DWORD CTVXChangeWatcher::GroupThread(CTVXThread* thread) {
    auto* job = static_cast<WatchGroupJob*>(thread->Argument());
    return job->watcher->WatchGroup(job->handles, job->count);
}

DWORD CTVXChangeWatcher::Watch() {
    // The wake event is left as it is: a wake that came before the watch
    // began (a Copy Now as the worker starts) must still make its pass.

    // Every folder or none: the first that cannot be watched ends the thread,
    // and the notifications opened so far close with this vector.
    std::vector<UniqueChangeNotification> notifications;
    notifications.reserve(m_sources.size());
    for (const std::wstring& source : m_sources) {
        if (m_stop.load() != 0) return 0;
        HANDLE h = ::FindFirstChangeNotificationW(ExtendedPath(WatchPath(source)).c_str(), TRUE, kFilter);
        if (h == INVALID_HANDLE_VALUE) return ::GetLastError();
        notifications.emplace_back(h);
    }
    if (m_stop.load() != 0) return 0;
    // What the platform's wait answers for no handles at all.
    if (notifications.empty()) return ERROR_INVALID_PARAMETER;

    std::vector<HANDLE> handles;
    handles.reserve(notifications.size());
    for (const auto& n : notifications) handles.push_back(n.Get());
    const DWORD total = static_cast<DWORD>(handles.size());
    const DWORD firstCount = std::min(total, kGroupSize);

    // Helpers for the groups after the first.
    std::vector<std::unique_ptr<WatchGroupJob>> helpers;
    DWORD result = 0;
    for (DWORD begin = firstCount; begin < total && result == 0; begin += kGroupSize) {
        auto job = std::make_unique<WatchGroupJob>();
        job->watcher = this;
        job->handles = handles.data() + begin;
        job->count = std::min(total - begin, kGroupSize);
        try {
            job->thread.Create(&CTVXChangeWatcher::GroupThread, job.get());
            helpers.push_back(std::move(job));
        } catch (const CTVXBaseError& e) {
            result = e.SystemError() != 0 ? e.SystemError() : static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY);
        }
    }

    if (result == 0) {
        ::SetEvent(m_watching.Get());
        result = WatchGroup(handles.data(), firstCount);
        ::ResetEvent(m_watching.Get());
    }

    // The helpers use the handles: they end before the handles close.
    m_groupEnded.store(1);
    for (auto& job : helpers) {
        try {
            job->thread.Wait(INFINITE);
        } catch (const CTVXBaseError& e) {
            tvx::Trace(L"change watcher: waiting for a helper failed (system error %u)", e.SystemError());
            continue;
        }
        if (result == 0) result = job->thread.ExitCode();
    }
    return result;
}

DWORD CTVXChangeWatcher::WatchGroup(const HANDLE* handles, DWORD count) {
    DWORD error = 0;
    while (m_stop.load() == 0 && m_groupEnded.load() == 0) {
        const DWORD r = ::WaitForMultipleObjects(count, handles, FALSE, tvx::timeseam::Scale(kWaitMs));
        if (r == WAIT_TIMEOUT) continue;
        if (r < WAIT_OBJECT_0 + count) {
            ::SetEvent(m_wakeEvent);
            // A notification that cannot be re-armed would stay signalled and
            // wake the worker without end.
            if (!::FindNextChangeNotification(handles[r - WAIT_OBJECT_0])) {
                error = ::GetLastError();
                break;
            }
            continue;
        }
        error = (r >= WAIT_ABANDONED_0 && r < WAIT_ABANDONED_0 + count) ? ERROR_ABANDONED_WAIT_0 : ::GetLastError();
        break;
    }
    if (error != 0) {
        tvx::Trace(L"change watcher: watch ends with error %u", error);
        m_groupEnded.store(1);
    }
    return error;
}

}  // namespace tvx::engine
