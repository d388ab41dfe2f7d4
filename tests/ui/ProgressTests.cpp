// The copy progress window: the time-left rule tick by tick, the from-to
// text, and the real window on its own thread fed from a fake copy. The
// window's waits run ten times faster (it ticks every 100 ms); every wait of
// a test is for the thing itself, with a generous limit.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <mutex>
#include <string>

#include "framework/ProcessFlags.h"
#include "framework/TimeSeam.h"
#include "res/resource.h"
#include "tests/support/Automation.h"
#include "ui/ProgressWindow.h"

namespace tvx::ui {
namespace {

TEST(TimeLeftTest, NoEstimateWithinTheFirstTenSeconds) {
    TimeLeftEstimator estimator;
    for (unsigned second = 0; second <= 10; ++second)
        EXPECT_FALSE(estimator.Tick(9 * second + 1, second).has_value()) << "second " << second;
}

TEST(TimeLeftTest, SecondsUnderAMinuteThenTheTextStaysUntilThePercentMoves) {
    TimeLeftEstimator estimator;
    EXPECT_EQ(L"40 Seconds Remaining", estimator.Tick(50, 40).value());
    EXPECT_FALSE(estimator.Tick(50, 41).has_value());
    EXPECT_EQ(L"19 Seconds Remaining", estimator.Tick(70, 45).value());  // 30 * 45 / 70 = 19.3
    EXPECT_EQ(L"", estimator.Tick(100, 46).value());
}

TEST(TimeLeftTest, MinutesShowOnlyOnTicksAtMultiplesOfTenSeconds) {
    TimeLeftEstimator onTheTick;
    EXPECT_EQ(L"4 Minute(s) Remaining", onTheTick.Tick(20, 60).value());  // 240 s

    TimeLeftEstimator between;
    EXPECT_FALSE(between.Tick(20, 61).has_value());  // 244 s, due at 70 s
    EXPECT_FALSE(between.Tick(20, 69).has_value());
    EXPECT_EQ(L"4 Minute(s) Remaining", between.Tick(20, 70).value());
    EXPECT_FALSE(between.Tick(20, 80).has_value()) << "shown once; the percent has not moved since";
    // A newer estimate replaces one still waiting for its tick.
    EXPECT_FALSE(between.Tick(25, 84).has_value());  // 252 s
    EXPECT_FALSE(between.Tick(40, 88).has_value());  // 132 s
    EXPECT_EQ(L"2 Minute(s) Remaining", between.Tick(40, 90).value());
}

TEST(FromToTest, NamesTheFolderOfTheFileAndTheFolderOfItsCopyShortened) {
    EXPECT_EQ(L"From 'C:\\Documents\\Reports' to 'E:\\Documents\\Reports'",
              FromToText(L"C:\\Documents\\Reports\\Quarter.doc", L"E:\\Documents\\Reports\\Quarter.doc"));
    // Long folders keep their root, their first folder and the last ones that fit.
    EXPECT_EQ(L"From 'C:\\Users\\...\\Work\\2026\\Reports' to 'E:\\Users\\...\\Work\\2026\\Reports'",
              FromToText(L"C:\\Users\\Anna\\Documents\\Work\\2026\\Reports\\Q.doc",
                         L"E:\\Users\\Anna\\Documents\\Work\\2026\\Reports\\Q.doc"));
    EXPECT_EQ(L"From 'C:' to 'E:'", FromToText(L"C:\\Q.doc", L"E:\\Q.doc"));
}

// A copy that stands still where the test puts it.
class FakeCopy : public ProgressSource {
public:
    unsigned PercentDone() override { return percent.load(); }
    void CurrentPaths(std::wstring& s, std::wstring& d) override {
        std::lock_guard<std::mutex> hold(lock);
        s = source;
        d = destination;
    }
    void CancelCopy() override { ++cancels; }

