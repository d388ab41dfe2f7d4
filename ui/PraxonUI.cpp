#include "ui/PraxonUI.h"

#include <string>

#include "framework/ResourceString.h"
#include "framework/Trace.h"
#include "res/resource.h"
#include "ui/BaseDlg.h"
#include "ui/Prompts.h"

namespace PraxonUI {
namespace {

using tvx::LoadResourceString;

// A password as typed: read out of its edit control, which is cleared, and
// overwritten in memory when it goes. It is read straight into its own
// buffer, so no copy of it is left behind in a temporary.
class TypedPassword {
public:
    explicit TypedPassword(HWND edit) {
        m_text.resize(static_cast<size_t>(::GetWindowTextLengthW(edit)) + 1);
        m_text.resize(static_cast<size_t>(::GetWindowTextW(edit, m_text.data(), static_cast<int>(m_text.size()))));
        ::SetWindowTextW(edit, L"");
    }
    ~TypedPassword() { ::SecureZeroMemory(m_text.data(), m_text.capacity() * sizeof(wchar_t)); }
    TypedPassword(const TypedPassword&) = delete;
    TypedPassword& operator=(const TypedPassword&) = delete;

    const std::wstring& Text() const noexcept { return m_text; }

private:
    std::wstring m_text;
};

// What the protect and unprotect dialogs share: the password edits' limit,
// and the status line (in red) that says why OK did not go through while
// the dialog stays open.
class CPasswordDlg : public tvx::ui::CTVXBaseDlg {
public:
    CPasswordDlg(UINT templateId, Praxon::Drive& drive, HWND owner)
        : CTVXBaseDlg(templateId, owner), m_drive(drive) {}

protected:
    BOOL OnInitDialog() override {
        CTVXBaseDlg::OnInitDialog();
        for (int edit : {IDC_PASSWORD, IDC_PASSWORD_CONFIRM}) {
            if (const HWND control = Item(edit)) ::SendMessageW(control, EM_LIMITTEXT, 127, 0);
        }
        return TRUE;
    }

    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_CTLCOLORSTATIC && reinterpret_cast<HWND>(lParam) == Item(IDC_PROTECT_STATUS)) {
            const HDC dc = reinterpret_cast<HDC>(wParam);
            ::SetTextColor(dc, RGB(192, 0, 0));
            ::SetBkColor(dc, ::GetSysColor(COLOR_3DFACE));
            return reinterpret_cast<INT_PTR>(::GetSysColorBrush(COLOR_3DFACE));
        }
        return CTVXBaseDlg::DialogProc(message, wParam, lParam);
    }

    // Shows the text in the status line and puts the focus in the first
    // password box, ready for another try.
    void ShowStatus(const std::wstring& text) const {
        SetItemText(IDC_PROTECT_STATUS, text);
        ::SendMessageW(GetSafeHwnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(IDC_PASSWORD)), TRUE);
    }

    // A failure the user cannot fix by typing: the pattern with the system's
    // text for the error (none when the library reported success but the
    // disk's state did not follow).
    void ShowFailure(UINT pattern, DWORD error) const {
        tvx::Trace(L"drive %lc: the protection did not change (%lu)", m_drive.letter(), error);
        ShowStatus(tvx::FormatInserts(LoadResourceString(pattern), {error ? tvx::ui::SystemErrorText(error) : L""}));
    }

    Praxon::Drive& m_drive;
};

class CProtectDlg : public CPasswordDlg {
public:
    CProtectDlg(Praxon::Drive& drive, HWND owner) : CPasswordDlg(IDD_PROTECT_DISK, drive, owner) {}

protected:
    void OnOK() override {
        const TypedPassword password(Item(IDC_PASSWORD)), confirm(Item(IDC_PASSWORD_CONFIRM));
        if (password.Text() != confirm.Text()) {
            ShowStatus(LoadResourceString(IDS_PASSWORDS_DIFFER));
            return;
        }
        const int state = password.Text().empty() ? Praxon::kProtectedNoPassword : Praxon::kProtectedWithPassword;
        const DWORD error = m_drive.setProtect(state, password.Text());
        // The library leaves the verdict to the state read back.
        if (error == ERROR_SUCCESS && m_drive.isProtected()) {
            EndDialog(IDOK);
            return;
        }
        ShowFailure(IDS_PROTECT_FAILED, error);
    }
};

