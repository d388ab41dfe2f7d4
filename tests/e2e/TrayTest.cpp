// End-to-end: the tray icon of the real Dovetrak3.exe in the notification
// area of the Wine desktop. The program mirrors as in MirrorTest, with the
// icon on and a start stamp already set, so that it starts idle and copies
// only when told. Its waits run at half length (TVX_TIME_DIVISOR 2), which
// still leaves a pass long enough to watch the icon animate.
//
// What the tests see: the pixels at the taskbar's right end (where the icons
// sit), the program's menu window (class "#32768") and its debug trace. The
// menu is driven with keys posted to it, as a user's keys would arrive.
#include "tests/e2e/MirrorFixture.h"

#include <shellapi.h>

#include <algorithm>
#include <cstdint>

namespace tvx::test {
namespace {

constexpr UINT kTrayNotify = WM_USER + 10;
constexpr UINT kTrayId = 107;
constexpr DWORD kWithin = 20000;  // anything the program does happens well within this

using Pixels = std::vector<std::uint32_t>;

// The taskbar's right end, where the notification area shows its icons.
RECT NotificationArea() {
    RECT bar = {};
    if (const HWND taskbar = ::FindWindowW(L"Shell_TrayWnd", nullptr)) ::GetWindowRect(taskbar, &bar);
    if (bar.right - bar.left > 160) bar.left = bar.right - 160;
    return bar;
}

Pixels Capture(const RECT& r) {
    const int w = r.right - r.left, h = r.bottom - r.top;
    Pixels pixels(static_cast<size_t>(w > 0 && h > 0 ? w * h : 0));
    if (pixels.empty()) return pixels;
    const HDC screen = ::GetDC(nullptr);
    const HDC memory = ::CreateCompatibleDC(screen);
    const HBITMAP bitmap = ::CreateCompatibleBitmap(screen, w, h);
    const HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    ::SelectObject(memory, old);
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h /* top-down */, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    ::GetDIBits(memory, bitmap, 0, static_cast<UINT>(h), pixels.data(), &info, DIB_RGB_COLORS);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return pixels;
}

// Polls the notification area until it matches (or no longer matches) the
// given pixels; true when it did within the time.
bool WaitForArea(const Pixels& pixels, bool same) {
    return WaitUntil([&] { return (Capture(NotificationArea()) == pixels) == same; }, kWithin, 50);
}

// How many of the animation frames the program's resources hold.
int FramesInTheProgram() {
    const std::wstring exe = ExecutableFolder() + L"\\Dovetrak3.exe";
    const HMODULE module = ::LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) return 0;
    int frames = 0;
    for (UINT id = 181; id <= 185; ++id)
        frames += ::FindResourceW(module, MAKEINTRESOURCEW(id), RT_GROUP_ICON) != nullptr;
    ::FreeLibrary(module);
    return frames;
}

void Key(HWND menu, wchar_t c) { ::PostMessageW(menu, WM_CHAR, c, 0); }
void VirtualKey(HWND menu, UINT vk) { ::PostMessageW(menu, WM_KEYDOWN, vk, 0); }

class TrayTest : public MirrorFixture {
protected:
    void SetUp() override {
        MirrorFixture::SetUp();
        if (HasFatalFailure()) return;
        reg::SetDword(HKEY_CURRENT_USER, kOptions, L"Icon Status", 1);
        reg::SetDword(HKEY_CURRENT_USER, kOptions, L"Start Time Low", 1);  // no complete copy at start
        ::SetEnvironmentVariableW(L"TVX_TIME_DIVISOR", L"2");
        // The desktop, with its taskbar, starts when the session's first
        // window is asked for; this test process may be the first.
        ::GetDesktopWindow();
        WaitUntil([] { return ::FindWindowW(L"Shell_TrayWnd", nullptr) != nullptr; }, kWithin);
        noIcon = Capture(NotificationArea());
        ASSERT_FALSE(noIcon.empty()) << "no taskbar on the desktop";
    }

