#include "ui/BaseDlg.h"

#include <mutex>
#include <string>

#include "framework/ResourceString.h"
#include "res/resource.h"

namespace tvx::ui {
namespace {

// The headline font lives for the whole process once made.
std::once_flag g_headlineOnce;
HFONT g_headlineFont = nullptr;


}  // namespace

CTVXBaseDlg::CTVXBaseDlg(UINT templateId, HWND parent) noexcept
    : CTVXDialog(templateId, parent),
      m_background(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_BACKGROUND), IMAGE_BITMAP, 0, 0,
                                LR_CREATEDIBSECTION)) {}

HFONT CTVXBaseDlg::HeadlineFont() noexcept { return g_headlineFont; }

BOOL CTVXBaseDlg::OnInitDialog() {
    const HWND hwnd = GetSafeHwnd();
    ::SetWindowLongPtrW(hwnd, GWL_STYLE, ::GetWindowLongPtrW(hwnd, GWL_STYLE) | WS_SYSMENU);
    // Restore, Move and Size make no sense for a fixed, captionless dialog.
    if (const HMENU menu = ::GetSystemMenu(hwnd, FALSE); menu && ::GetMenuItemCount(menu) >= 3) {
        for (int i = 0; i < 3; ++i) ::DeleteMenu(menu, 0, MF_BYPOSITION);
    }

    RECT client = {};
    ::GetClientRect(hwnd, &client);
    const int edgeX = ::GetSystemMetrics(SM_CXEDGE), edgeY = ::GetSystemMetrics(SM_CYEDGE);
    m_band = RECT{edgeX - 1, edgeY - 1, client.right - (edgeX - 1), kBandHeight - edgeY};
    // The title is drawn on the band, which is a picture of fixed pixel size,
    // so its font has a fixed pixel height too.
    m_titleFont.Attach(::CreateFontW(-20, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                     CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH, L"Segoe UI"));

    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    const HANDLE large = ::LoadImageW(instance, MAKEINTRESOURCEW(IDI_MAINFRAME), IMAGE_ICON,
                                      ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON), LR_SHARED);
    const HANDLE small = ::LoadImageW(instance, MAKEINTRESOURCEW(IDI_MAINFRAME), IMAGE_ICON,
                                      ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), LR_SHARED);
    ::SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(large));
    ::SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    ::SetWindowTextW(hwnd, LoadResourceString(IDS_APP_TITLE).c_str());

    // The headline keeps the dialog font's face (it is bold and a little
    // larger); its height follows the dialog's scale, so that it stays in
    // proportion with the other texts at any DPI.
    std::call_once(g_headlineOnce, [hwnd] {
        LOGFONTW font = {};
        const HFONT dialogFont = reinterpret_cast<HFONT>(::SendMessageW(hwnd, WM_GETFONT, 0, 0));
        if (!dialogFont || !::GetObjectW(dialogFont, sizeof(font), &font)) return;
        const UINT dpi = ::GetDpiForWindow(hwnd);
        font.lfHeight = -::MulDiv(16, dpi ? static_cast<int>(dpi) : 96, 96);
        font.lfWeight = FW_BOLD;
        g_headlineFont = ::CreateFontIndirectW(&font);
    });
    if (const HWND headline = Item(IDC_HEADLINE); headline && g_headlineFont)
        ::SendMessageW(headline, WM_SETFONT, reinterpret_cast<WPARAM>(g_headlineFont), FALSE);

    ::BringWindowToTop(hwnd);
    ::SetForegroundWindow(hwnd);

    m_closeButton = ::CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, client.right - 19,
                                      client.top + 3, 16, 16, hwnd, reinterpret_cast<HMENU>(IDC_CLOSE_BOX), instance,
                                      nullptr);
    return TRUE;
}

