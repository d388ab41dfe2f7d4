#include "framework/Window.h"

#include <exception>

#include "framework/Trace.h"

namespace tvx {

CTVXWnd::~CTVXWnd() {
    if (m_hwnd) {
        // The object goes away first: detach it so that the messages sent
        // during destruction do not reach a half-destroyed object.
        ::SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
        ::DestroyWindow(m_hwnd);
        m_hwnd = nullptr;
    }
}

bool CTVXWnd::RegisterWindowClass(HINSTANCE instance, const wchar_t* className, UINT classStyle, HICON icon,
                                  HCURSOR cursor, HBRUSH background) noexcept {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = classStyle;
    wc.lpfnWndProc = &CTVXWnd::StaticWindowProc;
    wc.hInstance = instance;
    wc.hIcon = icon;
    wc.hCursor = cursor;
    wc.hbrBackground = background;
    wc.lpszClassName = className;
    if (::RegisterClassExW(&wc)) return true;
    return ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool CTVXWnd::CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style, int x, int y,
                       int width, int height, HWND parent, HMENU menuOrId, HINSTANCE instance) noexcept {
    const HWND hwnd =
        ::CreateWindowExW(exStyle, className, title, style, x, y, width, height, parent, menuOrId, instance, this);
    return hwnd != nullptr;  // m_hwnd was set at WM_NCCREATE
}

BOOL CTVXWnd::DestroyWindow() noexcept { return m_hwnd ? ::DestroyWindow(m_hwnd) : FALSE; }

LRESULT CTVXWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) { return Default(message, wParam, lParam); }

LRESULT CTVXWnd::Default(UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    return ::DefWindowProcW(m_hwnd, message, wParam, lParam);
}

LRESULT CALLBACK CTVXWnd::StaticWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    CTVXWnd* self = nullptr;
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        self = static_cast<CTVXWnd*>(create->lpCreateParams);
        if (self) {
            self->m_hwnd = hwnd;
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
    } else {
        self = reinterpret_cast<CTVXWnd*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (!self) return ::DefWindowProcW(hwnd, message, wParam, lParam);

    LRESULT result = 0;
    try {
        result = self->WindowProc(message, wParam, lParam);
    } catch (const std::exception& e) {
        Trace(L"exception in window procedure, message 0x%04X: %hs", message, e.what());
        result = ::DefWindowProcW(hwnd, message, wParam, lParam);
    } catch (...) {
        Trace(L"unknown exception in window procedure, message 0x%04X", message);
        result = ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->m_hwnd = nullptr;
        self->PostNcDestroy();
    }
    return result;
}

}  // namespace tvx
