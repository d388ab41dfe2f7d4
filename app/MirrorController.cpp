#include "app/MirrorController.h"

#include "framework/Trace.h"

namespace tvx {

CTVXMirrorController::CTVXMirrorController() { Reload(); }

CTVXMirrorController::~CTVXMirrorController() = default;

void CTVXMirrorController::Reload() {}

DWORD CTVXMirrorController::Start() {
    m_stopFlag.store(0);
    Trace(L"controller: start");
    return 0;
}

void CTVXMirrorController::Stop() {
    m_stopFlag.store(1);
    Trace(L"controller: stop");
}

void CTVXMirrorController::Signal() {
    Reload();
    Trace(L"controller: signal");
}

CTVXMirrorController& MirrorController() {
    static CTVXMirrorController controller;
    return controller;
}

}  // namespace tvx
