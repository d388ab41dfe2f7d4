// The thin framework under every window and handle of the program.
#include <gtest/gtest.h>
#include <windows.h>

#include <stdexcept>

#include "framework/CommandLine.h"
#include "framework/Handle.h"
#include "framework/TimeSeam.h"
#include "framework/WinApp.h"
#include "framework/Window.h"

namespace tvx {
namespace {

bool IsOpen(HANDLE h) {
    DWORD flags = 0;
    return ::GetHandleInformation(h, &flags) != FALSE;
}

HANDLE NewEvent() { return ::CreateEventW(nullptr, TRUE, FALSE, nullptr); }

TEST(UniqueHandle, ClosesWhatItHoldsWhenOverwrittenOrDestroyedButNotWhatItGaveAway) {
    HANDLE moved = nullptr, detached = nullptr;
    {
        UniqueHandle a(NewEvent()), b(NewEvent()), c(NewEvent());
        const HANDLE overwritten = b.Get();
        moved = a.Get();
        b = std::move(a);
        EXPECT_FALSE(IsOpen(overwritten)) << "the handle that was overwritten leaked";
        EXPECT_EQ(b.Get(), moved);
        EXPECT_FALSE(a.IsValid());
        UniqueHandle& alias = b;
        b = std::move(alias);
        EXPECT_TRUE(IsOpen(moved)) << "a move onto itself closed the handle";
        EXPECT_EQ(b.Get(), moved);
        detached = c.Detach();
    }
    EXPECT_FALSE(IsOpen(moved)) << "the destructor left the handle open";
    EXPECT_TRUE(IsOpen(detached));
    ::CloseHandle(detached);
    EXPECT_FALSE(UniqueHandle(INVALID_HANDLE_VALUE).IsValid());
}

TEST(CommandLine, FirstPlainWordIsTheFileNameAndSwitchesAreSkipped) {
    const CommandLineInfo info = ParseCommandLine({L"/embedding", L"StartUp", L"-x", L"later"});
    EXPECT_EQ(info.fileName, L"StartUp");
    ASSERT_EQ(info.switches.size(), 2u);
    EXPECT_EQ(info.switches[0], L"embedding");
    EXPECT_EQ(info.others, std::vector<std::wstring>{L"later"});
    EXPECT_TRUE(ParseCommandLine({}).fileName.empty());
    EXPECT_TRUE(ParseCommandLine({L"/only"}).fileName.empty());
}

TEST(TimeSeam, DividesFixedWaitsButNeverToZeroOrFromInfinite) {
    timeseam::SetDivisor(100);
    EXPECT_EQ(timeseam::Scale(5000), 50u);
    EXPECT_EQ(timeseam::Scale(20), 1u);
    EXPECT_EQ(timeseam::Scale(0), 0u);
    EXPECT_EQ(timeseam::Scale(INFINITE), INFINITE);
    timeseam::SetDivisor(0);  // not a divisor: back to real time
    EXPECT_EQ(timeseam::Scale(1000), 1000u);
}

TEST(TimeSeam, EnvironmentDivisorOutsideItsRangeIsIgnored) {
    ::SetEnvironmentVariableW(L"TVX_TIME_DIVISOR", L"5000");
    timeseam::InitFromEnvironment();
    EXPECT_EQ(timeseam::Divisor(), 1u);
    ::SetEnvironmentVariableW(L"TVX_TIME_DIVISOR", L"10x");
    timeseam::InitFromEnvironment();
    EXPECT_EQ(timeseam::Divisor(), 1u);
    ::SetEnvironmentVariableW(L"TVX_TIME_DIVISOR", L"10");
    timeseam::InitFromEnvironment();
    EXPECT_EQ(timeseam::Divisor(), 10u);
    ::SetEnvironmentVariableW(L"TVX_TIME_DIVISOR", nullptr);
    timeseam::SetDivisor(1);
}

// A window whose handler throws for one message.
class ThrowingWnd : public CTVXWnd {
public:
    int destroyed = 0;
    int handled = 0;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_APP) throw std::runtime_error("handler failed");
        if (message == WM_APP + 1) return ++handled, 42;
        return CTVXWnd::WindowProc(message, wParam, lParam);
    }
    void PostNcDestroy() noexcept override { ++destroyed; }
};

constexpr wchar_t kTestClass[] = L"TvxFrameworkTestWindow";

TEST(Window, DispatchesToItsObjectAndStopsExceptionsAtTheProcedure) {
    ASSERT_TRUE(CTVXWnd::RegisterWindowClass(::GetModuleHandleW(nullptr), kTestClass, 0, nullptr, nullptr, nullptr));
    // A second registration of the same class is not a failure.
    EXPECT_TRUE(CTVXWnd::RegisterWindowClass(::GetModuleHandleW(nullptr), kTestClass, 0, nullptr, nullptr, nullptr));
    ThrowingWnd wnd;
    ASSERT_TRUE(wnd.CreateEx(0, kTestClass, L"t", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, ::GetModuleHandleW(nullptr)));
    const HWND hwnd = wnd.GetSafeHwnd();
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(::SendMessageW(hwnd, WM_APP + 1, 0, 0), 42);
    EXPECT_EQ(wnd.handled, 1);
    // The exception does not unwind through SendMessage; the message gets default handling.
    EXPECT_EQ(::SendMessageW(hwnd, WM_APP, 0, 0), 0);
    EXPECT_TRUE(wnd.DestroyWindow());
    EXPECT_EQ(wnd.GetSafeHwnd(), nullptr);
    EXPECT_EQ(wnd.destroyed, 1);
    EXPECT_FALSE(::IsWindow(hwnd));
}

// An application whose InitInstance posts messages for its own loop.
class QuitApp : public CTVXWinApp {
public:
    bool enterLoop = true;
    int exitSeen = -1;

protected:
    bool InitInstance() override {
        ::PostQuitMessage(7);
        return enterLoop;
    }
    int ExitInstance(int code) override {
        exitSeen = code;
        return code + 1;
    }
};

TEST(WinApp, LoopEndsWithTheQuitCodeAndExitInstanceSetsTheResultAndAFalseInitInstanceSkipsTheLoop) {
    QuitApp app;
    EXPECT_EQ(CTVXWinApp::Get(), &app);
    EXPECT_EQ(app.Main(::GetModuleHandleW(nullptr), ParseCommandLine({L"Word"})), 8);
    EXPECT_EQ(app.exitSeen, 7);
    EXPECT_EQ(app.CommandLine().fileName, L"Word");

    app.enterLoop = false;
    EXPECT_EQ(app.Main(::GetModuleHandleW(nullptr), {}), 1);
    EXPECT_EQ(app.exitSeen, 0);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {}  // drop the unused WM_QUIT
}

}  // namespace
}  // namespace tvx
