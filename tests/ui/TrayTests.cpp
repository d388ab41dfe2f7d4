// The tray object in-process, with the program's resources: the animation's
// order and its end, the menu as a right-click shows it, and where the icon's
// mouse events lead. The icon is real: the test prefix's desktop has a
// notification area.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <utility>
#include <vector>

#include "framework/ProcessFlags.h"
#include "framework/Window.h"
#include "res/resource.h"
#include "tests/support/Automation.h"
#include "ui/SystemTray.h"

namespace tvx {
namespace {

constexpr UINT kNotify = WM_USER + 10;

// Stands in for the main window: receives the icon's events and the
// commands, and lets a test act while a menu of its waits for the user.
class Owner : public CTVXWnd {
public:
    std::vector<UINT> commands;
    int nulls = 0;
    std::function<void(HWND menuWindow)> onMenuIdle;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_COMMAND) commands.push_back(LOWORD(wParam));
        if (message == WM_NULL) ++nulls;
        if (message == WM_ENTERIDLE && wParam == MSGF_MENU && onMenuIdle) {
            const auto action = std::exchange(onMenuIdle, nullptr);
            action(reinterpret_cast<HWND>(lParam));
        }
        return Default(message, wParam, lParam);
    }
};

// Runs this thread's messages until done() or the time is up.
bool PumpUntil(const std::function<bool()>& done, DWORD milliseconds) {
    const auto pumped = [&] {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
        return done();
    };
    return test::WaitUntil(pumped, milliseconds, 20);
}

// The tray as the main window makes it.
class TrayTest : public ::testing::Test {
protected:
    void SetUp() override {
        const HINSTANCE instance = ::GetModuleHandleW(nullptr);
        ASSERT_TRUE(CTVXWnd::RegisterWindowClass(instance, L"TvxTrayTestOwner", 0, nullptr, nullptr, nullptr));
        ASSERT_TRUE(owner.CreateEx(0, L"TvxTrayTestOwner", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance));
        ASSERT_TRUE(tray.Create(owner.GetSafeHwnd(), kNotify, L"Tavrix Dovetrak 3 Options", IDI_TRAY_IDLE,
                                IDR_TRAY_MENU))
            << "the shell refused the icon";
        ASSERT_TRUE(tray.SetMenuDefaultItem(ID_TRAY_OPEN, false));
        ASSERT_TRUE(tray.SetIconList(IDI_TRAY_FRAME_FIRST, IDI_TRAY_FRAME_LAST));
        resting = tray.GetIcon();
        ASSERT_NE(resting, nullptr);
    }

    void TearDown() override {
        Flags().paused.store(0);
        Flags().progressWindow.store(0);
    }

    Owner owner;
    CTVXSystemTray tray;
    HICON resting = nullptr;
};

TEST_F(TrayTest, AnimationShowsTheFramesInTurnFromTheSecondAndEndsOnTheRestingIcon) {
    const std::size_t n = tray.FrameCount();
    if (n < 2) GTEST_SKIP() << "the program's resources hold " << n << " animation frames";
    ASSERT_TRUE(tray.Animate(100, 0));
    // The timer shows the first frame after one delay: the list's second.
    ASSERT_TRUE(PumpUntil([&] { return tray.GetIcon() != resting; }, 10000));
    EXPECT_EQ(tray.GetIcon(), tray.Frame(1));
    ASSERT_TRUE(tray.StopAnimation());
    EXPECT_EQ(tray.GetIcon(), resting);

    ASSERT_TRUE(tray.Animate(100, 0));
    for (std::size_t step = 1; step <= n + 1; ++step) {
        ASSERT_TRUE(tray.StepAnimation());
        EXPECT_EQ(tray.GetIcon(), tray.Frame(step % n)) << "step " << step;
    }
    EXPECT_TRUE(tray.StopAnimation());
    EXPECT_EQ(tray.GetIcon(), resting);
    EXPECT_FALSE(tray.IsAnimating());
}

// Every way an animation ends leaves the resting icon and no timer.
TEST_F(TrayTest, ASecondAnimateRestartsAndAStopOrTheEndOfThePeriodEndsOnTheRestingIcon) {
    EXPECT_FALSE(tray.StopAnimation()) << "a stop without an animation changes something";
    EXPECT_EQ(tray.GetIcon(), resting);

    ASSERT_TRUE(tray.Animate(100, 0));
    tray.StepAnimation();
    tray.StepAnimation();
    ASSERT_TRUE(tray.Animate(100, 0));
    EXPECT_EQ(tray.GetIcon(), resting) << "the second animate starts from the resting icon";
    tray.StepAnimation();
    EXPECT_TRUE(tray.StopAnimation());
    EXPECT_EQ(tray.GetIcon(), resting);
    EXPECT_FALSE(tray.StopAnimation()) << "the timer outlived the animation";

    ASSERT_TRUE(tray.Animate(100, 1));
    EXPECT_TRUE(PumpUntil([&] { return !tray.IsAnimating(); }, 10000)) << "an animation with a period went on";
    EXPECT_EQ(tray.GetIcon(), resting);
}

