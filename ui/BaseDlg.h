// The look every dialog of the program shares: the background band drawn at
// the top (bitmap 209) with the program's title on it, a band that drags the
// window, a small drawn close button (id 6969) that acts as Cancel, the
// program's icon, and the bold headline font for the headline static (1062).
//
// The templates have no caption: the band is the caption. Keyboard use is the
// dialog manager's: Tab order, mnemonics, Enter for the default button, Esc
// for Cancel.
#pragma once

#include <windows.h>

#include "framework/Dialog.h"
#include "framework/Handle.h"

namespace tvx::ui {

// Owner-drawn controls of a dialog draw themselves: the dialog hands
// WM_DRAWITEM and WM_MEASUREITEM back to the control that sent them, as these
// messages plus kReflectBase.
inline constexpr UINT kReflectBase = 0x2000;

class CTVXBaseDlg : public CTVXDialog {
public:
    CTVXBaseDlg(UINT templateId, HWND parent) noexcept;

    // The band's height in pixels: the picture is drawn unscaled, so the
    // templates leave this much room above their first control.
    static constexpr int kBandHeight = 41;

    // The shared bold headline font, made from the first dialog's font.
    static HFONT HeadlineFont() noexcept;

protected:
    BOOL OnInitDialog() override;
    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // The close button's action: a close request, which the dialog treats as
    // Cancel. A dialog may make it act otherwise.
    virtual void OnCloseButton() { ::PostMessageW(GetSafeHwnd(), WM_CLOSE, 0, 0); }

private:
    void PaintBackground(HDC dc) const;
    void DrawCloseButton(const DRAWITEMSTRUCT& item) const;

    UniqueGdiObject m_background;  // bitmap 209; drawing goes on without it
    UniqueGdiObject m_titleFont;
    RECT m_band = {};
    HWND m_closeButton = nullptr;
};

}  // namespace tvx::ui
