#include "ui/Splash.h"

#include <vector>

#include "framework/ResourceString.h"
#include "framework/TimeSeam.h"
#include "framework/Trace.h"
#include "res/resource.h"

namespace tvx::ui {
namespace {

constexpr wchar_t kSplashClass[] = L"TavrixDovetrak3Splash";

// The screen's colour depth, measured once.
int ScreenBitsPerPixel() {
    static const int bits = [] {
        const HDC screen = ::GetDC(nullptr);
        const int value = ::GetDeviceCaps(screen, BITSPIXEL) * ::GetDeviceCaps(screen, PLANES);
        ::ReleaseDC(nullptr, screen);
        return value;
    }();
    return bits;
}

// The version's face: the first of these the system really has.
std::wstring VersionFace() {
    const HDC screen = ::GetDC(nullptr);
    std::wstring chosen;
    for (const wchar_t* face : {L"System", L"Arial", L"Ms Sans Serif"}) {
        LOGFONTW wanted = {};
        wanted.lfCharSet = DEFAULT_CHARSET;
        ::lstrcpynW(wanted.lfFaceName, face, LF_FACESIZE);
        bool found = false;
        ::EnumFontFamiliesExW(
            screen, &wanted,
            [](const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM data) -> int {
                *reinterpret_cast<bool*>(data) = true;
                return 0;
            },
            reinterpret_cast<LPARAM>(&found), 0);
        if (found) {
            chosen = face;
            break;
        }
    }
    ::ReleaseDC(nullptr, screen);
    return chosen;
}

// The region of the picture's pixels that are not the key colour, row by
// row, so the window has the picture's shape wherever it runs.
HRGN ShapeOf(HBITMAP picture, SIZE size) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = size.cx;
    info.bmiHeader.biHeight = -size.cy;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<DWORD> pixels(static_cast<size_t>(size.cx) * static_cast<size_t>(size.cy));
    const HDC screen = ::GetDC(nullptr);
    const int rows = ::GetDIBits(screen, picture, 0, static_cast<UINT>(size.cy), pixels.data(), &info, DIB_RGB_COLORS);
    ::ReleaseDC(nullptr, screen);
    if (rows != size.cy) return nullptr;
    constexpr DWORD kKey = 0x00FF00FF;  // magenta as the DIB stores it (BGRX)
    HRGN shape = ::CreateRectRgn(0, 0, 0, 0);
    for (LONG y = 0; y < size.cy; ++y) {
        const DWORD* row = pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(size.cx);
        LONG x = 0;
        while (x < size.cx) {
            while (x < size.cx && (row[x] & 0x00FFFFFF) == kKey) ++x;
            const LONG start = x;
            while (x < size.cx && (row[x] & 0x00FFFFFF) != kKey) ++x;
            if (x > start) {
                const HRGN run = ::CreateRectRgn(start, y, x, y + 1);
                ::CombineRgn(shape, shape, run, RGN_OR);
                ::DeleteObject(run);
            }
        }
    }
    return shape;
}

bool JapaneseLayout() {
    wchar_t value[16] = {};
    DWORD bytes = sizeof(value);
    return ::RegGetValueW(HKEY_LOCAL_MACHINE, L"Software\\Tavrix Corporation\\extensions", L"language",
                          RRF_RT_REG_SZ, nullptr, value, &bytes) == ERROR_SUCCESS &&
           ::lstrcmpiW(value, L"jpn") == 0;
}

}  // namespace

std::wstring SplashResourceName(const std::wstring& baseName, int bitsPerPixel) {
    if (bitsPerPixel >= 16) return baseName + L"24";
    if (bitsPerPixel >= 8) return baseName + L"8";
    return baseName + L"4";
}

