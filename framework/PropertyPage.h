// Property pages from resource templates (in a sheet, or as plain child
// dialogs), and a property sheet that lives as
// a child control inside a dialog (the settings window holds its pages that
// way, under its own band and above its own OK and Cancel).
//
// A page object must outlive its sheet. Its dialog procedure is noexcept, as
// a dialog's is: an exception that reaches it is traced and the message counts
// as unhandled.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <vector>

#include "framework/Dialog.h"

namespace tvx {

class CTVXPropertyPage : public CTVXControlHost {
public:
    explicit CTVXPropertyPage(UINT templateId) noexcept : m_templateId(templateId) {}
    virtual ~CTVXPropertyPage() = default;
    CTVXPropertyPage(const CTVXPropertyPage&) = delete;
    CTVXPropertyPage& operator=(const CTVXPropertyPage&) = delete;

    UINT TemplateId() const noexcept { return m_templateId; }
    // What the sheet needs to make the page.
    PROPSHEETPAGEW Describe() noexcept;
    // Makes the page a plain child dialog of the parent instead (a wizard
    // shows its pages that way); null when it could not be made.
    HWND CreateChild(HWND parent) noexcept;

protected:
    // After the page's controls exist (the first time it is shown).
    virtual BOOL OnInitDialog() { return TRUE; }
    // WM_COMMAND; true when handled.
    virtual bool OnCommand(UINT /*id*/, UINT /*code*/, HWND /*control*/) { return false; }
    // Every message; the default dispatches WM_INITDIALOG and WM_COMMAND.
    virtual INT_PTR PageProc(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static INT_PTR CALLBACK StaticPageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

    UINT m_templateId;
};

// Makes a modeless property sheet with the pages as a child of the parent,
// its top-left corner at `where` (client coordinates), without its own
// buttons, and shows every page once (last to first) so that all controls
// exist, ending on the first. Null when it could not be made.
HWND CreateChildPropertySheet(HWND parent, const std::vector<CTVXPropertyPage*>& pages, POINT where, int controlId);

}  // namespace tvx
