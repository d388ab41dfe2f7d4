// End-to-end: the real Dovetrak3.exe under Wine, started and driven from
// outside as Windows and a user do. Each test prepares the current user's
// registry, starts the program, and checks what a user (or a second copy of
// the program) would notice: whether it keeps running, its hidden window, the
// settings afterwards, and what it did (through its debug trace).
#include "tests/e2e/MirrorFixture.h"

namespace tvx::test {
namespace {

constexpr UINT kOpenSettings = WM_USER + 1;
constexpr DWORD kEndsWithin = 10000;  // a process that ends by itself does so well within this

std::wstring SystemDefaultsFile() {
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    return std::wstring(system) + L"\\tvxdt3.reg";
}

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(WaitForNoWindow(kClass, 5000)) << "a copy of the program from an earlier test still runs";
        ASSERT_EQ(reg::DeleteTree(HKEY_CURRENT_USER, kOptions), ERROR_SUCCESS);
        ::DeleteFileW(SystemDefaultsFile().c_str());
        ASSERT_TRUE(monitor.IsActive()) << "debug-output monitor could not start";
    }

    void TearDown() override {
        for (ProgramProcess* p : {&first, &second}) {
            if (p->IsRunning()) {
                if (const HWND hwnd = ::FindWindowW(kClass, nullptr)) ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
                if (!p->WaitExit(kEndsWithin)) p->Terminate();
            }
        }
        ::DeleteFileW(SystemDefaultsFile().c_str());
        reg::DeleteTree(HKEY_CURRENT_USER, kOptions);
    }

    // The settings of a user who finished the setup (from a .reg file, as an
    // installer or an administrator would bring them), with mirroring on or off.
    static void WriteCompleteSettings(DWORD mirrorStatus) {
        ASSERT_TRUE(reg::Import(ExecutableFolder() + L"\\e2e-settings.reg"));
        ASSERT_TRUE(reg::ValueExists(HKEY_CURRENT_USER, kOptions, L"Warning Status")) << "import failed";
        ASSERT_EQ(reg::SetDword(HKEY_CURRENT_USER, kOptions, L"Mirror Status", mirrorStatus), ERROR_SUCCESS);
    }

    bool StartProgram(ProgramProcess& process, const std::wstring& startWord) {
        return process.Start(ExecutableFolder() + L"\\Dovetrak3.exe", startWord);
    }

    // Starts the program and waits until its start-up has finished.
    void StartAndWaitRunning(ProgramProcess& process, const std::wstring& startWord) {
        ASSERT_TRUE(StartProgram(process, startWord));
        ASSERT_TRUE(monitor.WaitFor(L"start: running", process.Id(), kEndsWithin));
    }

    // Starts the program with "StartUp" and waits until it runs. Returns its
    // main window (null on failure).
    HWND StartRunning() {
        StartAndWaitRunning(first, L"StartUp");
        if (::testing::Test::HasFatalFailure()) return nullptr;
        return WaitForWindow(kClass, nullptr, kEndsWithin);
    }

    void Screenshot(const std::wstring& name) { EXPECT_TRUE(SaveNamedScreenshot(name)); }

    DebugMonitor monitor;
    ProgramProcess first;
    ProgramProcess second;
};

TEST_F(StartupTest, NoStartUpWithoutSettingsEndsQuietly) {
    ASSERT_TRUE(StartProgram(first, L"NoStartUp"));
    ASSERT_TRUE(first.WaitExit(kEndsWithin)) << "the program kept running without settings";
    EXPECT_EQ(first.ExitCode(), 0u);
    EXPECT_EQ(::FindWindowW(kClass, nullptr), nullptr);
    // Nothing was shown: no wizard and no settings sheet.
    EXPECT_FALSE(monitor.Saw(L"ui: setup wizard", first.Id()));
    EXPECT_FALSE(monitor.Saw(L"ui: settings sheet", first.Id()));
}