void CTVXBaseDlg::PaintBackground(HDC dc) const {
    RECT client = {};
    ::GetClientRect(GetSafeHwnd(), &client);
    ::FillRect(dc, &client, ::GetSysColorBrush(COLOR_3DFACE));
    if (m_background) {
        BITMAP info = {};
        ::GetObjectW(m_background.Get(), sizeof(info), &info);
        const HDC memory = ::CreateCompatibleDC(dc);
        const HGDIOBJ old = ::SelectObject(memory, m_background.Get());
        ::BitBlt(dc, 0, 0, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
        ::SelectObject(memory, old);
        ::DeleteDC(memory);
    } else {
        RECT band = {0, 0, client.right, kBandHeight};
        const UniqueGdiObject brush(::CreateSolidBrush(RGB(31, 58, 104)));
        ::FillRect(dc, &band, static_cast<HBRUSH>(brush.Get()));
    }
    // The title sits on the band after the small logo of the picture.
    RECT title = {42, 0, client.right - 24, kBandHeight - 2};
    const HGDIOBJ oldFont = ::SelectObject(dc, m_titleFont ? m_titleFont.Get() : ::GetStockObject(DEFAULT_GUI_FONT));
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, RGB(255, 255, 255));
    wchar_t text[128] = {};
    ::GetWindowTextW(GetSafeHwnd(), text, 128);
    ::DrawTextW(dc, text, -1, &title, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    ::SelectObject(dc, oldFont);
}

void CTVXBaseDlg::DrawCloseButton(const DRAWITEMSTRUCT& item) const {
    const HDC dc = item.hDC;
    RECT frame = item.rcItem;
    const bool pushed = (item.itemState & ODS_SELECTED) != 0;
    ::DrawFrameControl(dc, &frame, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0));
    const int l = item.rcItem.left + (pushed ? 1 : 0), t = item.rcItem.top + (pushed ? 1 : 0);
    const int r = item.rcItem.right + (pushed ? 1 : 0), b = item.rcItem.bottom + (pushed ? 1 : 0);
    const COLORREF colour = ::GetSysColor((item.itemState & ODS_DISABLED) ? COLOR_GRAYTEXT : COLOR_BTNTEXT);
    const UniqueGdiObject pen(::CreatePen(PS_SOLID, 1, colour));
    const HGDIOBJ old = ::SelectObject(dc, pen.Get());
    // Four one-pixel lines make a cross two pixels thick.
    const POINT lines[4][2] = {{{l + 4, t + 4}, {r - 5, b - 5}},
                               {{r - 6, t + 4}, {l + 3, b - 5}},
                               {{l + 5, t + 4}, {r - 4, b - 5}},
                               {{r - 5, t + 4}, {l + 4, b - 5}}};
    for (const auto& line : lines) {
        ::MoveToEx(dc, line[0].x, line[0].y, nullptr);
        ::LineTo(dc, line[1].x, line[1].y);
    }
    ::SelectObject(dc, old);
}

INT_PTR CTVXBaseDlg::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND:
            PaintBackground(reinterpret_cast<HDC>(wParam));
            SetResult(TRUE);
            return TRUE;
        case WM_NCHITTEST: {
            const LRESULT hit = ::DefWindowProcW(GetSafeHwnd(), message, wParam, lParam);
            POINT point = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            ::ScreenToClient(GetSafeHwnd(), &point);
            if (hit == HTCLIENT && ::PtInRect(&m_band, point)) {
                SetResult(HTCAPTION);
                return TRUE;
            }
            return FALSE;
        }
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (item->CtlID == IDC_CLOSE_BOX) {
                DrawCloseButton(*item);
            } else {
                ::SendMessageW(item->hwndItem, kReflectBase + WM_DRAWITEM, wParam, lParam);
            }
            return TRUE;
        }
        case WM_MEASUREITEM: {
            auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
            if (const HWND control = Item(static_cast<int>(item->CtlID)))
                ::SendMessageW(control, kReflectBase + WM_MEASUREITEM, wParam, lParam);
            return TRUE;
        }
        case WM_CLOSE:
            OnCancel();
            return TRUE;
        case WM_COMMAND:
            // A double click on the close button counts as one press.
            if (LOWORD(wParam) == IDC_CLOSE_BOX) {
                if (HIWORD(wParam) == BN_CLICKED || HIWORD(wParam) == BN_DOUBLECLICKED) OnCloseButton();
                return TRUE;
            }
            break;
        default:
            break;
    }
    return CTVXDialog::DialogProc(message, wParam, lParam);
}

}  // namespace tvx::ui
