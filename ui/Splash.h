// The splash picture: a borderless window shaped like its picture (pixels of
// the key colour, magenta, are not part of it). Shown for a moment before
// the settings or the setup wizard open, or as the about window, where it
// also carries the version and stays until a click or a key.
#pragma once

#include <windows.h>

#include <string>

#include "framework/Handle.h"
#include "framework/Window.h"

namespace tvx::ui {

inline constexpr COLORREF kSplashKeyColour = RGB(255, 0, 255);

// The picture's resource name for a base name ("IDB_SPLASH" or "IDB_SPLISH")
// and the screen's colour depth in bits per pixel: 24 for 16 bits or more, 8
// for 8 to 15, 4 below 8.
std::wstring SplashResourceName(const std::wstring& baseName, int bitsPerPixel);

class CTVXSplashWnd : public CTVXWnd {
public:
    CTVXSplashWnd() = default;

    // Shows the picture centred for the given time (through the time seam),
    // keeping the calling thread's messages flowing, then closes it.
    void ShowFor(const std::wstring& baseName, DWORD milliseconds);
    // The about window: the picture with the version, modal to owner, until
    // the user clicks or presses a key.
    void RunAbout(HWND owner);

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    bool Open(const std::wstring& baseName, HWND owner);
    void Paint(HDC dc) const;

    UniqueGdiObject m_picture;
    SIZE m_size = {};
    bool m_about = false;
    bool m_japaneseLayout = false;
    bool m_done = false;
};

}  // namespace tvx::ui
