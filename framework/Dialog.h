// Modal dialogs from resource templates. A dialog object is made for one
// question: construct it with its template id, fill its fields, DoModal, read
// its fields back. OnInitDialog writes the fields into the controls, OnOK
// reads them and ends the dialog (the data exchange of the dialog).
//
// The dialog procedure is noexcept: an exception that reaches it is traced
// and the message counts as unhandled, so that no exception ever unwinds
// through the system's dialog manager.
#pragma once

#include <windows.h>

#include <string>

namespace tvx {

// A window made from a dialog template (a dialog, a property page) and the
// helpers that reach its controls; all are no-ops (empty, false) for a
// missing control.
class CTVXControlHost {
public:
    HWND GetSafeHwnd() const noexcept { return m_hwnd; }
    HWND Item(int id) const noexcept { return ::GetDlgItem(m_hwnd, id); }
    void SetItemText(int id, const std::wstring& text) const noexcept;
    // Sets the text only when it differs, so that a control's change handler
    // that corrects its own text is not entered again for nothing.
    void SetItemTextIfChanged(int id, const std::wstring& text) const;
    std::wstring ItemText(int id) const;
    bool IsChecked(int id) const noexcept;
    void SetCheck(int id, bool checked) const noexcept;
    void EnableItem(int id, bool enable) const noexcept;
    void ShowItem(int id, bool show) const noexcept;

protected:
    // Sets the result of a message that returns something other than TRUE.
    void SetResult(LRESULT result) const noexcept { ::SetWindowLongPtrW(m_hwnd, DWLP_MSGRESULT, result); }

    HWND m_hwnd = nullptr;
};

class CTVXDialog : public CTVXControlHost {
public:
    CTVXDialog(UINT templateId, HWND parent) noexcept : m_templateId(templateId), m_parent(parent) {}
    virtual ~CTVXDialog() = default;

    CTVXDialog(const CTVXDialog&) = delete;
    CTVXDialog& operator=(const CTVXDialog&) = delete;

    // Shows the dialog modally on the calling thread and returns the result
    // it ended with, or -1 when it could not be made (no template).
    INT_PTR DoModal() noexcept;

    UINT TemplateId() const noexcept { return m_templateId; }
    HWND Parent() const noexcept { return m_parent; }

    // Ends the modal loop with the result.
    void EndDialog(INT_PTR result) noexcept;

protected:
    // After the controls exist. Return TRUE to let the system focus the
    // first tab stop, FALSE when the dialog set the focus itself.
    virtual BOOL OnInitDialog() { return TRUE; }
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    // WM_COMMAND other than IDOK and IDCANCEL; true when handled.
    virtual bool OnCommand(UINT /*id*/, UINT /*code*/, HWND /*control*/) { return false; }
    // Every message. Return TRUE when handled (with the message's own result
    // set by SetResult where it has one), FALSE for the dialog manager's
    // default. The default dispatches WM_INITDIALOG and WM_COMMAND.
    virtual INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static INT_PTR CALLBACK StaticDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

    UINT m_templateId;
    HWND m_parent;
};

}  // namespace tvx
