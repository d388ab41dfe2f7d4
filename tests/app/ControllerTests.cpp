// The mirror controller's worker thread: when it runs passes, how it waits,
// what it posts, how it stops. A hidden window of the main window's class
// counts the tray messages. Nothing here waits a fixed time for something to
// happen: a pass is held inside a prompt (a file whose copy fails raises the
// file error alert) while the test acts, and quiet waits are ended by the
// test as soon as the worker has begun them.
#include "app/Messages.h"
#include "app/MirrorController.h"
#include "catalogue/Catalog.h"
#include "framework/ProcessFlags.h"
#include "framework/Prompts.h"
#include "framework/TimeSeam.h"
#include "settings/Settings.h"
#include "tests/support/Automation.h"
#include "tests/support/Files.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <thread>

namespace tvx {
namespace {

const std::wstring kRoot = L"C:\\tvx-worker";
const std::wstring kSource = kRoot + L"\\src";
const std::wstring kDestination = kRoot + L"\\dest";

std::atomic<int> g_animate{0};
std::atomic<int> g_stop{0};

LRESULT CALLBACK CountingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TRAYANIMATE) ++g_animate;
    if (message == WM_TRAYSTOP) ++g_stop;
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

// Runs the test thread's message loop until the condition holds or the time
// (a limit for a failing test, never a wait the test relies on) is up; the
// worker posts to the window this thread owns.
template <typename Condition>
bool PumpUntil(Condition done, DWORD milliseconds = 20000) {
    const auto pumped = [&] {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        return done();
    };
    return test::WaitUntil(pumped, milliseconds, 2);
}

using test::Exists;
using test::RemoveTree;
using test::Write;

// Where a source file's mirror copy lands.
std::wstring Mirror(const std::wstring& source) { return kDestination + source.substr(2); }

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
        RemoveTree(kRoot);
        Write(kSource + L"\\a.txt", "a");
        settings::WriteDestination(kDestination + L"\\");
        settings::WriteSourceList({kSource});
        settings::WriteDiskID(L"NotTavrix");
        settings::WriteRevisions(0);
        settings::WriteStartTime(0);
        settings::WriteFileErrorStatus(1);
        settings::WriteNumber(settings::kSchedulerType, 3);  // wake only when signalled
        m_previousSink = SetPromptSink([this](const PromptRequest&) -> INT_PTR {
            ++m_alerts;
            if (m_onAlert) m_onAlert();
            return IDOK;
        });
    }

    void TearDown() override {
        if (m_controller) m_controller->Stop();
        m_controller.reset();
        SetPromptSink(m_previousSink);
        DestroyWindow(m_window);
        RemoveTree(kRoot);
        timeseam::SetDivisor(1);
    }

    CTVXMirrorController& Controller() {
        if (!m_controller) m_controller = std::make_unique<CTVXMirrorController>();
        return *m_controller;
    }

    // A source file whose copy fails with the file error alert, first in the
    // copy order: a file stands where its mirror folder should be.
    void AddBlockedFile() {
        Write(kSource + L"\\blocked\\first.txt", "blocked");
        Write(Mirror(kSource + L"\\blocked"), "a file in the way");
        HANDLE file = CreateFileW((kSource + L"\\blocked\\first.txt").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        const FILETIME old{0, 0x01000000};
        SetFileTime(file, &old, &old, &old);
        CloseHandle(file);
    }

    HWND m_window = nullptr;
    std::unique_ptr<CTVXMirrorController> m_controller;
    std::atomic<int> m_alerts{0};
    std::function<void()> m_onAlert;  // runs on the worker, inside the pass
    PromptSink m_previousSink;
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
    EXPECT_TRUE(Controller().WaitForWorker(20000)) << "the worker kept running without a destination";
    PumpUntil([] { return false; }, 50);
    EXPECT_EQ(0, g_animate.load());
    EXPECT_EQ(0, Controller().PassCount());
    EXPECT_EQ(0, Flags().workerRunning.load());
}

