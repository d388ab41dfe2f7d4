// The link control: a subclassed static that paints itself, so that the dialog
// holding it needs no colour handling of its own.
#include <windows.h>
#include <commctrl.h>

#include <exception>
#include <string>
#include <utility>

#include "framework/Trace.h"
#include "ui/Help.h"

namespace tvx::ui {
namespace {

constexpr UINT_PTR kSubclassId = 0x7456484C;  // one subclass of ours per control
constexpr wchar_t kMessageTitle[] = L"Tavrix Dovetrak 3";

std::wstring WindowText(HWND hwnd) {
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

// DrawText flags that lay the text out as the static's own styles ask.
UINT TextFormat(LONG_PTR style) {
    UINT format = DT_NOCLIP;
    switch (style & SS_TYPEMASK) {
        case SS_CENTER: format |= DT_CENTER | DT_WORDBREAK; break;
        case SS_RIGHT: format |= DT_RIGHT | DT_WORDBREAK; break;
        case SS_LEFTNOWORDWRAP:
        case SS_SIMPLE: format |= DT_LEFT | DT_SINGLELINE; break;
        default: format |= DT_LEFT | DT_WORDBREAK; break;
    }
    if (style & SS_CENTERIMAGE) format = (format & ~DT_WORDBREAK) | DT_SINGLELINE | DT_VCENTER;
    if (style & SS_NOPREFIX) format |= DT_NOPREFIX;
    return format;
}

}  // namespace

CTVXHyperlink::CTVXHyperlink() : m_opener(OpenAddress) {}

CTVXHyperlink::~CTVXHyperlink() { Detach(); }

bool CTVXHyperlink::Attach(HWND staticControl, std::wstring address) {
    Detach();
    if (!::IsWindow(staticControl)) return false;
    if (!::SetWindowSubclass(staticControl, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) {
        Trace(L"ui: link not attached (%lu)", ::GetLastError());
        return false;
    }
    m_hwnd = staticControl;
    m_over = m_pressed = m_visited = false;

    // Without SS_NOTIFY a static is transparent to the mouse: no click, no cursor.
    const LONG_PTR style = ::GetWindowLongPtrW(m_hwnd, GWL_STYLE);
    ::SetWindowLongPtrW(m_hwnd, GWL_STYLE, style | SS_NOTIFY);

    const std::wstring text = WindowText(m_hwnd);
    m_textIsAddress = text.empty();
    m_address = address.empty() ? text : std::move(address);
    if (m_textIsAddress) ::SetWindowTextW(m_hwnd, m_address.c_str());

    MakeFont();
    MakeToolTip();
    Redraw();
    return true;
}

void CTVXHyperlink::Detach() noexcept { Release(false); }

void CTVXHyperlink::Release(bool controlGoing) noexcept {
    if (!m_hwnd) return;
    ::RemoveWindowSubclass(m_hwnd, SubclassProc, kSubclassId);
    // The tool tip is owned by the dialog, which destroys it before its
    // controls: it may be gone already.
    if (m_toolTip && ::IsWindow(m_toolTip)) ::DestroyWindow(m_toolTip);
    m_toolTip = nullptr;
    if (!controlGoing) ::InvalidateRect(m_hwnd, nullptr, TRUE);  // back to the static's own look
    if (m_font) ::DeleteObject(m_font);
    m_font = nullptr;
    m_hwnd = nullptr;
    m_over = m_pressed = false;
}

void CTVXHyperlink::SetAddress(std::wstring address) {
    m_address = std::move(address);
    if (!m_hwnd) return;
    if (m_textIsAddress) ::SetWindowTextW(m_hwnd, m_address.c_str());
    if (m_toolTip) {
        TOOLINFOW tool = {};
        tool.cbSize = sizeof(tool);
        tool.hwnd = ::GetParent(m_hwnd);
        tool.uId = reinterpret_cast<UINT_PTR>(m_hwnd);
        tool.lpszText = m_address.data();
        ::SendMessageW(m_toolTip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    Redraw();
}

COLORREF CTVXHyperlink::TextColor() const noexcept {
    if (m_over) return ::GetSysColor(COLOR_HIGHLIGHT);
    return m_visited ? kVisitedColor : kLinkColor;
}

bool CTVXHyperlink::Follow() {
    if (m_address.empty()) return false;
    const INT_PTR result = m_opener ? m_opener(m_address, SW_SHOWNORMAL) : OpenAddress(m_address, SW_SHOWNORMAL);
    if (result > 32) {
        m_visited = true;
        Redraw();
        return true;
    }
    Trace(L"ui: link %ls not opened (%d)", m_address.c_str(), static_cast<int>(result));
    ::MessageBeep(MB_ICONEXCLAMATION);
    const HWND owner = m_hwnd ? ::GetAncestor(m_hwnd, GA_ROOT) : nullptr;
    ::MessageBoxW(owner, HyperlinkFailureText(result).c_str(), kMessageTitle, MB_OK | MB_ICONEXCLAMATION);
    return false;
}

void CTVXHyperlink::MakeFont() noexcept {
    if (m_font) ::DeleteObject(m_font);
    m_font = nullptr;
    auto font = reinterpret_cast<HFONT>(::SendMessageW(m_hwnd, WM_GETFONT, 0, 0));
    if (!font) font = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
    LOGFONTW logFont = {};
    if (::GetObjectW(font, sizeof(logFont), &logFont) == sizeof(logFont)) {
        logFont.lfUnderline = TRUE;
        m_font = ::CreateFontIndirectW(&logFont);
    }
}

void CTVXHyperlink::MakeToolTip() noexcept {
    const HWND parent = ::GetParent(m_hwnd);
    m_toolTip = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, parent, nullptr,
                                  ::GetModuleHandleW(nullptr), nullptr);
    if (!m_toolTip) {
        Trace(L"ui: link without tool tip (%lu)", ::GetLastError());
        return;
    }
    // The tool is the whole control; its mouse messages are relayed from the
    // subclass (a second subclass by the tool tip is not needed).
    TOOLINFOW tool = {};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND;
    tool.hwnd = parent;
    tool.uId = reinterpret_cast<UINT_PTR>(m_hwnd);
    tool.lpszText = m_address.data();
    ::SendMessageW(m_toolTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void CTVXHyperlink::RelayToToolTip(UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    if (!m_toolTip) return;
    MSG msg = {};
    msg.hwnd = m_hwnd;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = static_cast<DWORD>(::GetMessageTime());
    const DWORD pos = ::GetMessagePos();
    msg.pt = {static_cast<short>(LOWORD(pos)), static_cast<short>(HIWORD(pos))};
    ::SendMessageW(m_toolTip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&msg));
}

void CTVXHyperlink::Paint(HDC dc) noexcept {
    RECT client;
    ::GetClientRect(m_hwnd, &client);
    // The parent's background first, so that the link looks transparent; the
    // answer may also set colours in the DC, which are set anew below.
    const HWND parent = ::GetParent(m_hwnd);
    auto brush = parent ? reinterpret_cast<HBRUSH>(::SendMessageW(parent, WM_CTLCOLORSTATIC,
                                                                   reinterpret_cast<WPARAM>(dc),
                                                                   reinterpret_cast<LPARAM>(m_hwnd)))
                        : nullptr;
    ::FillRect(dc, &client, brush ? brush : ::GetSysColorBrush(COLOR_3DFACE));

    const std::wstring text = WindowText(m_hwnd);
    const UINT format = TextFormat(::GetWindowLongPtrW(m_hwnd, GWL_STYLE));
    const HGDIOBJ oldFont =
        ::SelectObject(dc, m_font ? static_cast<HGDIOBJ>(m_font) : ::GetStockObject(DEFAULT_GUI_FONT));
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, ::IsWindowEnabled(m_hwnd) ? TextColor() : ::GetSysColor(COLOR_GRAYTEXT));
    RECT textRect = client;
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &textRect, format);

    const auto uiState = static_cast<UINT>(::SendMessageW(m_hwnd, WM_QUERYUISTATE, 0, 0));
    if (::GetFocus() == m_hwnd && !(uiState & UISF_HIDEFOCUS)) {
        // Around the text only, where it lies inside the control.
        RECT focus = client;
        ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &focus, format | DT_CALCRECT);
        const LONG width = focus.right - focus.left;
        const LONG height = focus.bottom - focus.top;
        if (format & DT_CENTER) focus.left = client.left + (client.right - client.left - width) / 2;
        if (format & DT_RIGHT) focus.left = client.right - width;
        if (format & DT_VCENTER) focus.top = client.top + (client.bottom - client.top - height) / 2;
        focus.right = focus.left + width;
        focus.bottom = focus.top + height;
        ::IntersectRect(&focus, &focus, &client);
        ::DrawFocusRect(dc, &focus);
    }
    ::SelectObject(dc, oldFont);
}

void CTVXHyperlink::Redraw() noexcept {
    if (!m_hwnd) return;
    // Through the parent, so that a parent with a picture behind its controls
    // paints it again beneath the text.
    const HWND parent = ::GetParent(m_hwnd);
    if (!parent) {
        ::InvalidateRect(m_hwnd, nullptr, TRUE);
        return;
    }
    RECT area;
    ::GetWindowRect(m_hwnd, &area);
    ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&area), 2);
    ::RedrawWindow(parent, &area, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

LRESULT CALLBACK CTVXHyperlink::SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                             DWORD_PTR refData) noexcept {
    auto* self = reinterpret_cast<CTVXHyperlink*>(refData);
    try {
        if (message == WM_NCDESTROY) {
            self->Release(true);
            return ::DefSubclassProc(hwnd, message, wParam, lParam);
        }
        return self->OnMessage(message, wParam, lParam);
    } catch (const std::exception& e) {
        Trace(L"ui: link message %u failed: %hs", message, e.what());
    } catch (...) {
        Trace(L"ui: link message %u failed", message);
    }
    return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

LRESULT CTVXHyperlink::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    const HWND hwnd = m_hwnd;
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint;
            const HDC dc = ::BeginPaint(hwnd, &paint);
            if (dc) Paint(dc);
            ::EndPaint(hwnd, &paint);
            return 0;
        }
        case WM_PRINTCLIENT:
            Paint(reinterpret_cast<HDC>(wParam));
            return 0;
        case WM_ERASEBKGND:
            return TRUE;  // WM_PAINT fills the whole control
        case WM_SETTEXT:
        case WM_ENABLE:
        case WM_SETFONT: {
            // The static may draw itself here in its own look: take over again.
            const LRESULT result = ::DefSubclassProc(hwnd, message, wParam, lParam);
            if (message == WM_SETFONT) MakeFont();
            Redraw();
            return result;
        }
        case WM_SETCURSOR:
            if (const HCURSOR hand = ::LoadCursorW(nullptr, IDC_HAND)) {
                ::SetCursor(hand);
                return TRUE;
            }
            break;  // no hand cursor: the standard one
        case WM_MOUSEMOVE:
            RelayToToolTip(message, wParam, lParam);
            if (!m_over) {
                m_over = true;
                TRACKMOUSEEVENT track = {};
                track.cbSize = sizeof(track);
                track.dwFlags = TME_LEAVE;
                track.hwndTrack = hwnd;
                ::TrackMouseEvent(&track);
                Redraw();
            }
            break;
        case WM_MOUSELEAVE:
            m_over = false;
            m_pressed = false;
            Redraw();
            return 0;
        case WM_LBUTTONDOWN:
            RelayToToolTip(message, wParam, lParam);
            m_pressed = true;
            break;  // the static tells its parent STN_CLICKED as usual
        case WM_LBUTTONUP:
            RelayToToolTip(message, wParam, lParam);
            if (m_pressed) {
                m_pressed = false;
                Follow();
            }
            return 0;
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
        case WM_MBUTTONDOWN:
        case WM_MBUTTONUP:
            RelayToToolTip(message, wParam, lParam);
            break;
        case WM_GETDLGCODE: {
            // Not DLGC_STATIC, so that Tab can reach a link that is a tab stop;
            // Enter is the link's, not the default button's.
            const auto* msg = reinterpret_cast<const MSG*>(lParam);
            if (msg && msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN) return DLGC_WANTMESSAGE;
            return 0;
        }
        case WM_KEYDOWN:
            if (wParam == VK_SPACE || wParam == VK_RETURN) {
                Follow();
                return 0;
            }
            break;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            Redraw();
            break;
        default:
            break;
    }
    return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

}  // namespace tvx::ui
