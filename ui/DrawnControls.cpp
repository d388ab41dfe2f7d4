#include "ui/DrawnControls.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>

#include "ui/BaseDlg.h"

namespace tvx::ui {

std::wstring ShortenPath(const std::wstring& path, size_t maxChars, bool keepFileName) {
    if (path.size() <= maxChars) return path;
    const size_t lastSeparator = path.find_last_of(L"\\/:");
    const size_t nameStart = lastSeparator == std::wstring::npos ? 0 : lastSeparator + 1;
    const std::wstring fileName = path.substr(nameStart);
    if (maxChars < fileName.size()) return keepFileName ? fileName : std::wstring();

    // The root: \\server for a network path, X: for a drive, else nothing;
    // with more than three characters before the file name, also the first
    // folder after it.
    size_t rootEnd = 0;
    if (path.size() > 2 && path[0] == L'\\' && path[1] == L'\\') {
        rootEnd = path.find(L'\\', 2);
        if (rootEnd == std::wstring::npos) rootEnd = path.size();
    } else if (path.size() >= 2 && path[1] == L':') {
        rootEnd = 2;
    }
    if (nameStart > 3 && rootEnd < nameStart) {
        const size_t next = path.find_first_of(L"\\/", rootEnd + 1);
        if (next != std::wstring::npos && next < nameStart) rootEnd = next;
    }
    const std::wstring root = path.substr(0, rootEnd);
    if (maxChars < root.size() + fileName.size() + 5) return fileName;

    // Drop whole folders after the root until root + "\..." + rest fits.
    std::wstring rest = path.substr(rootEnd);
    while (root.size() + 4 + rest.size() > maxChars) {
        const size_t next = rest.find_first_of(L"\\/", 1);
        if (next == std::wstring::npos) break;
        rest.erase(0, next);
    }
    return root + L"\\..." + rest;
}

POINT PieEdgePoint(const RECT& bounds, unsigned percent) noexcept {
    const double angle = std::min(percent, 100u) * 0.06283;
    const int width = bounds.right - bounds.left, height = bounds.bottom - bounds.top;
    const int centreX = bounds.left + width / 2, centreY = bounds.top + height / 2;
    return POINT{static_cast<LONG>(centreX + (width / 2.0) * std::sin(angle)),
                 static_cast<LONG>(centreY - (height / 2.0) * std::cos(angle))};
}

// ------------------------------------------------------------- subclassing

CTVXSubclassedControl::~CTVXSubclassedControl() { Detach(); }

bool CTVXSubclassedControl::Attach(HWND control) noexcept {
    Detach();
    if (!control || !::SetWindowSubclass(control, &Proc, 1, reinterpret_cast<DWORD_PTR>(this))) return false;
    m_hwnd = control;
    try {
        OnAttached();
    } catch (...) {
    }
    return true;
}

void CTVXSubclassedControl::Detach() noexcept {
    if (m_hwnd) ::RemoveWindowSubclass(m_hwnd, &Proc, 1);
    m_hwnd = nullptr;
}

LRESULT CALLBACK CTVXSubclassedControl::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                              DWORD_PTR data) noexcept {
    auto* self = reinterpret_cast<CTVXSubclassedControl*>(data);
    if (message == WM_NCDESTROY) {
        // The control goes before its owner object: forget it.
        self->Detach();
        return ::DefSubclassProc(hwnd, message, wParam, lParam);
    }
    LRESULT result = 0;
    try {
        if (self->HandleMessage(message, wParam, lParam, result)) return result;
    } catch (...) {
        // Drawing failed: the control keeps its standard behaviour.
    }
    return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

// ---------------------------------------------------------- etched line

bool CTVXEtchedLine::HandleMessage(UINT message, WPARAM, LPARAM, LRESULT& result) {
    if (message != WM_PAINT) return false;
    PAINTSTRUCT paint;
    const HDC dc = ::BeginPaint(GetSafeHwnd(), &paint);
    RECT rect = {};
    ::GetClientRect(GetSafeHwnd(), &rect);
    const bool upright = rect.bottom - rect.top > rect.right - rect.left;
    ::DrawEdge(dc, &rect, EDGE_ETCHED, upright ? BF_LEFT : BF_TOP);
    ::EndPaint(GetSafeHwnd(), &paint);
    result = 0;
    return true;
}

// ------------------------------------------------------------- pie chart

void CTVXPieChart::SetPercent(unsigned percent) noexcept {
    m_percent = std::min(percent, 100u);
    const HWND hwnd = GetSafeHwnd();
    if (!hwnd) return;
    // The pie is round: the corners show the parent, which must repaint too.
    RECT rect = {};
    ::GetWindowRect(hwnd, &rect);
    const HWND parent = ::GetParent(hwnd);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    ::InvalidateRect(parent, &rect, TRUE);
    ::InvalidateRect(hwnd, nullptr, TRUE);
}

bool CTVXPieChart::HandleMessage(UINT message, WPARAM, LPARAM, LRESULT& result) {
    if (message != WM_PAINT) return false;
    PAINTSTRUCT paint;
    const HDC dc = ::BeginPaint(GetSafeHwnd(), &paint);
    RECT rect = {};
    ::GetClientRect(GetSafeHwnd(), &rect);
    const UniqueGdiObject filled(::CreateSolidBrush(kFilledColour));
    const UniqueGdiObject rest(::CreateSolidBrush(kRestColour));
    const HGDIOBJ oldPen = ::SelectObject(dc, ::GetStockObject(NULL_PEN));
    // Ellipse leaves out the right and bottom edge: one pixel more fills the control.
    if (m_percent >= 100) {
        const HGDIOBJ old = ::SelectObject(dc, filled.Get());
        ::Ellipse(dc, rect.left, rect.top, rect.right + 1, rect.bottom + 1);
        ::SelectObject(dc, old);
    } else {
        HGDIOBJ old = ::SelectObject(dc, rest.Get());
        ::Ellipse(dc, rect.left, rect.top, rect.right + 1, rect.bottom + 1);
        const POINT edge = PieEdgePoint(rect, m_percent);
        const POINT top = {rect.left + (rect.right - rect.left) / 2, rect.top};
        if (edge.x != top.x || edge.y != top.y) {
            ::SelectObject(dc, filled.Get());
            // Pie runs counter-clockwise from its first radial to its second.
            ::Pie(dc, rect.left, rect.top, rect.right + 1, rect.bottom + 1, edge.x, edge.y, top.x, top.y);
        }
        ::SelectObject(dc, old);
    }
    ::SelectObject(dc, oldPen);
    ::EndPaint(GetSafeHwnd(), &paint);
    result = 0;
    return true;
}

// -------------------------------------------------------- drive list box

void CTVXDriveListBox::OnAttached() {
    // Rows hold a 32-pixel icon with a little room, in the control's scale.
    const UINT dpi = ::GetDpiForWindow(GetSafeHwnd());
    const int height = ::MulDiv(36, dpi ? static_cast<int>(dpi) : 96, 96);
    ::SendMessageW(GetSafeHwnd(), LB_SETITEMHEIGHT, 0, height);
}

void CTVXDriveListBox::SetDrives(std::vector<Drive> drives) {
    m_drives = std::move(drives);
    const HWND hwnd = GetSafeHwnd();
    if (!hwnd) return;
    ::SendMessageW(hwnd, LB_RESETCONTENT, 0, 0);
    for (size_t i = 0; i < m_drives.size(); ++i) {
        const auto index = ::SendMessageW(hwnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(m_drives[i].label.c_str()));
        ::SendMessageW(hwnd, LB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(i));
    }
}

wchar_t CTVXDriveListBox::SelectedLetter() const noexcept {
    const HWND hwnd = GetSafeHwnd();
    if (!hwnd) return 0;
    const LRESULT index = ::SendMessageW(hwnd, LB_GETCURSEL, 0, 0);
    if (index == LB_ERR) return 0;
    const auto slot = static_cast<size_t>(::SendMessageW(hwnd, LB_GETITEMDATA, static_cast<WPARAM>(index), 0));
    return slot < m_drives.size() ? m_drives[slot].letter : 0;
}

void CTVXDriveListBox::DrawRow(const DRAWITEMSTRUCT& item) const {
    if (item.itemID == static_cast<UINT>(-1)) return;
    const auto slot = static_cast<size_t>(item.itemData);
    if (slot >= m_drives.size()) return;
    const Drive& drive = m_drives[slot];
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    RECT row = item.rcItem;
    ::FillRect(item.hDC, &row, ::GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    const int iconTop = row.top + (row.bottom - row.top - 32) / 2;
    if (drive.icon) ::DrawIconEx(item.hDC, row.left + 2, iconTop, drive.icon.Get(), 32, 32, 0, nullptr, DI_NORMAL);
    RECT text = row;
    text.left += 40;
    ::SetBkMode(item.hDC, TRANSPARENT);
    ::SetTextColor(item.hDC, ::GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    ::DrawTextW(item.hDC, drive.label.c_str(), -1, &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    if (item.itemState & ODS_FOCUS) ::DrawFocusRect(item.hDC, &row);
}

bool CTVXDriveListBox::HandleMessage(UINT message, WPARAM, LPARAM lParam, LRESULT& result) {
    if (message != kReflectBase + WM_DRAWITEM) return false;
    DrawRow(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
    result = TRUE;
    return true;
}

}  // namespace tvx::ui
