// The mirror controller's worker thread with the time seam (waits divided by
// 100): when it runs passes, how it waits, what it posts, how it stops. A
// hidden window of the main window's class counts the tray messages.
#include "app/Messages.h"
#include "app/MirrorController.h"
#include "app/ProcessFlags.h"
#include "catalogue/Catalog.h"
#include "framework/TimeSeam.h"
#include "settings/Settings.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

namespace tvx {
namespace {

namespace fs = std::filesystem;

const std::wstring kRoot = L"C:\\tvx-worker";
const std::wstring kSource = kRoot + L"\\src";

std::atomic<int> g_animate{0};
std::atomic<int> g_stop{0};

LRESULT CALLBACK CountingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TRAYANIMATE) ++g_animate;
    if (message == WM_TRAYSTOP) ++g_stop;
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

// Runs the test thread's message loop until the condition holds or the time
// is up; the worker posts to the window this thread owns.
template <typename Condition>
bool PumpUntil(Condition done, DWORD milliseconds) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        if (done()) return true;
        if (GetTickCount() - start >= milliseconds) return false;
        Sleep(5);
    }
}

void Pump(DWORD milliseconds) { PumpUntil([] { return false; }, milliseconds); }

class ControllerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = CountingProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kMainWindowClass;
        RegisterClassW(&wc);
    }

    void SetUp() override {
        timeseam::SetDivisor(100);
        g_animate = g_stop = 0;
        Flags().updateAtShutdown.store(0);
        m_window = CreateWindowW(kMainWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(m_window, nullptr);
        settings::DeleteOptionsKey();
        catalogue::CTVXCatalog().DeleteFiles();
        std::error_code ec;
        fs::remove_all(kRoot, ec);
        fs::create_directories(kSource);
        std::ofstream((kSource + L"\\a.txt").c_str()) << "a";
        settings::WriteDestination(kRoot + L"\\dest\\");
        settings::WriteSourceList({kSource});
        settings::WriteDiskID(L"NotTavrix");
        settings::WriteRevisions(0);
        settings::WriteStartTime(0);
        settings::WriteNumber(settings::kSchedulerType, 3);  // wake only when signalled
    }

    void TearDown() override {
        if (m_controller) m_controller->Stop();
        m_controller.reset();
        DestroyWindow(m_window);
        std::error_code ec;
        fs::remove_all(kRoot, ec);
        timeseam::SetDivisor(1);
    }

    CTVXMirrorController& Controller() {
        if (!m_controller) m_controller = std::make_unique<CTVXMirrorController>();
        return *m_controller;
    }

    HWND m_window = nullptr;
    std::unique_ptr<CTVXMirrorController> m_controller;
};

TEST_F(ControllerTest, WaitIntervalFollowsTheScheduleType) {
    struct Case {
        DWORD type, count, unit, expected;
    } const cases[] = {
        {0, 0, 0, 300000},        {1, 2, 1, 7200000}, {1, 3, 2, 259200000},
        {1, 0, 0, 60000},  // a stored 0 must not make passes back to back
        {2, 5, 0, INFINITE},      {3, 5, 0, INFINITE},
    };
    for (const Case& c : cases) {
        settings::WriteNumber(settings::kSchedulerType, c.type);
        settings::WriteNumber(settings::kSchedulerInterval, c.count);
        settings::WriteNumber(settings::kSchedulerIntervalUnit, c.unit);
        Controller().Reload();
        EXPECT_EQ(c.expected, Controller().Settings().waitInterval) << "type " << c.type << " count " << c.count;
    }
}

TEST_F(ControllerTest, EmptyDestinationEndsTheWorkerAtOnceWithNothingPosted) {
    settings::DeleteOptionsKey();
    settings::WriteSourceList({kSource});
    ASSERT_EQ(0u, Controller().Start());
    EXPECT_TRUE(Controller().WaitForWorker(5000)) << "the worker kept running without a destination";
    Pump(100);
    EXPECT_EQ(0, g_animate.load());
    EXPECT_EQ(0, Controller().PassCount());
    EXPECT_EQ(0, Flags().workerRunning.load());
}