TEST_F(StartupTest, StartUpWithMirroringOnKeepsRunningWithHiddenWindow) {
    WriteCompleteSettings(1);
    StartAndWaitRunning(first, L"StartUp");
    const HWND hwnd = WaitForWindow(kClass, L"Tavrix Dovetrak 3", kEndsWithin);
    ASSERT_NE(hwnd, nullptr) << "no window of the class with the program's title";
    EXPECT_FALSE(::IsWindowVisible(hwnd));
    const LONG_PTR style = ::GetWindowLongPtrW(hwnd, GWL_STYLE);
    EXPECT_EQ(style & (WS_POPUP | WS_CHILD), WS_POPUP | WS_CHILD);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(hwnd, &owner);
    EXPECT_EQ(owner, first.Id());
    EXPECT_FALSE(first.WaitExit(1500)) << "the program ended although mirroring is on";
    EXPECT_TRUE(monitor.Saw(L"controller: start", first.Id()));
    EXPECT_TRUE(monitor.Saw(L"tray: created", first.Id())) << "Icon Status 1 asks for the tray icon";
    Screenshot(L"startup-running");
}

TEST_F(StartupTest, SecondStartHandsOverToTheRunningCopy) {
    WriteCompleteSettings(1);
    StartAndWaitRunning(first, L"StartUp");
    ASSERT_TRUE(StartProgram(second, L""));
    ASSERT_TRUE(second.WaitExit(kEndsWithin)) << "the second copy did not end";
    EXPECT_TRUE(monitor.WaitFor(L"main: open-settings message", first.Id(), kEndsWithin));
    EXPECT_TRUE(monitor.WaitFor(L"ui: settings sheet", first.Id(), kEndsWithin));
    EXPECT_TRUE(CancelWindowWithControl(first.Id(), kSettingsWindowControl, kEndsWithin));
    EXPECT_TRUE(first.IsRunning());
    EXPECT_TRUE(monitor.Saw(L"start: another copy runs", second.Id()));
    EXPECT_FALSE(monitor.Saw(L"start: word", second.Id())) << "the second copy ran its own start-up";
}

TEST_F(StartupTest, MissingOptionsAreRestoredFromTheDefaultsFile) {
    ASSERT_TRUE(::CopyFileW(TVX_DEFAULTS_FILE, SystemDefaultsFile().c_str(), FALSE));
    ASSERT_TRUE(StartProgram(first, L"StartUp"));
    // The defaults leave mirroring off, so a start-up start ends by itself.
    // (Which values the check needs, the settings tests hold.)
    ASSERT_TRUE(first.WaitExit(kEndsWithin));
    EXPECT_TRUE(monitor.Saw(L"settings complete", first.Id()));
    EXPECT_TRUE(reg::ValueExists(HKEY_CURRENT_USER, kOptions, L"Warning Status"));
}

TEST_F(StartupTest, CloseCommandEndsTheProgramWhenMirroringIsOff) {
    WriteCompleteSettings(1);
    const HWND hwnd = StartRunning();
    ASSERT_NE(hwnd, nullptr);
    reg::SetDword(HKEY_CURRENT_USER, kOptions, L"Mirror Status", 0);
    ::PostMessageW(hwnd, WM_COMMAND, 40009, 0);
    EXPECT_TRUE(first.WaitExit(kEndsWithin));
    EXPECT_FALSE(monitor.Saw(L"ui: turning-off question", first.Id())) << "mirroring off needs no question";
}

TEST_F(StartupTest, CloseCommandAsksFirstWhenMirroringIsOn) {
    WriteCompleteSettings(1);
    const HWND hwnd = StartRunning();
    ASSERT_NE(hwnd, nullptr);
    ::PostMessageW(hwnd, WM_COMMAND, 40009, 0);
    // (That Cancel keeps the program running, the tray test's Close shows.)
    const HWND question = WaitForDialogWithControl(first.Id(), IDCANCEL, kEndsWithin);
    ASSERT_NE(nullptr, question) << "no turning-off question";
    Screenshot(L"turn-off-question");
    ClickButton(question, IDOK);
    EXPECT_TRUE(first.WaitExit(kEndsWithin)) << "OK did not turn the program off";
}

TEST_F(StartupTest, WmCloseEndsTheProgramWhateverTheSettings) {
    WriteCompleteSettings(1);
    const HWND hwnd = StartRunning();
    ASSERT_NE(hwnd, nullptr);
    ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
    ASSERT_TRUE(first.WaitExit(kEndsWithin));
    EXPECT_EQ(first.ExitCode(), 0u);
    EXPECT_TRUE(monitor.Saw(L"controller: stop", first.Id()));
    EXPECT_EQ(::FindWindowW(kClass, nullptr), nullptr);
}

