// Base class of the program's own windows. The window procedure finds its C++
// object through GWLP_USERDATA, stored at WM_NCCREATE from the creation
// parameter. The procedure is noexcept: an exception that reaches it is
// traced and the message gets default handling, because an exception must
// never unwind through the system's message dispatch.
#pragma once

#include <windows.h>

namespace tvx {

class CTVXWnd {
public:
    CTVXWnd() = default;
    virtual ~CTVXWnd();

    CTVXWnd(const CTVXWnd&) = delete;
    CTVXWnd& operator=(const CTVXWnd&) = delete;

    HWND GetSafeHwnd() const noexcept { return m_hwnd; }

    // Registers a window class whose procedure dispatches to CTVXWnd objects.
    // Registering a class that already exists counts as success.
    static bool RegisterWindowClass(HINSTANCE instance, const wchar_t* className, UINT classStyle,
                                    HICON icon, HCURSOR cursor, HBRUSH background) noexcept;

    // Creates the platform window of this object (a class registered with
    // RegisterWindowClass). Returns false when CreateWindowExW failed.
    bool CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style, int x, int y,
                  int width, int height, HWND parent, HMENU menuOrId, HINSTANCE instance) noexcept;

    BOOL DestroyWindow() noexcept;

protected:
    // Handles one message; the default passes it to DefWindowProcW.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    // Called after WM_NCDESTROY, when the window handle is no longer valid.
    virtual void PostNcDestroy() noexcept {}

private:
    static LRESULT CALLBACK StaticWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

    HWND m_hwnd = nullptr;
};

}  // namespace tvx
