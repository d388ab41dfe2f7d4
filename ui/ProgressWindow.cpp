#include "ui/ProgressWindow.h"

#include <commctrl.h>

#include <algorithm>
#include <initializer_list>

#include "framework/ProcessFlags.h"
#include "framework/ResourceString.h"
#include "framework/TimeSeam.h"
#include "framework/Trace.h"
#include "res/resource.h"
#include "ui/DrawnControls.h"

namespace tvx::ui {
namespace {

constexpr size_t kFolderChars = 32;  // the from-to text's folders, shortened for display

// Puts the values into the "%s" and "%d" places of a string-table pattern,
// in order. (The C library's wide printf reads "%s" as a narrow or a wide
// string depending on how it was built; these patterns are ours and simple.)
std::wstring Substitute(const std::wstring& pattern, std::initializer_list<std::wstring> values) {
    std::wstring out;
    const std::wstring* next = values.begin();
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == L'%' && i + 1 < pattern.size() && (pattern[i + 1] == L's' || pattern[i + 1] == L'd')) {
            if (next != values.end()) out += *next++;
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

// The folder a file lies in: the path without its last backslash and file
// name (the whole path when it has no backslash).
std::wstring FolderOf(const std::wstring& path) {
    const size_t fileStart = path.rfind(L'\\');
    return fileStart == std::wstring::npos ? path : path.substr(0, fileStart);
}

void FinishThread(CTVXThread& thread, const wchar_t* which) noexcept {
    if (!thread.HasHandle()) return;
    try {
        thread.Wait(INFINITE);
    } catch (const CTVXBaseError& error) {
        Trace(L"progress: waiting for the %ls thread failed (%lu)", which, error.SystemError());
    }
}

}  // namespace

// ------------------------------------------------------------- time left

std::optional<std::wstring> TimeLeftEstimator::Tick(unsigned percent, unsigned elapsedSeconds) {
    if (percent != 0 && percent != m_lastPercent && elapsedSeconds > 10) {
        m_lastPercent = percent;
        m_minutesDue = false;
        // Whole numbers throughout: the truncation is exact, with no
        // floating-point rounding just under a whole second.
        const unsigned long long left =
            percent >= 100 ? 0 : (100ull - percent) * elapsedSeconds / percent;
        m_lastEstimate = static_cast<unsigned>(std::min<unsigned long long>(left, 0xFFFFFFFFull));
        if (m_lastEstimate == 0) return std::wstring();
        if (m_lastEstimate < 60)
            return Substitute(LoadResourceString(IDS_PROGRESS_SECONDS), {std::to_wstring(m_lastEstimate)});
        m_minutesDue = true;
    }
    if (m_minutesDue && elapsedSeconds % 10 == 0) {
        m_minutesDue = false;
        return Substitute(LoadResourceString(IDS_PROGRESS_MINUTES), {std::to_wstring(m_lastEstimate / 60)});
    }
    return std::nullopt;
}

std::wstring FromToText(const std::wstring& source, const std::wstring& destination) {
    return Substitute(LoadResourceString(IDS_FROM_TO), {ShortenPath(FolderOf(source), kFolderChars, true),
                                                         ShortenPath(FolderOf(destination), kFolderChars, true)});
}

// ---------------------------------------------------------------- window

CTVXProgressDlg::CTVXProgressDlg(ProgressShared& shared) noexcept
    : CTVXBaseDlg(IDD_PROGRESS, nullptr), m_shared(shared) {}

BOOL CTVXProgressDlg::OnInitDialog() {
    const BOOL result = CTVXBaseDlg::OnInitDialog();
    // Without the clip (a build without it, or one the system cannot play)
    // the window works as before, with an empty space at the top.
    if (const HWND clip = Item(IDC_PROGRESS_CLIP)) {
        if (::SendMessageW(clip, ACM_OPENW, reinterpret_cast<WPARAM>(::GetModuleHandleW(nullptr)),
                           reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(IDR_COPY_ANIMATION))))
            ::SendMessageW(clip, ACM_PLAY, static_cast<WPARAM>(-1), MAKELPARAM(0, 0xFFFF));
    }
    ::SendDlgItemMessageW(GetSafeHwnd(), IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, 100);
    m_startTick = ::GetTickCount64();
    m_timeLeft = TimeLeftEstimator();
    ::SetTimer(GetSafeHwnd(), kTimerId, timeseam::Scale(kTickMilliseconds), nullptr);
    Trace(L"progress: window open");
    return result;
}

void CTVXProgressDlg::StopClipAndTimer() noexcept {
    if (const HWND clip = Item(IDC_PROGRESS_CLIP)) ::SendMessageW(clip, ACM_OPENW, 0, 0);  // closes the clip
    ::KillTimer(GetSafeHwnd(), kTimerId);
}

void CTVXProgressDlg::OnCancel() {
    StopClipAndTimer();
    m_shared.cancel.store(1);
    Flags().progressPercent.store(100);
    EndDialog(IDCANCEL);
}

void CTVXProgressDlg::Tick() {
    const auto elapsed = static_cast<unsigned>((::GetTickCount64() - m_startTick) / 1000);
    std::atomic<std::int32_t>& percentFlag = Flags().progressPercent;
    std::int32_t percent = percentFlag.load();
    if (percent > 100) {
        percent = 100;
        percentFlag.store(100);
    }
    percent = std::max<std::int32_t>(percent, 0);
    ::SendDlgItemMessageW(GetSafeHwnd(), IDC_PROGRESS_BAR, PBM_SETPOS, static_cast<WPARAM>(percent), 0);

    std::wstring source, destination;
    {
        std::lock_guard<std::mutex> hold(m_shared.pathLock);
        source = m_shared.source;
        destination = m_shared.destination;
    }
    // Before the first file both are empty, and the texts stay as they are.
    if (!source.empty() && !destination.empty()) {
        const size_t slash = source.rfind(L'\\');
        const std::wstring fileName = slash == std::wstring::npos ? source : source.substr(slash + 1);
        SetItemText(IDC_PROGRESS_FILE, Substitute(LoadResourceString(IDS_PROGRESS_FILE), {fileName}));
        SetItemText(IDC_PROGRESS_FROM_TO, FromToText(source, destination));
    }
    if (const std::optional<std::wstring> left = m_timeLeft.Tick(static_cast<unsigned>(percent), elapsed))
        SetItemText(IDC_PROGRESS_LEFT, *left);

    if (percent >= 100) {
        StopClipAndTimer();
        EndDialog(IDOK);
    }
}

INT_PTR CTVXProgressDlg::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            if (wParam != kTimerId) break;
            Tick();
            return TRUE;
        case WM_DESTROY:
            StopClipAndTimer();
            break;
        default:
            break;
    }
    return CTVXBaseDlg::DialogProc(message, wParam, lParam);
}