TEST_F(TrayTest, IconListKeepsTheIconsThatExistAndRefusesAReversedRange) {
    const std::size_t before = tray.FrameCount();
    EXPECT_FALSE(tray.SetIconList(IDI_TRAY_FRAME_LAST, IDI_TRAY_FRAME_FIRST));
    EXPECT_EQ(tray.FrameCount(), before);
    // Of 127 to 129 only the resting icon 128 exists.
    ASSERT_TRUE(tray.SetIconList(IDI_TRAY_IDLE - 1, IDI_TRAY_IDLE + 1));
    EXPECT_EQ(tray.FrameCount(), 1u);
}

// (Which item runs which command, the end-to-end tray test shows on the real menu.)
TEST_F(TrayTest, MenuGraysEveryItemWhileNoCommandIsAllowed) {
    const UniqueMenu menu = tray.PrepareMenu();
    ASSERT_TRUE(menu);
    EXPECT_EQ(::GetMenuDefaultItem(menu.Get(), FALSE, 0), static_cast<UINT>(ID_TRAY_OPEN));

    auto everyItemGrayed = [](HMENU m) {
        for (HMENU sub : {m, ::GetSubMenu(m, 1)})
            for (int i = 0; i < ::GetMenuItemCount(sub); ++i)
                if (!(::GetMenuState(sub, i, MF_BYPOSITION) & MF_GRAYED)) return false;
        return true;
    };
    {
        ModalWindowScope modal;  // a window of the program is open
        ASSERT_TRUE(modal.Entered());
        EXPECT_TRUE(everyItemGrayed(tray.PrepareMenu().Get()));
    }
    Flags().progressWindow.store(1);
    EXPECT_TRUE(everyItemGrayed(tray.PrepareMenu().Get()));
    Flags().progressWindow.store(0);
    Flags().paused.store(1);
    EXPECT_TRUE(everyItemGrayed(tray.PrepareMenu().Get()));
    Flags().paused.store(0);
    EXPECT_FALSE(everyItemGrayed(tray.PrepareMenu().Get()));
}

// The real menu, shown by a right-click while a window of the program is open.
TEST_F(TrayTest, RightClickWhileAWindowIsOpenShowsAGrayedMenuThatRunsNothing) {
    ModalWindowScope modal;
    ASSERT_TRUE(modal.Entered());
    bool shown = false;
    owner.onMenuIdle = [&](HWND menuWindow) {
        shown = ::IsWindowVisible(menuWindow) != FALSE;
        test::SaveNamedScreenshot(L"tray-menu-modal");
        // "&About" by its key, then away with the menu.
        ::PostMessageW(menuWindow, WM_CHAR, L'a', 0);
        ::PostMessageW(menuWindow, WM_KEYDOWN, VK_ESCAPE, 0);
    };
    EXPECT_EQ(tray.OnTrayNotification(IDR_TRAY_MENU, WM_RBUTTONUP), 1);
    EXPECT_TRUE(shown);
    PumpUntil([&] { return owner.nulls > 0; }, 5000);
    EXPECT_EQ(owner.nulls, 1) << "WM_NULL after the menu";
    PumpUntil([] { return false; }, 200);
    EXPECT_TRUE(owner.commands.empty()) << "a grayed item ran";
}

TEST_F(TrayTest, DoubleClickRunsTheDefaultCommandUnlessPausedOrCopying) {
    EXPECT_EQ(tray.OnTrayNotification(IDR_TRAY_MENU + 1, WM_LBUTTONDBLCLK), 0) << "another icon's event";
    EXPECT_EQ(tray.OnTrayNotification(IDR_TRAY_MENU, WM_LBUTTONDBLCLK), 1);
    EXPECT_EQ(owner.commands, std::vector<UINT>{ID_TRAY_OPEN});
    Flags().paused.store(1);
    tray.OnTrayNotification(IDR_TRAY_MENU, WM_LBUTTONDBLCLK);
    Flags().paused.store(0);
    Flags().progressWindow.store(1);
    tray.OnTrayNotification(IDR_TRAY_MENU, WM_LBUTTONDBLCLK);
    EXPECT_EQ(owner.commands.size(), 1u);
}

}  // namespace
}  // namespace tvx