    std::atomic<unsigned> percent{0};
    std::atomic<int> cancels{0};
    std::mutex lock;
    std::wstring source = L"C:\\Documents\\Reports\\Quarter & Year.doc";
    std::wstring destination = L"E:\\Documents\\Reports\\Quarter & Year.doc";
};

template <typename Condition>
bool WaitUntil(Condition done, DWORD milliseconds = 20000) {
    const ULONGLONG end = ::GetTickCount64() + milliseconds;
    while (!done()) {
        if (::GetTickCount64() >= end) return false;
        ::Sleep(20);
    }
    return true;
}

// The progress window of this process once it shows: a dialog with the bar
// and the clip.
HWND FindProgressWindow() {
    HWND found = nullptr;
    ::EnumWindows(
        [](HWND hwnd, LPARAM out) -> BOOL {
            DWORD process = 0;
            ::GetWindowThreadProcessId(hwnd, &process);
            wchar_t name[16] = {};
            ::GetClassNameW(hwnd, name, 16);
            if (process == ::GetCurrentProcessId() && std::wstring(name) == L"#32770" && ::IsWindowVisible(hwnd) &&
                ::GetDlgItem(hwnd, IDC_PROGRESS_BAR) && ::GetDlgItem(hwnd, IDC_PROGRESS_CLIP)) {
                *reinterpret_cast<HWND*>(out) = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

std::wstring TextOf(HWND dialog, int id) {
    wchar_t text[256] = {};
    ::GetDlgItemTextW(dialog, id, text, 256);
    return text;
}

class ProgressWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        timeseam::SetDivisor(10);
        Flags().progressPercent.store(0);
    }
    void TearDown() override {
        window.Finish();
        timeseam::SetDivisor(1);
    }

    HWND StartAndFindTheWindow() {
        EXPECT_EQ(0u, window.Start(copy));
        HWND dialog = nullptr;
        EXPECT_TRUE(WaitUntil([&] { return (dialog = FindProgressWindow()) != nullptr; })) << "no window came";
        return dialog;
    }

    FakeCopy copy;
    CTVXProgressWindow window;
};

TEST_F(ProgressWindowTest, ShowsTheCopyAndCancelStopsItAtOnce) {
    copy.percent = 50;
    const HWND dialog = StartAndFindTheWindow();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(nullptr, ::GetWindow(dialog, GW_OWNER)) << "the window must not need another thread's window";
    EXPECT_TRUE(WaitUntil([&] { return TextOf(dialog, IDC_PROGRESS_FILE) == L"Quarter & Year.doc"; }))
        << "file name shown: " << ::testing::PrintToString(TextOf(dialog, IDC_PROGRESS_FILE));
    EXPECT_EQ(L"From 'C:\\Documents\\Reports' to 'E:\\Documents\\Reports'", TextOf(dialog, IDC_PROGRESS_FROM_TO));
    EXPECT_EQ(50, Flags().progressPercent.load()) << "the feeder hands the copy's percent on";
    EXPECT_TRUE(WaitUntil([&] { return ::SendDlgItemMessageW(dialog, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0) == 50; }));
    test::SaveNamedScreenshot(L"progress-window");

    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_TRUE(WaitUntil([&] { return copy.cancels.load() == 1; })) << "the copy was not cancelled";
    EXPECT_FALSE(::IsWindow(dialog));
    EXPECT_EQ(100, Flags().progressPercent.load());
    window.Finish();
    EXPECT_EQ(1, copy.cancels.load());
}

// The pass's own end: the percent goes to 100 and the window closes itself.
TEST_F(ProgressWindowTest, FinishClosesTheWindowWithoutCancellingTheCopy) {
    copy.percent = 30;
    const HWND dialog = StartAndFindTheWindow();
    ASSERT_NE(dialog, nullptr);
    window.Finish();
    EXPECT_FALSE(::IsWindow(dialog));
    EXPECT_EQ(100, Flags().progressPercent.load());
    EXPECT_EQ(0, copy.cancels.load());
}

TEST_F(ProgressWindowTest, PercentAboveHundredCountsAsHundredAndClosesTheWindow) {
    copy.percent = 20;
    const HWND dialog = StartAndFindTheWindow();
    ASSERT_NE(dialog, nullptr);
    Flags().progressPercent.store(150);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(dialog); })) << "the window stayed";
    EXPECT_EQ(100, Flags().progressPercent.load()) << "the window stores the percent it clamped";
    EXPECT_EQ(0, copy.cancels.load());
}

}  // namespace
}  // namespace tvx::ui