    // Starts the program and waits until its icon shows; returns its main window.
    HWND StartWithIcon() {
        if (!Start() || !monitor.WaitFor(L"start: running", program.Id(), kWithin)) return nullptr;
        EXPECT_TRUE(monitor.Saw(L"tray: created", program.Id()));
        EXPECT_TRUE(WaitForArea(noIcon, false)) << "no icon came into the notification area";
        ::Sleep(200);  // the shell has drawn it whole
        return ::FindWindowW(kClass, nullptr);
    }

    // The program's visible menu window, or null.
    HWND Menu() {
        for (const WindowInfo& w : ListTopLevelWindows(program.Id()))
            if (w.visible && w.className == L"#32768") return w.hwnd;
        return nullptr;
    }

    // A right-click on the icon, as the shell reports it; returns the menu window.
    HWND OpenMenu(HWND main) {
        ::PostMessageW(main, kTrayNotify, kTrayId, WM_RBUTTONUP);
        HWND menu = nullptr;
        if (WaitUntil([&] { return (menu = Menu()) != nullptr; }, kWithin)) ::Sleep(200);  // drawn whole
        return menu;
    }

    bool WaitMenuGone() { return WaitUntil([&] { return !Menu(); }, kWithin); }

    // While the about window is up every item is grayed; a key ends it.
    void DismissAbout(HWND main) {
        const HWND about = WaitForWindow(L"TavrixDovetrak3Splash", nullptr, 10000);
        ASSERT_NE(about, nullptr) << "no about window";
        const std::size_t grayed = Seen(L"tray: menu shown grayed");
        const HWND menu = OpenMenu(main);
        ASSERT_NE(menu, nullptr);
        EXPECT_TRUE(WaitForCount(L"tray: menu shown grayed", grayed + 1, kWithin));
        EXPECT_TRUE(SaveNamedScreenshot(L"tray-menu-while-about"));
        VirtualKey(menu, VK_ESCAPE);
        EXPECT_TRUE(WaitMenuGone());
        ::PostMessageW(about, WM_KEYDOWN, VK_ESCAPE, 0);
        EXPECT_TRUE(monitor.WaitFor(L"about: closed", program.Id(), kWithin));
    }