bool CTVXSplashWnd::Open(const std::wstring& baseName, HWND owner) {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    const std::wstring name = SplashResourceName(baseName, ScreenBitsPerPixel());
    m_picture.Attach(::LoadImageW(instance, name.c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!m_picture) {
        Trace(L"splash: no picture %ls", name.c_str());
        return false;
    }
    BITMAP info = {};
    ::GetObjectW(m_picture.Get(), sizeof(info), &info);
    m_size = SIZE{info.bmWidth, info.bmHeight};
    m_japaneseLayout = m_about && JapaneseLayout();

    if (!RegisterWindowClass(instance, kSplashClass, 0, nullptr, ::LoadCursorW(nullptr, IDC_ARROW), nullptr))
        return false;
    RECT work = {};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int x = work.left + (work.right - work.left - m_size.cx) / 2;
    const int y = work.top + (work.bottom - work.top - m_size.cy) / 2;
    // Sized while hidden, then shaped, shown and painted at once.
    if (!CreateEx(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kSplashClass, LoadResourceString(IDS_APP_TITLE).c_str(), WS_POPUP,
                  x, y, m_size.cx, m_size.cy, owner, nullptr, instance))
        return false;
    if (const HRGN shape = ShapeOf(static_cast<HBITMAP>(m_picture.Get()), m_size))
        ::SetWindowRgn(GetSafeHwnd(), shape, FALSE);  // the window owns the region now
    ::ShowWindow(GetSafeHwnd(), SW_SHOW);
    ::UpdateWindow(GetSafeHwnd());
    return true;
}

void CTVXSplashWnd::ShowFor(const std::wstring& baseName, DWORD milliseconds) {
    m_about = false;
    if (!Open(baseName, nullptr)) return;
    Trace(L"splash: shown for %lu ms", milliseconds);
    const DWORD end = ::GetTickCount() + timeseam::Scale(milliseconds);
    MSG message;
    for (;;) {
        const LONG left = static_cast<LONG>(end - ::GetTickCount());
        if (left <= 0) break;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left), QS_ALLINPUT);
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                ::PostQuitMessage(static_cast<int>(message.wParam));
                DestroyWindow();
                return;
            }
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    DestroyWindow();
}

void CTVXSplashWnd::RunAbout(HWND owner) {
    m_about = true;
    m_done = false;
    const bool ownerWasEnabled = owner && ::IsWindowEnabled(owner);
    if (!Open(L"IDB_SPLASH", owner)) return;
    if (ownerWasEnabled) ::EnableWindow(owner, FALSE);
    ::SetForegroundWindow(GetSafeHwnd());
    ::SetFocus(GetSafeHwnd());
    Trace(L"about: shown");
    MSG message;
    while (!m_done) {
        const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            ::PostQuitMessage(static_cast<int>(message.wParam));  // the program ends: let its loop see it
            break;
        }
        if (got == -1) break;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    if (ownerWasEnabled) ::EnableWindow(owner, TRUE);
    DestroyWindow();
    Trace(L"about: closed");
}

void CTVXSplashWnd::Paint(HDC dc) const {
    const HDC memory = ::CreateCompatibleDC(dc);
    const HGDIOBJ old = ::SelectObject(memory, m_picture.Get());
    ::BitBlt(dc, 0, 0, m_size.cx, m_size.cy, memory, 0, 0, SRCCOPY);
    ::SelectObject(memory, old);
    ::DeleteDC(memory);
    if (!m_about) return;

    const UniqueGdiObject font(::CreateFontW(-12, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH,
                                             VersionFace().c_str()));
    const HGDIOBJ oldFont = ::SelectObject(dc, font.Get());
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, RGB(40, 48, 64));
    // The picture keeps its lower right corner plain for the version.
    RECT version = {m_size.cx - 196, m_size.cy - 44, m_size.cx - 16, m_size.cy - 4};
    const std::wstring text = LoadResourceString(IDS_VERSION);
    ::DrawTextW(dc, text.c_str(), -1, &version, DT_RIGHT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    if (m_japaneseLayout) {
        RECT name = {16, m_size.cy - 44, m_size.cx - 200, m_size.cy - 4};
        const std::wstring product = LoadResourceString(IDS_APP_TITLE);
        ::DrawTextW(dc, product.c_str(), -1, &name, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    ::SelectObject(dc, oldFont);
}

LRESULT CTVXSplashWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            const HDC dc = ::BeginPaint(GetSafeHwnd(), &paint);
            Paint(dc);
            ::EndPaint(GetSafeHwnd(), &paint);
            return 0;
        }
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
            if (m_about) {
                ::Sleep(100);
                m_done = true;
            }
            return 0;
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            if (m_about) m_done = true;
            return 0;
        case WM_CLOSE:
            m_done = true;
            return 0;
        default:
            return Default(message, wParam, lParam);
    }
}

}  // namespace tvx::ui
