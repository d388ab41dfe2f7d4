// The copy progress window: while a pass copies, a small window with the copy
// clip, a progress bar, the file being copied, from which folder to which,
// an estimate of the time left and a Cancel button that stops the copy.
//
// Threads and what they share. The copy runs on the mirror worker and never
// waits for anything here. CTVXProgressWindow::Start starts two threads:
//
//   window thread  makes the dialog (no parent, no owner: the user-interface
//                  thread may itself be waiting for the worker, and an owned
//                  window would need it) and runs it modally. Once a second
//                  it reads the percent and the two path texts and shows
//                  them; at 100 it closes itself. When the user cancelled, it
//                  asks the source to cancel the copy once the dialog is gone.
//   feeder thread  once a second reads the copy's percent into
//                  Flags().progressPercent and its current paths into the
//                  shared path texts; ends on a cancel, at 100, or at Finish.
//
//   progress percent  Flags().progressPercent, a plain atomic: the pass sets
//                     0 before Start and 100 when the copy is over; the
//                     feeder writes the copy's percent in between, but never
//                     over a 100 that is already there; Cancel writes 100.
//   cancel flag       0 at Start; 1 after Cancel (window thread only).
//   path texts        the copy's current source and destination paths,
//                     guarded by the path lock, which is held only while two
//                     strings are swapped in or copied out. The feeder asks
//                     the source for the paths before it takes the path lock,
//                     so no thread ever holds the path lock and the copy's
//                     own lock at once.
//
// Finish (the pass is over) stops the feeder at once and waits for both
// threads; the window closes itself on its next tick, within a second.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "framework/Handle.h"
#include "framework/Tvxthd.h"
#include "ui/BaseDlg.h"

namespace tvx::ui {

// What the window is fed from: the running copy. The feeder calls
// PercentDone and CurrentPaths on its own thread while the copy runs on
// another; the window thread calls CancelCopy after a Cancel.
struct ProgressSource {
    virtual ~ProgressSource() = default;
    // How much of the copy is done, 0 to 100.
    virtual unsigned PercentDone() = 0;
    // The full paths of the file being copied and of its copy; empty before
    // the first file.
    virtual void CurrentPaths(std::wstring& source, std::wstring& destination) = 0;
    // Ends the running copy (the pass goes on to its end).
    virtual void CancelCopy() = 0;
};

// The time-left text, tick by tick. An estimate is made only when the percent
// is not 0, differs from the percent of the last estimate, and more than 10
// seconds have passed: seconds left = (100 - percent) / percent * elapsed,
// truncated. 0 seconds clears the text; under a minute shows
// "%d Seconds Remaining". A minute or more shows "%d Minute(s) Remaining",
// changed only on ticks whose elapsed seconds are a multiple of 10 so that
// the minutes do not flicker: an estimate made on another tick is shown on
// the next such tick (unless a newer one replaced it). Between estimates
// the text stays.
class TimeLeftEstimator {
public:
    // The new text, or nothing when the text shown stays as it is.
    std::optional<std::wstring> Tick(unsigned percent, unsigned elapsedSeconds);

private:
    unsigned m_lastPercent = 0;   // the percent of the last estimate; 0: none yet
    unsigned m_lastEstimate = 0;  // seconds
    bool m_minutesDue = false;    // the last estimate waits for a tick at a multiple of 10
};

// "From 'X' to 'Y'": X is the folder of the file being copied, Y the folder
// of its copy on the disk, each shortened for display to 32 characters
// (C:\Documents\...\Reports): the two differ by their drive at least, so
// the user sees where the file comes from and where it goes.
std::wstring FromToText(const std::wstring& source, const std::wstring& destination);

// What the window, the feeder and the starter share.
struct ProgressShared {
    std::mutex pathLock;
    std::wstring source;       // under pathLock
    std::wstring destination;  // under pathLock
    std::atomic<std::int32_t> cancel{0};
};

// The window itself (template 192). Runs on the window thread; reads the
// percent and the path texts on a timer and closes itself at 100.
class CTVXProgressDlg : public CTVXBaseDlg {
public:
    static constexpr UINT_PTR kTimerId = 2;
    static constexpr DWORD kTickMilliseconds = 1000;

    explicit CTVXProgressDlg(ProgressShared& shared) noexcept;

protected:
    BOOL OnInitDialog() override;
    void OnCancel() override;  // Cancel, Esc and the close buttons
    // Enter does nothing: the window closes itself when the copy is over.
    void OnOK() override {}
    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Tick();
    void StopClipAndTimer() noexcept;

    ProgressShared& m_shared;
    ULONGLONG m_startTick = 0;
    TimeLeftEstimator m_timeLeft;
};

// Starts and ends the window and its feeder; one per program.
class CTVXProgressWindow {
public:
    CTVXProgressWindow();
    ~CTVXProgressWindow();  // Finish
    CTVXProgressWindow(const CTVXProgressWindow&) = delete;
    CTVXProgressWindow& operator=(const CTVXProgressWindow&) = delete;

    // Resets the cancel flag and starts the window thread and the feeder
    // thread over the source, which must live until Finish. Call it after
    // setting Flags().progressPercent to 0. Returns 0, or the system error
    // of a thread that could not start (the copy then goes on without the
    // window, or without its updates). A window still up from an earlier
    // Start is finished first.
    DWORD Start(ProgressSource& source);

    // The copy is over: the percent becomes 100 (the pass has normally set
    // it already), the feeder ends at once, and this waits for both threads;
    // the window closes on its next tick. Does nothing when nothing runs.
    void Finish();

private:
    static DWORD WindowThread(CTVXThread* thread);
    static DWORD FeederThread(CTVXThread* thread);
    DWORD Feed();

    ProgressSource* m_source = nullptr;
    ProgressShared m_shared;
    UniqueHandle m_finished;  // manual reset: set by Finish, ends the feeder's wait
    CTVXThread m_window;
    CTVXThread m_feeder;
};

}  // namespace tvx::ui
