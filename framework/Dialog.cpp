#include "framework/Dialog.h"

#include <exception>

#include "framework/Trace.h"

namespace tvx {

INT_PTR CTVXDialog::DoModal() noexcept {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    const INT_PTR result = ::DialogBoxParamW(instance, MAKEINTRESOURCEW(m_templateId), m_parent, &StaticDialogProc,
                                             reinterpret_cast<LPARAM>(this));
    if (result == -1) Trace(L"dialog %u: not shown (%lu)", m_templateId, ::GetLastError());
    m_hwnd = nullptr;
    return result;
}

void CTVXControlHost::SetItemText(int id, const std::wstring& text) const noexcept {
    ::SetDlgItemTextW(m_hwnd, id, text.c_str());
}

std::wstring CTVXControlHost::ItemText(int id) const {
    const HWND control = Item(id);
    if (!control) return {};
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

bool CTVXControlHost::IsChecked(int id) const noexcept { return ::IsDlgButtonChecked(m_hwnd, id) == BST_CHECKED; }

void CTVXControlHost::SetCheck(int id, bool checked) const noexcept {
    ::CheckDlgButton(m_hwnd, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

void CTVXControlHost::EnableItem(int id, bool enable) const noexcept {
    if (const HWND control = Item(id)) ::EnableWindow(control, enable ? TRUE : FALSE);
}

void CTVXControlHost::SetItemTextIfChanged(int id, const std::wstring& text) const {
    if (ItemText(id) != text) SetItemText(id, text);
}

void CTVXControlHost::ShowItem(int id, bool show) const noexcept {
    if (const HWND control = Item(id)) ::ShowWindow(control, show ? SW_SHOW : SW_HIDE);
}

void CTVXDialog::EndDialog(INT_PTR result) noexcept {
    if (m_hwnd) ::EndDialog(m_hwnd, result);
}

INT_PTR CTVXDialog::DialogProc(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog();
        case WM_COMMAND: {
            const UINT id = LOWORD(wParam);
            const UINT code = HIWORD(wParam);
            if (id == IDOK && code == BN_CLICKED) {
                OnOK();
                return TRUE;
            }
            if (id == IDCANCEL && code == BN_CLICKED) {
                OnCancel();
                return TRUE;
            }
            return OnCommand(id, code, nullptr) ? TRUE : FALSE;
        }
        default:
            return FALSE;
    }
}

INT_PTR CALLBACK CTVXDialog::StaticDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    CTVXDialog* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<CTVXDialog*>(lParam);
        self->m_hwnd = hwnd;
        ::SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<CTVXDialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    if (!self) return FALSE;
    try {
        return self->DialogProc(message, wParam, lParam);
    } catch (const std::exception& e) {
        Trace(L"dialog %u: message %u failed: %hs", self->m_templateId, message, e.what());
    } catch (...) {
        Trace(L"dialog %u: message %u failed", self->m_templateId, message);
    }
    return FALSE;
}

}  // namespace tvx
