#include "app/TvxApp.h"

#include <commctrl.h>
#include <ole2.h>

#include <algorithm>

#include "app/MainWnd.h"
#include "app/Messages.h"
#include "app/MirrorController.h"
#include "framework/ProcessFlags.h"
#include "framework/Prompts.h"
#include "framework/ResourceString.h"
#include "framework/Trace.h"
#include "media/DriveArray.h"
#include "res/resource.h"
#include "settings/Settings.h"
#include "ui/ProgressWindow.h"
#include "ui/Prompts.h"
#include "ui/SystemTray.h"
#include "ui/SettingsSheet.h"
#include "ui/UserInterface.h"

namespace tvx {
namespace {

// Releases and closes the start-up mutex however InitInstance leaves.
class StartupMutexGuard {
public:
    explicit StartupMutexGuard(HANDLE h) noexcept : m_handle(h) {}
    ~StartupMutexGuard() {
        if (m_handle) ::ReleaseMutex(m_handle.Get());
    }
    StartupMutexGuard(const StartupMutexGuard&) = delete;
    StartupMutexGuard& operator=(const StartupMutexGuard&) = delete;

private:
    UniqueHandle m_handle;
};

// The progress window's view of the controller's copy engine.
class ControllerCopy final : public ui::ProgressSource {
public:
    explicit ControllerCopy(CTVXMirrorController& controller) noexcept : m_controller(controller) {}

    unsigned PercentDone() override {
        return static_cast<unsigned>(std::max(m_controller.CopyProgress().GetPercentDone(), 0));
    }
    void CurrentPaths(std::wstring& source, std::wstring& destination) override {
        m_controller.CopyProgress().GetCurrentSource(source);
        m_controller.CopyProgress().GetCurrentDestination(destination);
    }
    void CancelCopy() override { m_controller.CancelCopy(); }

private:
    CTVXMirrorController& m_controller;
};

}  // namespace

CTVXApp::CTVXApp() {
    media::DriveArrayLock();
    Flags().drivePresent.store(1);
}

CTVXApp::~CTVXApp() {
    // The worker has ended with the main window; no pass calls in any more.
    if (m_progress) MirrorController().SetProgressWindow(nullptr);
    m_progress.reset();
    m_tray.reset();
    m_mainWnd.reset();
}

HWND CTVXApp::MainHwnd() const noexcept { return m_mainWnd ? m_mainWnd->GetSafeHwnd() : nullptr; }

void CTVXApp::CreateTray() {
    if (m_tray) return;
    // The icon's mouse events and the menu's commands go to the main window.
    auto tray = std::make_unique<CTVXSystemTray>();
    if (!tray->Create(MainHwnd(), WM_TRAYNOTIFY, LoadResourceString(IDS_OPTIONS_TITLE), IDI_TRAY_IDLE,
                      IDR_TRAY_MENU))
        return;  // no notification area: the program runs without an icon
    tray->SetMenuDefaultItem(ID_OPEN, false);
    tray->SetIconList(IDI_TRAY_FRAME_FIRST, IDI_TRAY_FRAME_LAST);
    m_tray = std::move(tray);
}

void CTVXApp::RemoveTray() noexcept { m_tray.reset(); }

void CTVXApp::ConnectProgressWindow() {
    m_progress = std::make_unique<ui::CTVXProgressWindow>();
    // Called on the worker only, a pass at a time: show when the copy
    // starts, take down when it has ended.
    MirrorController().SetProgressWindow([this](CTVXMirrorController& controller, bool show) {
        if (!show) {
            m_progress->Finish();
            return;
        }
        if (!m_progressSource) m_progressSource = std::make_unique<ControllerCopy>(controller);
        if (const DWORD error = m_progress->Start(*m_progressSource))
            Trace(L"progress: the window could not start (%lu); the copy goes on without it", error);
    });
}

bool CTVXApp::CreateMainWindow() {
    const HINSTANCE instance = Instance();
    const HICON icon = ::LoadIconW(instance, MAKEINTRESOURCEW(IDI_MAINFRAME));
    if (!CTVXWnd::RegisterWindowClass(instance, kMainWindowClass, 0, icon, nullptr, nullptr)) return false;
    m_mainWnd = std::make_unique<CTVXMainWnd>();
    const std::wstring title = LoadResourceString(IDS_APP_TITLE);
    // Popup and child bits together, no parent, zero size: never shown.
    if (!m_mainWnd->CreateEx(0, kMainWindowClass, title.c_str(), WS_POPUP | WS_CHILD, 0, 0, 0, 0, nullptr, nullptr,
                             instance)) {
        Trace(L"start: main window not created (%lu)", ::GetLastError());
        return false;
    }
    SetMainWnd(m_mainWnd.get());
    ::ShowWindow(m_mainWnd->GetSafeHwnd(), SW_HIDE);
    ::UpdateWindow(m_mainWnd->GetSafeHwnd());
    return true;
}

bool CTVXApp::InitInstance() {
    // The setup wizard hosts a web-browser control: OLE on this thread.
    m_oleInitialized = SUCCEEDED(::OleInitialize(nullptr));
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES | ICC_DATE_CLASSES};
    ::InitCommonControlsEx(&controls);

