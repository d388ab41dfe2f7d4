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
#include "tests/ui/DialogDriver.h"
#include "ui/ProgressWindow.h"

namespace tvx::ui {
namespace {

using testing::Text;
using test::WaitUntil;
constexpr DWORD kWithin = 20000;  // a limit for a failing test; every wait is for the thing itself

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

    // The window once it shows: the dialog of this process with the clip.
    HWND StartAndFindTheWindow() {
        EXPECT_EQ(0u, window.Start(copy));
        const HWND dialog = test::WaitForDialogWithControl(::GetCurrentProcessId(), IDC_PROGRESS_CLIP, kWithin);
        EXPECT_NE(nullptr, dialog) << "no window came";
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
    EXPECT_TRUE(WaitUntil([&] { return Text(dialog, IDC_PROGRESS_FILE) == L"Quarter & Year.doc"; }, kWithin))
        << "file name shown: " << ::testing::PrintToString(Text(dialog, IDC_PROGRESS_FILE));
    EXPECT_EQ(L"From 'C:\\Documents\\Reports' to 'E:\\Documents\\Reports'", Text(dialog, IDC_PROGRESS_FROM_TO));
    EXPECT_EQ(50, Flags().progressPercent.load()) << "the feeder hands the copy's percent on";
    EXPECT_TRUE(
        WaitUntil([&] { return ::SendDlgItemMessageW(dialog, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0) == 50; }, kWithin));
    test::SaveNamedScreenshot(L"progress-window");

    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_TRUE(WaitUntil([&] { return copy.cancels.load() == 1; }, kWithin)) << "the copy was not cancelled";
    EXPECT_FALSE(::IsWindow(dialog));
    EXPECT_EQ(100, Flags().progressPercent.load());
    window.Finish();
    EXPECT_EQ(1, copy.cancels.load());
}

// The pass's own end, or a percent above 100 (counted as 100): the window
// closes itself, the percent stored is 100, and the copy is not cancelled.
TEST_F(ProgressWindowTest, FinishOrAPercentAboveHundredClosesTheWindowWithoutCancellingTheCopy) {
    copy.percent = 30;
    HWND dialog = StartAndFindTheWindow();
    ASSERT_NE(dialog, nullptr);
    window.Finish();
    EXPECT_FALSE(::IsWindow(dialog));
    EXPECT_EQ(100, Flags().progressPercent.load());

    Flags().progressPercent.store(0);
    dialog = StartAndFindTheWindow();
    ASSERT_NE(dialog, nullptr);
    Flags().progressPercent.store(150);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(dialog); }, kWithin)) << "the window stayed";
    EXPECT_EQ(100, Flags().progressPercent.load()) << "the window stores the percent it clamped";
    EXPECT_EQ(0, copy.cancels.load());
}

}  // namespace
}  // namespace tvx::ui
