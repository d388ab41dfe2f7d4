#include "ui/SystemTray.h"

#include <algorithm>
#include <iterator>

#include "framework/ProcessFlags.h"
#include "framework/Trace.h"

namespace tvx {
namespace {

constexpr wchar_t kTrayWindowClass[] = L"TvxDovetrak3TrayWnd";

// The icon record is the whole current structure: its tip holds 127
// characters, and the shell reads only as much as cbSize says.
static_assert(sizeof(NOTIFYICONDATAW) > NOTIFYICONDATAW_V3_SIZE);

// The program's resources live in its executable.
HINSTANCE ModuleInstance() noexcept { return ::GetModuleHandleW(nullptr); }

// Loads an icon resource at the notification area's size; null when absent.
HICON LoadSmallIcon(UINT id) noexcept {
    return static_cast<HICON>(::LoadImageW(ModuleInstance(), MAKEINTRESOURCEW(id), IMAGE_ICON,
                                           ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON),
                                           LR_DEFAULTCOLOR));
}

// No command may start while one of the program's own windows is open (a
// prompt, the settings, the about window, the turning-off question), while
// the progress window of a complete copy is up, or while the program is
// paused.
bool CommandsAllowed() noexcept {
    const ProcessFlags& flags = Flags();
    return flags.modalWindow.load() == 0 && flags.progressWindow.load() == 0 && flags.paused.load() == 0;
}

void GrayEveryItem(HMENU menu) noexcept {
    const int count = ::GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        ::EnableMenuItem(menu, static_cast<UINT>(i), MF_BYPOSITION | MF_GRAYED);
        if (const HMENU sub = ::GetSubMenu(menu, i)) GrayEveryItem(sub);
    }
}

}  // namespace

CTVXSystemTray::~CTVXSystemTray() {
    // The icon goes before the images it shows are freed.
    RemoveIcon();
}

bool CTVXSystemTray::Create(HWND parent, UINT callbackMessage, const std::wstring& tip, UINT iconId, UINT id) {
    if (GetSafeHwnd()) return m_enabled;  // made once
    const HINSTANCE instance = ModuleInstance();
    if (!RegisterWindowClass(instance, kTrayWindowClass, 0, nullptr, nullptr, nullptr) ||
        !CreateEx(0, kTrayWindowClass, L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, instance)) {
        Trace(L"tray: no window (%lu)", ::GetLastError());
        return false;
    }
    m_taskbarCreated = ::RegisterWindowMessageW(L"TaskbarCreated");
    m_restingIcon.Attach(LoadSmallIcon(iconId));

    m_data.cbSize = sizeof(m_data);
    m_data.hWnd = parent ? parent : GetSafeHwnd();
    m_data.uID = id;
    m_data.uCallbackMessage = callbackMessage;
    m_data.hIcon = m_restingIcon.Get();
    const size_t n = std::min(tip.size(), std::size(m_data.szTip) - 1);
    std::copy_n(tip.c_str(), n, m_data.szTip);
    m_data.szTip[n] = L'\0';

    m_enabled = AddIcon();
    if (m_enabled)
        Trace(L"tray: created");
    else
        Trace(L"tray: the shell refused the icon (%lu)", ::GetLastError());
    return m_enabled;
}

bool CTVXSystemTray::AddIcon() noexcept {
    m_data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    return ::Shell_NotifyIconW(NIM_ADD, &m_data) != FALSE;
}

void CTVXSystemTray::RemoveIcon() noexcept {
    if (!m_enabled) return;
    // No animation without an icon: the timer goes too.
    if (m_timer) ::KillTimer(GetSafeHwnd(), m_timer);
    m_timer = 0;
    m_savedIcon = nullptr;
    m_data.uFlags = 0;
    ::Shell_NotifyIconW(NIM_DELETE, &m_data);
    m_enabled = false;
    Trace(L"tray: removed");
}

bool CTVXSystemTray::SetIcon(HICON icon) noexcept {
    if (!m_enabled) return false;
    m_data.uFlags = NIF_ICON;
    m_data.hIcon = icon;
    return ::Shell_NotifyIconW(NIM_MODIFY, &m_data) != FALSE;
}

HICON CTVXSystemTray::GetIcon() const noexcept { return m_enabled ? m_data.hIcon : nullptr; }

bool CTVXSystemTray::SetIconList(UINT firstId, UINT lastId) {
    if (firstId > lastId) return false;
    // The frame on show must not be freed under the shell's eyes.
    StopAnimation();
    m_frames.clear();
    m_currentFrame = 0;
    for (UINT id = firstId;; ++id) {
        if (UniqueIcon icon{LoadSmallIcon(id)}) m_frames.push_back(std::move(icon));
        if (id == lastId) break;  // also ends a list that reaches the largest id
    }
    return true;
}

HICON CTVXSystemTray::Frame(std::size_t index) const noexcept {
    return index < m_frames.size() ? m_frames[index].Get() : nullptr;
}

bool CTVXSystemTray::Animate(UINT delay, int periodSeconds) {
    if (!m_enabled) return m_timer != 0;
    StopAnimation();  // a second pass's request starts afresh from the resting icon
    m_currentFrame = 0;
    m_animationStart = ::GetTickCount64();
    m_period = periodSeconds;
    m_savedIcon = GetIcon();
    m_timer = ::SetTimer(GetSafeHwnd(), kAnimationTimer, delay, nullptr);
    if (periodSeconds > 0)
        Trace(L"tray: animate every %u ms for %d s", delay, periodSeconds);
    else
        Trace(L"tray: animate every %u ms until stopped", delay);
    return m_timer != 0;
}

