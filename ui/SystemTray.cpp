// The icon itself is not built yet: the object exists and traces what it is
// asked to do, so the main window's handling of the tray messages is whole.
#include "ui/SystemTray.h"

#include "framework/Trace.h"

namespace tvx {

CTVXSystemTray::~CTVXSystemTray() { Trace(L"tray: removed"); }

bool CTVXSystemTray::Create() {
    Trace(L"tray: created");
    return true;
}

void CTVXSystemTray::StartAnimation(UINT frameDelay, UINT duration) {
    Trace(L"tray: animate every %u ms for %u ms", frameDelay, duration);
}

void CTVXSystemTray::StopAnimation() { Trace(L"tray: animation stopped"); }

LRESULT CTVXSystemTray::OnTrayNotification(WPARAM, LPARAM) { return 0; }

}  // namespace tvx