TEST_F(ControllerTest, StartStampZeroRunsOnePassAtOnceThenWaitsForASignal) {
    ASSERT_EQ(0u, Controller().Start());
    EXPECT_EQ(1, Flags().workerRunning.load());
    ASSERT_TRUE(PumpUntil([] { return g_stop.load() == 1; })) << "no first pass";
    EXPECT_EQ(1, g_animate.load());
    EXPECT_TRUE(Exists(Mirror(kSource + L"\\a.txt")));
    // Schedule type 3: the worker waits until it is signalled.
    EXPECT_FALSE(Controller().WaitForWorker(0)) << "the worker ended instead of waiting";
    Controller().Signal();
    ASSERT_TRUE(PumpUntil([] { return g_stop.load() == 2; })) << "a signal did not make a pass";
    EXPECT_EQ(2, Controller().PassCount());
}

// A Copy Now that comes before the worker is up (its wake event set before
// the watch starts) is not taken back: it makes its pass.
TEST_F(ControllerTest, WakeBeforeTheWorkerStartsMakesItsPass) {
    settings::WriteStartTime(1);  // no first pass
    settings::WriteNumber(settings::kSchedulerType, 0);
    Controller().Signal();
    ASSERT_EQ(0u, Controller().Start());
    ASSERT_TRUE(PumpUntil([] { return g_stop.load() == 1; })) << "the early wake was lost";
    EXPECT_TRUE(Exists(Mirror(kSource + L"\\a.txt")));
}

TEST_F(ControllerTest, SignalsDuringAPassMakeExactlyOneMorePass) {
    settings::WriteStartTime(1);
    AddBlockedFile();
    m_onAlert = [this] {
        if (m_alerts.load() == 1)
            for (int i = 0; i < 3; ++i) m_controller->Signal();
    };
    ASSERT_EQ(0u, Controller().Start());
    Controller().Signal();
    ASSERT_TRUE(PumpUntil([] { return g_stop.load() == 2; }));
    EXPECT_EQ(2, m_alerts.load()) << "the blocked file fails once in each pass";
    // The worker is back in its wait with nothing left to do (type 3).
    ASSERT_TRUE(PumpUntil([this] { return !m_controller->InPass(); }));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(Controller().WakeEvent(), 0)) << "a third pass is due";
    EXPECT_EQ(2, Controller().PassCount());
}

TEST_F(ControllerTest, ChangesInsideEveryQuietWaitHoldThePassBackForThirtyWaits) {
    timeseam::SetDivisor(1);  // each quiet wait lasts its 5 s unless a wake ends it
    settings::WriteStartTime(1);
    ASSERT_EQ(0u, Controller().Start());
    const HANDLE wake = Controller().WakeEvent();
    // A change inside each quiet wait, as soon as the worker has begun it.
    std::atomic<bool> changing{true};
    std::thread changes([&] {
        LONG seen = 0;
        while (changing.load()) {
            const LONG begun = m_controller->QuietWaitsBegun();
            if (begun != seen && begun <= 30) {
                seen = begun;
                SetEvent(wake);
            }
            Sleep(1);
        }
    });
    SetEvent(wake);
    const bool passed = PumpUntil([] { return g_stop.load() == 1; }, 60000);
    changing = false;
    changes.join();
    ASSERT_TRUE(passed) << "the pass never came while changes went on";
    EXPECT_EQ(30, Controller().LastQuietWaits());

    // A single change: one quiet wait, then the pass.
    timeseam::SetDivisor(100);
    Controller().Signal();
    ASSERT_TRUE(PumpUntil([] { return g_stop.load() == 2; }));
    EXPECT_EQ(1, Controller().LastQuietWaits());
}

// Stop waits for a pass held in a prompt; once the prompt is answered the
// copy ends before the files after it.
TEST_F(ControllerTest, StopDuringAPassEndsItBeforeTheNextFile) {
    AddBlockedFile();
    for (int i = 0; i < 50; ++i) Write(kSource + L"\\f" + std::to_wstring(i), std::to_string(i));
    m_onAlert = [this] {
        while (!m_controller->CopyProgress().StopRequested()) Sleep(1);
    };
    ASSERT_EQ(0u, Controller().Start());
    ASSERT_TRUE(PumpUntil([this] { return m_alerts.load() == 1; }));
    Controller().Stop();
    EXPECT_TRUE(Controller().WaitForWorker(0));
    EXPECT_FALSE(Controller().HasWorker());
    EXPECT_EQ(0, Flags().workerRunning.load());
    for (int i = 0; i < 50; ++i) EXPECT_FALSE(Exists(Mirror(kSource + L"\\f" + std::to_wstring(i)))) << i;
}