bool CTVXSystemTray::StepAnimation() noexcept {
    if (m_frames.empty()) return false;
    m_currentFrame = (m_currentFrame + 1) % m_frames.size();
    return SetIcon(m_frames[m_currentFrame].Get());
}

bool CTVXSystemTray::StopAnimation() noexcept {
    if (!m_enabled) return false;
    bool stopped = false;
    if (m_timer) stopped = ::KillTimer(GetSafeHwnd(), m_timer) != FALSE;
    m_timer = 0;
    if (m_savedIcon) SetIcon(m_savedIcon);
    m_savedIcon = nullptr;
    if (stopped) Trace(L"tray: animation stopped");
    return stopped;
}

void CTVXSystemTray::OnTimer() noexcept {
    if (m_period > 0) {
        // Whole seconds since the start, rounded to the nearest.
        const ULONGLONG elapsed = (::GetTickCount64() - m_animationStart + 500) / 1000;
        if (elapsed > static_cast<ULONGLONG>(m_period)) {
            StopAnimation();
            return;
        }
    }
    StepAnimation();
}

// The shell started (again, after Explorer ended): it knows no icons now.
// The icon goes back as it is, with the animation frame on show.
void CTVXSystemTray::OnTaskbarCreated() noexcept {
    if (!m_enabled) return;
    bool ok = AddIcon();
    // The same broadcast also comes when the shell kept its icons (after a
    // change of the screen's resolution): the icon is then still there.
    if (!ok) ok = ::Shell_NotifyIconW(NIM_MODIFY, &m_data) != FALSE;
    Trace(L"tray: icon added again after the taskbar was created (%ls)", ok ? L"ok" : L"failed");
}

bool CTVXSystemTray::SetMenuDefaultItem(UINT item, bool byPosition) {
    if (item == m_defaultItem && byPosition == m_defaultByPosition) return true;
    m_defaultItem = item;
    m_defaultByPosition = byPosition;
    const UniqueMenu menu = PrepareMenu();
    return menu && ::GetMenuDefaultItem(menu.Get(), byPosition, 0) == item;
}

UniqueMenu CTVXSystemTray::PrepareMenu() const {
    const UniqueMenu bar(::LoadMenuW(ModuleInstance(), MAKEINTRESOURCEW(m_data.uID)));
    if (!bar) return {};
    UniqueMenu popup(::GetSubMenu(bar.Get(), 0));
    if (!popup) return {};
    // Taken out of the bar, the popup outlives it.
    if (!::RemoveMenu(bar.Get(), 0, MF_BYPOSITION)) {
        popup.Detach();  // still the bar's: it goes with the bar
        return {};
    }
    ::SetMenuDefaultItem(popup.Get(), m_defaultItem, m_defaultByPosition);
    if (!CommandsAllowed()) GrayEveryItem(popup.Get());
    return popup;
}

LRESULT CTVXSystemTray::OnTrayNotification(WPARAM wParam, LPARAM lParam) {
    if (wParam != m_data.uID) return 0;
    switch (LOWORD(lParam)) {
        case WM_RBUTTONUP: return ShowMenu() ? 1 : 0;
        case WM_LBUTTONDBLCLK: return RunDefaultItem() ? 1 : 0;
        default: return 1;  // other mouse events mean nothing here
    }
}

bool CTVXSystemTray::ShowMenu() {
    const UniqueMenu menu = PrepareMenu();
    if (!menu) return false;
    const HWND owner = Receiver();
    POINT cursor = {};
    ::GetCursorPos(&cursor);
    // A menu of a window in the background would stay open when the user
    // clicks elsewhere.
    ::SetForegroundWindow(owner);
    const bool grayed = (::GetMenuState(menu.Get(), 0, MF_BYPOSITION) & MF_GRAYED) != 0;
    Trace(L"tray: menu shown%ls", grayed ? L" grayed" : L"");
    // The owner gets the chosen command as WM_COMMAND. The menu runs its own
    // message loop, in which this object may be destroyed (the icon turned
    // off meanwhile): from here on only locals are used.
    ::TrackPopupMenu(menu.Get(), TPM_LEFTALIGN | TPM_LEFTBUTTON, cursor.x, cursor.y, 0, owner, nullptr);
    // Lets the menu close properly when the user clicked elsewhere.
    ::PostMessageW(owner, WM_NULL, 0, 0);
    return true;
}

bool CTVXSystemTray::RunDefaultItem() {
    const ProcessFlags& flags = Flags();
    if (flags.progressWindow.load() != 0 || flags.paused.load() != 0) {
        Trace(L"tray: double-click ignored");
        return true;
    }
    UINT command = m_defaultItem;
    if (m_defaultByPosition) {
        const UniqueMenu menu = PrepareMenu();
        if (!menu) return false;
        command = ::GetMenuItemID(menu.Get(), static_cast<int>(m_defaultItem));
    }
    if (command == 0 || command == static_cast<UINT>(-1)) return true;  // no command to run
    const HWND owner = Receiver();
    ::SetForegroundWindow(owner);
    Trace(L"tray: double-click runs command %u", command);
    // As for the menu, this object may be gone when the command returns.
    ::SendMessageW(owner, WM_COMMAND, MAKEWPARAM(command, 0), 0);
    return true;
}

LRESULT CTVXSystemTray::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER && wParam == kAnimationTimer) {
        OnTimer();
        return 0;
    }
    if (m_taskbarCreated != 0 && message == m_taskbarCreated) {
        OnTaskbarCreated();
        return 0;
    }
    // Without a parent the icon's mouse events come here.
    if (m_data.uCallbackMessage != 0 && message == m_data.uCallbackMessage) return OnTrayNotification(wParam, lParam);
    return Default(message, wParam, lParam);
}

}  // namespace tvx