TEST_F(ControllerTest, StartStampZeroRunsOnePassAtOnceThenWaitsForASignal) {
    ASSERT_EQ(0u, Controller().Start());
    EXPECT_EQ(1, Flags().workerRunning.load());
    ASSERT_TRUE(PumpUntil([] { return g_stop.load() == 1; }, 10000)) << "no first pass";
    EXPECT_EQ(1, g_animate.load());
    EXPECT_TRUE(fs::exists(kRoot + L"\\dest\\tvx-worker\\src\\a.txt"));
    std::uint64_t stamp = 0;
    settings::ReadStartTime(stamp);
    EXPECT_NE(0u, stamp) << "the first pass stores the start stamp";
    // Schedule type 3: nothing more happens until the worker is signalled.
    Pump(500);
    EXPECT_EQ(1, Controller().PassCount());
    EXPECT_FALSE(Controller().WaitForWorker(0)) << "the worker ended instead of waiting";
    Controller().Signal();
    ASSERT_TRUE(PumpUntil([] { return g_stop.load() == 2; }, 10000)) << "a signal did not make a pass";
    EXPECT_EQ(2, Controller().PassCount());
}

TEST_F(ControllerTest, ASignalDuringAPassMakesExactlyOneMorePass) {
    settings::WriteStartTime(1);  // no first pass
    ASSERT_EQ(0u, Controller().Start());
    Pump(100);
    EXPECT_EQ(0, Controller().PassCount());
    Controller().Signal();
    // Signals while the pass runs (it pauses 60 ms after copying a.txt).
    ASSERT_TRUE(PumpUntil([&] { return Controller().InPass(); }, 10000));
    for (int i = 0; i < 3; ++i) Controller().Signal();
    ASSERT_TRUE(PumpUntil([] { return g_stop.load() >= 2; }, 10000));
    Pump(800);
    EXPECT_EQ(2, Controller().PassCount()) << "signals during a pass make one more pass, not one each";
    EXPECT_EQ(2, g_stop.load());
}

TEST_F(ControllerTest, ChangesEveryFourSecondsHoldThePassBackForThirtyQuietWaits) {
    settings::WriteStartTime(1);
    ASSERT_EQ(0u, Controller().Start());
    Pump(100);
    const HANDLE wake = Controller().WakeEvent();
    std::atomic<bool> changing{true};
    // A change every 4 s (40 ms here), inside each 5 s (50 ms) quiet wait.
    std::thread changes([&] {
        while (changing.load()) {
            SetEvent(wake);
            Sleep(40);
        }
    });
    const bool passed = PumpUntil([] { return g_stop.load() == 1; }, 20000);
    changing = false;
    changes.join();
    ASSERT_TRUE(passed) << "the pass never came while changes went on";
    EXPECT_EQ(30, Controller().LastQuietWaits());

    // A change that came during that pass makes one more; then all is quiet.
    Pump(500);
    const int passes = g_stop.load();
    // A single change: one quiet wait, then the pass.
    Controller().Signal();
    ASSERT_TRUE(PumpUntil([&] { return g_stop.load() == passes + 1; }, 10000));
    EXPECT_EQ(1, Controller().LastQuietWaits());
}

TEST_F(ControllerTest, StopDuringAPassEndsItAndReturns) {
    // Enough files that the pass is still copying when the stop comes.
    for (int i = 0; i < 300; ++i) std::ofstream((kSource + L"\\f" + std::to_wstring(i)).c_str()) << i;
    ASSERT_EQ(0u, Controller().Start());
    ASSERT_TRUE(PumpUntil([] { return g_animate.load() == 1; }, 10000));
    const DWORD start = GetTickCount();
    Controller().Stop();
    EXPECT_LT(GetTickCount() - start, 3000u);
    EXPECT_TRUE(Controller().WaitForWorker(0));
    EXPECT_FALSE(Controller().HasWorker());
    EXPECT_EQ(0, Flags().workerRunning.load());
}

TEST_F(ControllerTest, UpdateAtShutdownSkipsTheQuietPeriodAndEndsAfterThePass) {
    settings::WriteStartTime(1);
    settings::WriteNumber(settings::kSchedulerType, 1);
    settings::WriteNumber(settings::kSchedulerInterval, 60);
    SetEnvironmentVariableW(L"TVX_SHUTDOWN_REQUEST", L"trace");
    ASSERT_EQ(0u, Controller().Start());
    Pump(100);
    Flags().updateAtShutdown.store(1);
    Controller().Signal();
    EXPECT_TRUE(Controller().WaitForWorker(10000)) << "the worker did not end after the last pass";
    EXPECT_EQ(1, Controller().PassCount());
    EXPECT_EQ(0, Controller().LastQuietWaits());
    SetEnvironmentVariableW(L"TVX_SHUTDOWN_REQUEST", nullptr);
    Flags().updateAtShutdown.store(0);
}

}  // namespace
}  // namespace tvx