// When the progress window comes: for every complete copy (the first pass,
// one asked for from the tray), for a pass of changed files only when
// "Progress Status" is 1, and for the last pass before the session ends. It is
// shown with the percent at 0 and the progress-window flag up, and taken
// down with the percent at 100.
TEST_F(ControllerTest, ProgressWindowComesForCompleteCopiesWhenAskedAndForTheLastPass) {
    settings::WriteProgressStatus(0);
    std::atomic<int> shows{0}, hides{0}, protocolErrors{0};
    Controller().SetProgressWindow([&](CTVXMirrorController&, bool show) {
        if (show && (Flags().progressPercent.load() != 0 || Flags().progressWindow.load() != 1)) ++protocolErrors;
        if (!show && Flags().progressPercent.load() != 100) ++protocolErrors;
        ++(show ? shows : hides);
    });
    ASSERT_EQ(0u, Controller().Start());
    ASSERT_TRUE(PumpUntil([this] { return m_controller->PassCount() == 1 && !m_controller->InPass(); }));
    EXPECT_EQ(1, shows.load()) << "the first pass";

    // A complete copy asked for from the tray shows it too, whatever
    // "Progress Status" says; a pass of changed files only when it is 1.
    Controller().RequestCompleteCopy();
    ASSERT_TRUE(PumpUntil([this] { return m_controller->PassCount() == 2 && !m_controller->InPass(); }));
    EXPECT_EQ(2, shows.load()) << "a complete copy with \"Progress Status\" 0";
    Write(kSource + L"\\changed.txt", "changed");
    Controller().Signal();
    ASSERT_TRUE(PumpUntil([this] { return m_controller->PassCount() == 3 && !m_controller->InPass(); }));
    EXPECT_EQ(2, shows.load()) << "changed files with \"Progress Status\" 0";

    settings::WriteProgressStatus(0);
    Write(kSource + L"\\late.txt", "saved at the end");
    Controller().RunLastPass();
    EXPECT_EQ(3, shows.load()) << "the last pass";
    EXPECT_EQ(shows.load(), hides.load());
    EXPECT_EQ(0, protocolErrors.load());
    EXPECT_EQ(0, Flags().progressWindow.load());
}

// The session ends: one more pass that starts after the request, even when
// a pass is running then; no quiet period; the worker ends after it.
TEST_F(ControllerTest, LastPassAtTheSessionEndRunsAfterTheRunningOneAndEndsTheWorker) {
    settings::WriteStartTime(1);
    settings::WriteNumber(settings::kSchedulerType, 1);
    settings::WriteNumber(settings::kSchedulerInterval, 60);
    AddBlockedFile();
    std::thread sessionEnd;
    m_onAlert = [&] {
        // A file saved just before the end comes while this pass runs.
        if (m_alerts.load() == 1) {
            Write(kSource + L"\\late.txt", "saved at the end");
            sessionEnd = std::thread([this] { m_controller->RunLastPass(); });
        }
    };
    ASSERT_EQ(0u, Controller().Start());
    Controller().Signal();
    ASSERT_TRUE(PumpUntil([] { return g_stop.load() == 2; }));
    sessionEnd.join();
    EXPECT_TRUE(Controller().WaitForWorker(0)) << "the worker runs on after its last pass";
    EXPECT_EQ(2, Controller().PassCount());
    EXPECT_EQ(0, Controller().LastQuietWaits());
    EXPECT_TRUE(Exists(Mirror(kSource + L"\\late.txt"))) << "the last pass began after the request";
    Flags().updateAtShutdown.store(0);
}

}  // namespace
}  // namespace tvx