class CUnprotectDlg : public CPasswordDlg {
public:
    CUnprotectDlg(Praxon::Drive& drive, HWND owner, int state)
        : CPasswordDlg(IDD_UNPROTECT_DISK, drive, owner), m_state(state) {}

protected:
    BOOL OnInitDialog() override {
        CPasswordDlg::OnInitDialog();
        if (m_state != Praxon::kProtectedNoPassword) return TRUE;
        // Nothing to type: the record was made with an empty password.
        SetItemText(IDC_UNPROTECT_TEXT, LoadResourceString(IDS_UNPROTECT_NO_PASSWORD));
        EnableItem(IDC_PASSWORD, false);
        ::SetFocus(Item(IDOK));
        return FALSE;
    }

    void OnOK() override {
        const TypedPassword password(Item(IDC_PASSWORD));
        const DWORD error = m_drive.setProtect(Praxon::kUnprotected, password.Text());
        if (error == ERROR_INVALID_PASSWORD) {
            ShowStatus(LoadResourceString(IDS_WRONG_PASSWORD));
            return;
        }
        if (error == ERROR_SUCCESS && !m_drive.isProtected()) {
            EndDialog(IDOK);
            return;
        }
        ShowFailure(IDS_UNPROTECT_FAILED, error);
    }

private:
    int m_state;
};

// A headline, a text and OK.
class CNoticeDlg : public tvx::ui::CTVXBaseDlg {
public:
    CNoticeDlg(UINT headline, UINT text, HWND owner)
        : CTVXBaseDlg(IDD_DISK_NOTICE, owner), m_headline(headline), m_text(text) {}

protected:
    BOOL OnInitDialog() override {
        CTVXBaseDlg::OnInitDialog();
        SetItemText(IDC_HEADLINE, LoadResourceString(m_headline));
        SetItemText(IDC_NOTICE_TEXT, LoadResourceString(m_text));
        ::SetFocus(Item(IDOK));
        return FALSE;
    }

private:
    UINT m_headline;
    UINT m_text;
};

void ShowNotice(UINT headline, UINT text, HWND owner) { CNoticeDlg(headline, text, owner).DoModal(); }

}  // namespace

int protect(Praxon::Drive& drive, bool) {
    const HWND owner = ::GetActiveWindow();
    if (const int state = drive.getProtectState(); state != Praxon::kUnprotected) {
        ShowNotice(IDS_PROTECT_HEADLINE,
                   state == Praxon::kHardwareProtected ? IDS_HARDWARE_PROTECTED : IDS_ALREADY_PROTECTED, owner);
        return IDCANCEL;
    }
    if (CProtectDlg(drive, owner).DoModal() != IDOK) return IDCANCEL;
    // Without administrator rights Windows usually keeps the volume writable:
    // the user must not believe that other programs are kept off too.
    if (!drive.isVolumeReadOnly()) ShowNotice(IDS_PARTLY_PROTECTED, IDS_NOT_READ_ONLY, owner);
    return IDOK;
}

int unprotect(Praxon::Drive& drive, bool, bool, void*, void*) {
    const HWND owner = ::GetActiveWindow();
    const int state = drive.getProtectState();
    if (state == Praxon::kUnprotected || state == Praxon::kHardwareProtected) {
        ShowNotice(IDS_UNPROTECT_HEADLINE, state == Praxon::kUnprotected ? IDS_NOT_PROTECTED : IDS_HARDWARE_PROTECTED,
                   owner);
        return IDCANCEL;
    }
    return CUnprotectDlg(drive, owner, state).DoModal() == IDOK ? IDOK : IDCANCEL;
}

}  // namespace PraxonUI