// --------------------------------------------------------------- starter

CTVXProgressWindow::CTVXProgressWindow() : m_finished(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

CTVXProgressWindow::~CTVXProgressWindow() { Finish(); }

DWORD CTVXProgressWindow::Start(ProgressSource& source) {
    if (m_window.HasHandle() || m_feeder.HasHandle()) {
        Finish();
        Flags().progressPercent.store(0);
    }
    ::ResetEvent(m_finished.Get());
    m_source = &source;
    m_shared.cancel.store(0);
    {
        std::lock_guard<std::mutex> hold(m_shared.pathLock);
        m_shared.source.clear();
        m_shared.destination.clear();
    }
    const auto start = [this](CTVXThread& thread, CTVXThread::StartRoutine routine, const wchar_t* which) -> DWORD {
        try {
            thread.Create(routine, this);
            return 0;
        } catch (const CTVXBaseError& error) {
            Trace(L"progress: the %ls thread could not start (%lu)", which, error.SystemError());
            return error.SystemError() ? error.SystemError() : ERROR_NOT_ENOUGH_MEMORY;
        }
    };
    if (const DWORD error = start(m_window, &WindowThread, L"window")) return error;
    return start(m_feeder, &FeederThread, L"feeder");
}

void CTVXProgressWindow::Finish() {
    if (!m_window.HasHandle() && !m_feeder.HasHandle()) return;
    // The feeder never writes over this 100, and the window closes at it.
    Flags().progressPercent.store(100);
    ::SetEvent(m_finished.Get());
    FinishThread(m_feeder, L"feeder");
    FinishThread(m_window, L"window");
}

DWORD CTVXProgressWindow::WindowThread(CTVXThread* thread) {
    auto* self = static_cast<CTVXProgressWindow*>(thread->Argument());
    const INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS | ICC_ANIMATE_CLASS};
    ::InitCommonControlsEx(&controls);
    {
        CTVXProgressDlg dialog(self->m_shared);
        const INT_PTR result = dialog.DoModal();
        Trace(L"progress: window closed (%ls)",
              result == IDOK ? L"copy over" : result == IDCANCEL ? L"cancelled" : L"not shown");
    }
    // Only now that the window is gone: the copy may end at once, and the
    // pass then finishes this window.
    if (self->m_shared.cancel.load() == 1) self->m_source->CancelCopy();
    return 0;
}

DWORD CTVXProgressWindow::FeederThread(CTVXThread* thread) {
    return static_cast<CTVXProgressWindow*>(thread->Argument())->Feed();
}

DWORD CTVXProgressWindow::Feed() {
    std::atomic<std::int32_t>& percentFlag = Flags().progressPercent;
    while (m_shared.cancel.load() == 0 && percentFlag.load() < 100) {
        unsigned percent = m_source->PercentDone();
        if (percent < 100 && timeseam::WaitForObject(m_finished.Get(), 1000) != WAIT_TIMEOUT) break;
        if (m_shared.cancel.load() != 0) break;
        percent = std::min(m_source->PercentDone(), 100u);
        // Never over the 100 of the pass's end or of a Cancel that came
        // since the loop looked.
        std::int32_t seen = percentFlag.load();
        while (seen < 100 && !percentFlag.compare_exchange_weak(seen, static_cast<std::int32_t>(percent))) {
        }
        // The paths are fetched first (under the copy's own lock), then
        // swapped in under the path lock: never both locks at once.
        std::wstring source, destination;
        m_source->CurrentPaths(source, destination);
        std::lock_guard<std::mutex> hold(m_shared.pathLock);
        m_shared.source.swap(source);
        m_shared.destination.swap(destination);
    }
    return 0;
}

}  // namespace tvx::ui