    Pixels noIcon;
};

TEST_F(TrayTest, IconAppearsAnimatesDuringAPassAndComesBackToRest) {
    const HWND main = StartWithIcon();
    ASSERT_NE(main, nullptr);
    const Pixels resting = Capture(NotificationArea());
    EXPECT_TRUE(SaveNamedScreenshot(L"tray-idle"));

    // A complete copy: the worker posts the animate before the pass and the
    // stop after it. Meanwhile the notification area is watched.
    ::PostMessageW(main, WM_COMMAND, 40011, 0);
    ASSERT_TRUE(monitor.WaitFor(L"tray: animate every 100 ms until stopped", program.Id(), kWithin));
    std::vector<Pixels> seen;
    bool saved = false;
    while (!monitor.Saw(L"tray: animation stopped", program.Id())) {
        Pixels now = Capture(NotificationArea());
        if (now != resting && !saved) saved = SaveNamedScreenshot(L"tray-animating");
        if (std::find(seen.begin(), seen.end(), now) == seen.end()) seen.push_back(std::move(now));
        ASSERT_TRUE(program.IsRunning());
        ::Sleep(10);
    }
    EXPECT_TRUE(monitor.WaitFor(L"pass: 3 files to copy", program.Id(), kWithin));
    EXPECT_TRUE(Exists(m_mirror + L"\\Work\\Deep\\Notes"));
    EXPECT_TRUE(WaitForArea(resting, true)) << "the resting icon did not come back after the pass";

    const int frames = FramesInTheProgram();
    if (frames < 2) GTEST_SKIP() << "the program's resources hold " << frames << " animation frames";
    EXPECT_TRUE(saved) << "the icon never changed during the pass";
    // The resting icon and at least two frames in turn.
    EXPECT_GE(seen.size(), 3u) << "the frames did not follow each other";
}

// Explorer ended and started again: it forgot the icon and tells every
// top-level window that the taskbar was created.
TEST_F(TrayTest, IconComesBackWhenTheTaskbarIsCreatedAgain) {
    const HWND main = StartWithIcon();
    ASSERT_NE(main, nullptr);
    const Pixels resting = Capture(NotificationArea());
    NOTIFYICONDATAW icon = {};
    icon.cbSize = sizeof(icon);
    icon.hWnd = main;
    icon.uID = kTrayId;
    ASSERT_TRUE(::Shell_NotifyIconW(NIM_DELETE, &icon));
    ASSERT_TRUE(WaitForArea(noIcon, true)) << "the icon did not go";

    ::PostMessageW(HWND_BROADCAST, ::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(monitor.WaitFor(L"tray: icon added again after the taskbar was created (ok)", program.Id(), kWithin));
    EXPECT_TRUE(WaitForArea(resting, true)) << "the icon did not come back";
}

// Every item chosen from the real menu reaches the main window as its command.
TEST_F(TrayTest, EveryMenuItemRunsItsCommandOnTheMainWindow) {
    const HWND main = StartWithIcon();
    ASSERT_NE(main, nullptr);
    HWND menu = OpenMenu(main);
    ASSERT_NE(menu, nullptr) << "no menu window";
    EXPECT_TRUE(monitor.Saw(L"tray: menu shown", program.Id()));
    EXPECT_FALSE(monitor.Saw(L"tray: menu shown grayed", program.Id()));
    EXPECT_TRUE(SaveNamedScreenshot(L"tray-menu"));
    VirtualKey(menu, VK_ESCAPE);
    ASSERT_TRUE(WaitMenuGone()) << "Esc did not close the menu";
    EXPECT_FALSE(monitor.Saw(L"main: command", program.Id())) << "a dismissed menu ran a command";

    struct Choice {
        const wchar_t* keys;  // letters, or '\x26' (up) and '\r' (Enter) as virtual keys
        const wchar_t* command;
        const wchar_t* effect;
    };
    // About and Close show windows of the program, which the test answers.
    const Choice choices[] = {
        {L"py", L"main: command 40010", L"pass: done"},
        // A complete copy shows the progress window, and the menu stays
        // grayed until its pass is done.
        {L"pm", L"main: command 40011", L"pass: done"},
        {L"a", L"main: command 57664", L"about: shown"},
        {L"h", L"main: command 40012", L"ui: help"},
        {L"\x26\r", L"main: command 40009", L"prompt 135"},
        {L"o", L"main: command 40008", L"ui: settings sheet"},
    };
    for (const Choice& choice : choices) {
        SCOPED_TRACE(testing::Message() << choice.command);
        const std::size_t effects = Seen(choice.effect);
        menu = OpenMenu(main);
        ASSERT_NE(menu, nullptr);
        for (const wchar_t* k = choice.keys; *k; ++k) {
            if (*k == L'\x26' || *k == L'\r')
                VirtualKey(menu, *k == L'\r' ? VK_RETURN : VK_UP);
            else
                Key(menu, *k);
            ::Sleep(100);  // a submenu opens before its item is picked
        }
        EXPECT_TRUE(WaitMenuGone());
        EXPECT_TRUE(monitor.WaitFor(choice.command, program.Id(), kWithin));
        if (std::wstring(choice.command).ends_with(L"57664")) DismissAbout(main);
        if (std::wstring(choice.command).ends_with(L"40008")) {
            EXPECT_TRUE(CancelWindowWithControl(program.Id(), kSettingsWindowControl, kWithin));
        }
        if (std::wstring(choice.command).ends_with(L"40009")) {
            const HWND question = WaitForDialogWithControl(program.Id(), IDCANCEL, kWithin);
            ASSERT_NE(question, nullptr) << "no turning-off question";
            ClickButton(question, IDCANCEL);
        }
        EXPECT_TRUE(WaitForCount(choice.effect, effects + 1, kWithin));
    }
    EXPECT_TRUE(program.IsRunning()) << "the turning-off question was not confirmed";
    EXPECT_EQ(1u, Seen(L"progress: window open")) << "the complete copy's progress window";

    // A double-click runs the default item, Open.
    const std::size_t opens = Seen(L"main: command 40008");
    ::PostMessageW(main, kTrayNotify, kTrayId, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(WaitForCount(L"main: command 40008", opens + 1, kWithin));
    EXPECT_TRUE(CancelWindowWithControl(program.Id(), kSettingsWindowControl, kWithin));
}

}  // namespace
}  // namespace tvx::test