TEST_F(StartupTest, StartWordsAreCaseSensitive) {
    // Mirroring off and complete settings: a start without a start word shows
    // the settings sheet, one with "StartUp" does not.
    WriteCompleteSettings(0);
    ASSERT_TRUE(StartProgram(first, L"startup"));
    EXPECT_TRUE(CancelWindowWithControl(first.Id(), kSettingsWindowControl, kEndsWithin));
    ASSERT_TRUE(first.WaitExit(kEndsWithin));
    EXPECT_TRUE(monitor.Saw(L"ui: settings sheet", first.Id())) << "\"startup\" was taken for \"StartUp\"";

    ASSERT_TRUE(StartProgram(second, L"StartUp"));
    ASSERT_TRUE(second.WaitExit(kEndsWithin));
    EXPECT_FALSE(monitor.Saw(L"ui: settings sheet", second.Id()));
}

TEST_F(StartupTest, FirstStartWithoutSettingsRunsTheWizardAndEndsOnCancel) {
    ASSERT_TRUE(StartProgram(first, L""));
    ASSERT_TRUE(WaitForDialogWithControl(first.Id(), kWizardControl, kEndsWithin)) << "no wizard";
    Screenshot(L"startup-wizard");
    EXPECT_TRUE(CancelWindowWithControl(first.Id(), kWizardControl, kEndsWithin));
    ASSERT_TRUE(first.WaitExit(kEndsWithin));
    EXPECT_TRUE(monitor.Saw(L"ui: splash IDB_SPLASH", first.Id()));
    EXPECT_TRUE(monitor.Saw(L"ui: setup wizard", first.Id()));
    EXPECT_FALSE(reg::ValueExists(HKEY_CURRENT_USER, kOptions, L"Mirror Status"));
}

TEST_F(StartupTest, ResumeAfterPauseRestartsTheBackgroundWork) {
    WriteCompleteSettings(1);
    const HWND hwnd = StartRunning();
    ASSERT_NE(hwnd, nullptr);
    ::PostMessageW(hwnd, WM_COMMAND, 40013, 0);
    // While paused, a second copy's request to open the settings is ignored.
    ::PostMessageW(hwnd, kOpenSettings, 0, 0);
    ASSERT_TRUE(monitor.WaitFor(L"open: ignored", first.Id(), kEndsWithin));
    EXPECT_FALSE(monitor.Saw(L"ui: settings sheet", first.Id()));
    monitor.Clear();
    ::PostMessageW(hwnd, WM_COMMAND, 40014, 0);
    EXPECT_TRUE(monitor.WaitFor(L"controller: start", first.Id(), kEndsWithin));
    EXPECT_TRUE(first.IsRunning());
}

TEST_F(StartupTest, TrayMessagesReachTheTrayOnlyWhileItExists) {
    WriteCompleteSettings(1);
    reg::SetDword(HKEY_CURRENT_USER, kOptions, L"Icon Status", 0);
    // A start stamp: no first pass, whose own animate and stop would reach the
    // icon when it comes late.
    reg::SetDword(HKEY_CURRENT_USER, kOptions, L"Start Time Low", 1);
    const HWND hwnd = StartRunning();
    ASSERT_NE(hwnd, nullptr);
    EXPECT_FALSE(monitor.Saw(L"tray: created", first.Id())) << "Icon Status 0 shows no icon";

    ::PostMessageW(hwnd, 0x405, 0, 0);  // a pass starts, but there is no icon to animate
    ::PostMessageW(hwnd, 0x403, 0, 0);  // the settings turned the icon on
    ::PostMessageW(hwnd, 0x403, 0, 0);  // a second request makes no second icon
    ::PostMessageW(hwnd, 0x405, 0, 0);
    ::PostMessageW(hwnd, 0x406, 0, 0);
    ::PostMessageW(hwnd, 0x404, 0, 0);
    ASSERT_TRUE(monitor.WaitFor(L"tray: removed", first.Id(), kEndsWithin));
    const std::vector<std::wstring> expected = {L"tray: created", L"tray: animate every 100 ms until stopped",
                                                L"tray: animation stopped", L"tray: removed"};
    std::vector<std::wstring> seen;
    for (const std::wstring& line : monitor.Lines(first.Id()))
        if (line.find(L"tray: ") != std::wstring::npos) seen.push_back(line.substr(line.find(L"tray: ")));
    EXPECT_EQ(seen, expected);
}

}  // namespace
}  // namespace tvx::test
