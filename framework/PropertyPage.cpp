#include "framework/PropertyPage.h"

#include <exception>

#include "framework/Trace.h"

namespace tvx {
namespace {

// The extended template's header, as far as its style.
struct DialogTemplateExHead {
    WORD version;
    WORD signature;
    DWORD helpId;
    DWORD exStyle;
    DWORD style;
};

constexpr DWORD kChildStyle = WS_CHILD | WS_TABSTOP | DS_CONTROL | DS_3DLOOK | DS_SETFONT;
constexpr DWORD kTopLevelStyles = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_VISIBLE | WS_THICKFRAME;

// Before the sheet is made from its template: a child control, not a window
// of its own.
int CALLBACK SheetCallback(HWND, UINT message, LPARAM lParam) noexcept {
    if (message != PSCB_PRECREATE || !lParam) return 0;
    auto* head = reinterpret_cast<DialogTemplateExHead*>(lParam);
    if (head->signature == 0xFFFF) {
        head->style = (head->style & ~kTopLevelStyles) | kChildStyle;
        head->exStyle |= WS_EX_CONTROLPARENT;
    } else {
        auto* plain = reinterpret_cast<DLGTEMPLATE*>(lParam);
        plain->style = (plain->style & ~kTopLevelStyles) | kChildStyle;
        plain->dwExtendedStyle |= WS_EX_CONTROLPARENT;
    }
    return 0;
}

}  // namespace

PROPSHEETPAGEW CTVXPropertyPage::Describe() noexcept {
    PROPSHEETPAGEW page = {};
    page.dwSize = sizeof(page);
    page.hInstance = ::GetModuleHandleW(nullptr);
    page.pszTemplate = MAKEINTRESOURCEW(m_templateId);
    page.pfnDlgProc = &StaticPageProc;
    page.lParam = reinterpret_cast<LPARAM>(this);
    return page;
}

HWND CTVXPropertyPage::CreateChild(HWND parent) noexcept {
    // The page procedure finds its object as a sheet hands it over.
    PROPSHEETPAGEW page = Describe();
    const HWND hwnd = ::CreateDialogParamW(page.hInstance, page.pszTemplate, parent, &StaticPageProc,
                                           reinterpret_cast<LPARAM>(&page));
    if (!hwnd) Trace(L"page %u: not made (%lu)", m_templateId, ::GetLastError());
    return hwnd;
}

INT_PTR CTVXPropertyPage::PageProc(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: return OnInitDialog();
        case WM_COMMAND: return OnCommand(LOWORD(wParam), HIWORD(wParam), nullptr) ? TRUE : FALSE;
        default: return FALSE;
    }
}

INT_PTR CALLBACK CTVXPropertyPage::StaticPageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    CTVXPropertyPage* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<CTVXPropertyPage*>(reinterpret_cast<const PROPSHEETPAGEW*>(lParam)->lParam);
        self->m_hwnd = hwnd;
        ::SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<CTVXPropertyPage*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    if (!self) return FALSE;
    try {
        return self->PageProc(message, wParam, lParam);
    } catch (const std::exception& e) {
        Trace(L"page %u: message %u failed: %hs", self->m_templateId, message, e.what());
    } catch (...) {
        Trace(L"page %u: message %u failed", self->m_templateId, message);
    }
    return FALSE;
}

HWND CreateChildPropertySheet(HWND parent, const std::vector<CTVXPropertyPage*>& pages, POINT where, int controlId) {
    std::vector<PROPSHEETPAGEW> described;
    for (CTVXPropertyPage* page : pages) described.push_back(page->Describe());
    PROPSHEETHEADERW header = {};
    header.dwSize = sizeof(header);
    header.dwFlags = PSH_PROPSHEETPAGE | PSH_MODELESS | PSH_NOAPPLYNOW | PSH_USECALLBACK | PSH_NOCONTEXTHELP;
    header.hwndParent = parent;
    header.hInstance = ::GetModuleHandleW(nullptr);
    header.nPages = static_cast<UINT>(described.size());
    header.ppsp = described.data();
    header.pfnCallback = &SheetCallback;
    const HWND sheet = reinterpret_cast<HWND>(::PropertySheetW(&header));
    if (!sheet || sheet == reinterpret_cast<HWND>(-1)) {
        Trace(L"property sheet: not made (%lu)", ::GetLastError());
        return nullptr;
    }
    ::SetWindowLongPtrW(sheet, GWLP_ID, controlId);
    // The sheet's own buttons: the parent has its own.
    for (const int button : {IDOK, IDCANCEL, IDHELP, 0x3021 /* apply */})
        if (const HWND control = ::GetDlgItem(sheet, button)) ::ShowWindow(control, SW_HIDE);
    for (int i = static_cast<int>(pages.size()) - 1; i >= 0; --i)
        ::SendMessageW(sheet, PSM_SETCURSEL, static_cast<WPARAM>(i), 0);
    ::SetWindowPos(sheet, HWND_TOP, where.x, where.y, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    return sheet;
}

}  // namespace tvx
