#include "framework/WinApp.h"

#include "framework/Trace.h"

namespace tvx {

CTVXWinApp* CTVXWinApp::s_app = nullptr;

CTVXWinApp::CTVXWinApp() { s_app = this; }

CTVXWinApp::~CTVXWinApp() {
    if (s_app == this) s_app = nullptr;
}

int CTVXWinApp::Main(HINSTANCE instance, const CommandLineInfo& commandLine) {
    m_instance = instance;
    m_commandLine = commandLine;
    int code = 0;
    if (InitInstance()) code = RunMessageLoop();
    return ExitInstance(code);
}

int CTVXWinApp::RunMessageLoop() noexcept {
    MSG msg = {};
    for (;;) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) return static_cast<int>(msg.wParam);  // WM_QUIT
        if (got == -1) {
            Trace(L"GetMessage failed (%lu); leaving the message loop", ::GetLastError());
            return 1;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

}  // namespace tvx
