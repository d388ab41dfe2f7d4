// Small controls the program's windows share: the etched separator, the
// disk-space pie chart and the drive list box, each an owner of a standard
// control of a dialog template that it subclasses and draws; and the rule by
// which long paths are shortened for display.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "framework/Handle.h"

namespace tvx::ui {

// Shortens a path for display to at most maxChars characters: the root (a
// drive or \\server) and, when the folder part is longer than three
// characters, its first folder stay, then "\...", then as many of the last
// folders as fit, then the file name. When not even root + "\...\" + file
// name fits, the result is the file name alone; when the file name alone is
// longer than maxChars, it is the file name when keepFileName, else empty.
//   C:\Documents\Reports\2001\Quarter.doc, 30 -> C:\Documents\...\Quarter.doc
std::wstring ShortenPath(const std::wstring& path, size_t maxChars, bool keepFileName);

// Where the pie's filled share ends on its rim: the share grows clockwise
// from twelve o'clock; 25 % ends at three o'clock.
POINT PieEdgePoint(const RECT& bounds, unsigned percent) noexcept;

// Base of the subclassed controls: owns the subclass and removes it when the
// object goes (or the control is destroyed first).
class CTVXSubclassedControl {
public:
    CTVXSubclassedControl() = default;
    virtual ~CTVXSubclassedControl();
    CTVXSubclassedControl(const CTVXSubclassedControl&) = delete;
    CTVXSubclassedControl& operator=(const CTVXSubclassedControl&) = delete;

    // Takes over the control; false when it does not exist.
    bool Attach(HWND control) noexcept;
    HWND GetSafeHwnd() const noexcept { return m_hwnd; }

protected:
    // Every message of the control; return true when handled (result set).
    virtual bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;
    virtual void OnAttached() {}

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                 DWORD_PTR self) noexcept;
    void Detach() noexcept;

    HWND m_hwnd = nullptr;
};

// A static that draws an etched line: along its left side when it is taller
// than wide, else along its top.
class CTVXEtchedLine : public CTVXSubclassedControl {
protected:
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
};

// A static that shows how full a disk is as a pie.
class CTVXPieChart : public CTVXSubclassedControl {
public:
    static constexpr COLORREF kFilledColour = RGB(210, 223, 94);
    static constexpr COLORREF kRestColour = RGB(43, 115, 31);

    // 0 to 100 (more counts as 100); repaints the pie and what lies under it.
    void SetPercent(unsigned percent) noexcept;
    unsigned Percent() const noexcept { return m_percent; }

protected:
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    unsigned m_percent = 0;
};

// An owner-drawn list box of drives: each row a large icon and a label.
class CTVXDriveListBox : public CTVXSubclassedControl {
public:
    struct Drive {
        wchar_t letter = 0;
        std::wstring label;
        UniqueIcon icon;  // 32 x 32; none shows no picture
    };

    void SetDrives(std::vector<Drive> drives);
    // The letter of the selected row, or 0.
    wchar_t SelectedLetter() const noexcept;

protected:
    void OnAttached() override;
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void DrawRow(const DRAWITEMSTRUCT& item) const;
    std::vector<Drive> m_drives;
};

}  // namespace tvx::ui