    const std::wstring& startWord = CommandLine().fileName;
    Flags().modalWindow.store(0);

    // Held only while starting; a second copy hands over by the window lookup.
    const HANDLE mutex = ::CreateMutexW(nullptr, TRUE, kInstanceMutexName);
    if (!mutex) {
        Trace(L"start: no instance mutex (%lu)", ::GetLastError());
        return false;
    }
    StartupMutexGuard mutexGuard(mutex);

    if (const HWND running = ::FindWindowW(kMainWindowClass, nullptr)) {
        Trace(L"start: another copy runs; asking it to open its settings");
        ::PostMessageW(running, WM_OPENSETTINGS, 0, 0);
        return false;
    }

    CreateMainWindow();  // a failure is not fatal: posts to the window are then skipped
    // The copy engine and the disk checks ask the user through the real
    // dialogs, on their own thread and owned by no window of this one.
    SetPromptSink([](const PromptRequest& request) { return ui::ShowPromptDialog(request, nullptr); });
    ConnectProgressWindow();

    // The start words are compared case-sensitively: "startup" is no start word.
    const bool quietStart = startWord == kStartWordStartUp || startWord == kStartWordNoStartUp;
    bool complete = settings::CheckSettings() != 0;
    Trace(L"start: word '%ls', settings %ls", startWord.c_str(), complete ? L"complete" : L"incomplete");
    if (complete) {
        if (!quietStart) {
            DWORD mirror = 0;
            settings::ReadMirrorStatus(mirror);
            ModalWindowScope modal;
            ui::SettingsOutcome outcome;
            if (mirror == 0 && modal.Entered() && ui::ShowSettingsSheet(MainHwnd(), &outcome) == IDOK &&
                (outcome.copyChanged || outcome.copyAll))
                MirrorController().SetForcedPass(1);
        }
    } else if (startWord != kStartWordNoStartUp) {
        RunFirstRunSequence();
        Flags().firstRun.store(1);
        complete = settings::CheckSettings() != 0;
    }

    DWORD mirror = 0;
    settings::ReadMirrorStatus(mirror);
    if (complete && mirror != 0) {
        DWORD icon = 0;
        settings::ReadIconStatus(icon);
        if (icon == 1) CreateTray();
        MirrorController().Start();
        Trace(L"start: running");
    } else {
        Trace(L"start: mirroring off; ending");
        // Without a main window nothing could ever close the program: leave
        // the message loop directly instead of running on unseen forever.
        if (const HWND hwnd = MainHwnd())
            ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
        else
            ::PostQuitMessage(0);
    }
    return true;
}

int CTVXApp::ExitInstance(int loopExitCode) {
    SetPromptSink(nullptr);
    RemoveTray();
    if (m_oleInitialized) ::OleUninitialize();
    m_oleInitialized = false;
    return loopExitCode;
}

void CTVXApp::RunFirstRunSequence() {
    const HWND owner = MainHwnd();
    if (!ui::CheckMakerDrive(owner)) Flags().drivePresent.store(0);
    if (Flags().drivePresent.load() == 0) return;

    ui::ShowSplash(settings::SpecialKeyExists() ? L"IDB_SPLISH" : L"IDB_SPLASH", 1000);

    ModalWindowScope modal;
    if (!modal.Entered()) return;
    ui::SetupChoices choices;
    if (ui::RunSetupWizard(owner, choices) == IDOK) {
        settings::WriteDestination(choices.destination);
        settings::WriteSourceList(choices.sources);
        settings::WriteRevisions(choices.revisions);
        settings::WriteStartTime(0);
        settings::WriteIconStatus(choices.iconStatus);
        settings::Write2LargeStatus(1);
        settings::WriteFileErrorStatus(1);
        settings::WriteFileNameStatus(1);
        settings::WriteNotCurrentStatus(1);
        settings::WriteBuyStatus(1);
        settings::WriteMirrorStatus(1);
        settings::WriteWarningStatus(1);
        std::wstring diskId;
        settings::ReadDiskID(diskId);
        if (diskId.empty()) settings::WriteDiskID(L"0");  // no disk chosen yet
    }
}

}  // namespace tvx
