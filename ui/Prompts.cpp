#include "ui/Prompts.h"

#include <vector>

#include "framework/MainWindow.h"
#include "framework/ProcessFlags.h"
#include "framework/ResourceString.h"
#include "framework/Trace.h"
#include "media/Praxon.h"
#include "res/resource.h"
#include "settings/Settings.h"
#include "ui/BaseDlg.h"
#include "ui/DrawnControls.h"
#include "ui/Help.h"

namespace tvx::ui {
namespace {

// Paths in the alerts are shortened to this many characters.
constexpr size_t kAlertPathChars = 42;

using ShowAgainWriter = LONG (*)(DWORD);

// The disk prompts: radio choices, the keep-running flag, and for the
// no-disk and not-my-disk prompts the "Do not warn me again" choice.
class CTVXChoicePromptDlg : public CTVXBaseDlg {
public:
    CTVXChoicePromptDlg(const PromptRequest& request, HWND owner)
        : CTVXBaseDlg(static_cast<UINT>(request.dialog), owner), m_request(request) {}

protected:
    BOOL OnInitDialog() override {
        CTVXBaseDlg::OnInitDialog();
        Flags().keepRunning.store(1);
        SetCheck(IDC_CHOICE_GO_ON, true);
        if (Item(IDC_DISK_DATES)) {
            // The dates bounding the copies on the full disk: "first|last".
            const size_t bar = m_request.detail.find(L'|');
            SetItemText(IDC_DISK_DATES,
                        FormatInserts(LoadResourceString(IDS_DISK_DATES),
                                      {m_request.detail.substr(0, bar),
                                       bar == std::wstring::npos ? std::wstring() : m_request.detail.substr(bar + 1)}));
        }
        if (Item(IDC_LINK_FULL)) m_link.Attach(Item(IDC_LINK_FULL), DisksPageAddress());
        return TRUE;
    }

    void OnOK() override {
        ProcessFlags& flags = Flags();
        flags.keepRunning.store(1);
        if (Item(IDC_CHOICE_NO_WARN) && IsChecked(IDC_CHOICE_NO_WARN)) {
            settings::WriteWarningStatus(0);
            EndDialog(IDCANCEL);
        } else if (IsChecked(IDC_CHOICE_DISABLE)) {
            // The not-my-disk and full-with-link prompts end the program
            // themselves; for the others the caller does it.
            if (TemplateId() == IDD_NOT_MY_DISK || TemplateId() == IDD_DISK_FULL_LINK) PostToMainWindow(WM_CLOSE);
            flags.keepRunning.store(0);
            EndDialog(IDCANCEL);
        } else if (Item(IDC_CHOICE_MAKE_MINE) && IsChecked(IDC_CHOICE_MAKE_MINE)) {
            EndDialog(kMakeCurrentDisk);
        } else {
            EndDialog(IDOK);
        }
    }

    void OnCancel() override {
        Flags().keepRunning.store(1);
        EndDialog(IDCANCEL);
    }

private:
    const PromptRequest& m_request;
    CTVXHyperlink m_link;
};

// The one-message alerts and the "becoming full" notices: a text, a
// "Don't show this again" box whose state OK writes, and OK.
class CTVXNoticeDlg : public CTVXBaseDlg {
public:
    CTVXNoticeDlg(const PromptRequest& request, HWND owner, int checkBox, ShowAgainWriter writer)
        : CTVXBaseDlg(static_cast<UINT>(request.dialog), owner),
          m_request(request),
          m_checkBox(checkBox),
          m_writer(writer) {}

protected:
    BOOL OnInitDialog() override {
        CTVXBaseDlg::OnInitDialog();
        const std::wstring path = ShortenPath(m_request.text, kAlertPathChars, true);
        switch (TemplateId()) {
            case IDD_FILE_TOO_LARGE:
                SetItemText(IDC_MESSAGE_LARGE, FormatInserts(LoadResourceString(IDS_FILE_TOO_LARGE), {path}));
                break;
            case IDD_NAME_TOO_LONG:
                SetItemText(IDC_MESSAGE_NAME, FormatInserts(LoadResourceString(IDS_NAME_TOO_LONG), {path}));
                break;
            case IDD_FILE_ERROR:
                SetItemText(IDC_MESSAGE_ERROR,
                            FormatInserts(LoadResourceString(IDS_FILE_ERROR),
                                          {path, std::to_wstring(m_request.code), SystemErrorText(m_request.code)}));
                SetItemText(IDC_ERROR_NOTE, LoadResourceString(FileErrorNoteId(m_request.code)));
                break;
            case IDD_FILLING_LINK:
                m_link.Attach(Item(IDC_LINK_FILLING), DisksPageAddress());
                break;
            default:
                break;
        }
        // OK has the focus: the message is there to be read, not selected.
        ::SetFocus(Item(IDOK));
        return FALSE;
    }

    void OnOK() override {
        // A value that cannot be written leaves the alert showing next time.
        m_writer(IsChecked(m_checkBox) ? 0 : 1);
        EndDialog(IDOK);
    }

private:
    const PromptRequest& m_request;
    int m_checkBox;
    ShowAgainWriter m_writer;
    CTVXHyperlink m_link;
};

// "Please insert the disk ...": the drive's icon and label.
class CTVXInsertDiskDlg : public CTVXBaseDlg {
public:
    CTVXInsertDiskDlg(const PromptRequest& request, HWND owner)
        : CTVXBaseDlg(IDD_INSERT_DISK, owner), m_request(request) {}

protected:
    BOOL OnInitDialog() override {
        CTVXBaseDlg::OnInitDialog();
        if (const UINT icon = DriveIconId(static_cast<int>(m_request.code))) {
            m_icon.Attach(static_cast<HICON>(
                ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(icon), IMAGE_ICON, 32, 32, 0)));
            ::SendDlgItemMessageW(GetSafeHwnd(), IDC_DRIVE_ICON, STM_SETICON, reinterpret_cast<WPARAM>(m_icon.Get()),
                                  0);
        }
        SetItemText(IDC_DRIVE_LABEL, m_request.text);
        return TRUE;
    }

private:
    const PromptRequest& m_request;
    UniqueIcon m_icon;
};

// The questions that ask for a text: the new volume name, the password.
class CTVXTextPromptDlg : public CTVXBaseDlg {
public:
    CTVXTextPromptDlg(const PromptRequest& request, HWND owner, int edit)
        : CTVXBaseDlg(static_cast<UINT>(request.dialog), owner), m_request(request), m_edit(edit) {}

protected:
    BOOL OnInitDialog() override {
        CTVXBaseDlg::OnInitDialog();
        // A volume label holds at most 32 characters (NTFS); a password is
        // kept short enough to type.
        ::SendDlgItemMessageW(GetSafeHwnd(), m_edit, EM_LIMITTEXT, m_edit == IDC_VOLUME_NAME ? 32 : 127, 0);
        if (m_edit == IDC_VOLUME_NAME) SetItemText(m_edit, m_request.text);
        return TRUE;
    }

    void OnOK() override {
        std::wstring typed = ItemText(m_edit);
        if (m_request.reply) m_request.reply->swap(typed);
        // The typed password must not linger in freed memory.
        ::SecureZeroMemory(typed.data(), typed.size() * sizeof(wchar_t));
        if (m_edit == IDC_PASSWORD) SetItemText(m_edit, std::wstring());
        EndDialog(IDOK);
    }

private:
    const PromptRequest& m_request;
    int m_edit;
};

// "Tavrix Dovetrak 3 requires ... drive": its close button acts as its OK.
class CTVXNoMakerDriveDlg : public CTVXBaseDlg {
public:
    explicit CTVXNoMakerDriveDlg(HWND owner) : CTVXBaseDlg(IDD_NO_MAKER_DRIVE, owner) {}

protected:
    void OnCloseButton() override { OnOK(); }
};

// A fixed text with OK (and Cancel where the template has one); the volume
// rename's retry prompt shows why the name was not set in a read-only edit
// (the request's text: the system's reason; without one, that no disk is in).
class CTVXPlainPromptDlg : public CTVXBaseDlg {
public:
    CTVXPlainPromptDlg(const PromptRequest& request, HWND owner)
        : CTVXBaseDlg(static_cast<UINT>(request.dialog), owner), m_reason(request.text) {}

protected:
    BOOL OnInitDialog() override {
        CTVXBaseDlg::OnInitDialog();
        if (TemplateId() == IDD_RENAME_NO_DISK)
            SetItemText(IDC_NO_DISK_TEXT, m_reason.empty() ? LoadResourceString(IDS_NO_DISK_RETRY) : m_reason);
        return TRUE;
    }

private:
    std::wstring m_reason;
};

// The end of the first complete copy: what next. Carries out the web site
// and the manual itself; answers with the id of the choice (the control
// panel is the caller's to open).
class CTVXFirstCopyDoneDlg : public CTVXBaseDlg {
public:
    explicit CTVXFirstCopyDoneDlg(HWND owner) : CTVXBaseDlg(IDD_FIRST_COPY_DONE, owner) {}

protected:
    BOOL OnInitDialog() override {
        CTVXBaseDlg::OnInitDialog();
        m_web = LoadResourceString(IDS_WEB_ADDRESS);
        SetItemText(IDC_DONE_WEB, L"Go to " + m_web);
        SetCheck(IDC_DONE_EXIT, true);
        return TRUE;
    }
    void OnOK() override {
        if (IsChecked(IDC_DONE_WEB) || IsChecked(IDC_DONE_WEB_CHECK)) {
            OpenAddress(m_web, SW_SHOWNORMAL);
            EndDialog(IDC_DONE_WEB);
        } else if (IsChecked(IDC_DONE_MANUAL)) {
            OpenAddress(ManualFolder() + L"\\index.html", SW_SHOWNORMAL);
            EndDialog(IDC_DONE_MANUAL);
        } else {
            EndDialog(IsChecked(IDC_DONE_SETTINGS) ? IDC_DONE_SETTINGS : IDC_DONE_EXIT);
        }
    }

private:
    // Where the installer put the program (its App Paths entry, per user or
    // for the machine), else the program's own folder.
    static std::wstring ManualFolder() {
        constexpr wchar_t kAppPaths[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Dovetrak3.exe";
        for (const HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            wchar_t path[MAX_PATH] = {};
            DWORD size = sizeof(path);
            if (::RegGetValueW(root, kAppPaths, L"Path", RRF_RT_REG_SZ, nullptr, path, &size) == ERROR_SUCCESS &&
                path[0]) {
                std::wstring folder = path;
                while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
                return folder;
            }
        }
        return ProgramFolder();
    }

    std::wstring m_web;
};

}  // namespace

UINT FileErrorNoteId(DWORD code) noexcept {
    switch (code) {
        case ERROR_INVALID_DRIVE: return IDS_NOTE_NO_DRIVE;  // 15
        case ERROR_NOT_READY: return IDS_NOTE_NOT_READY;     // 21
        default: return IDS_NOTE_BLANK;
    }
}

std::wstring SystemErrorText(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    std::wstring text = n && buffer ? std::wstring(buffer, n) : std::wstring();
    if (buffer) ::LocalFree(buffer);
    for (wchar_t& c : text) {
        if (c == L'\r' || c == L'\n') c = L' ';
    }
    return text;
}

UINT DriveIconId(int subFamily) noexcept { return Praxon::SubFamilyIconId(subFamily); }

INT_PTR ShowPromptDialog(const PromptRequest& request, HWND owner) {
    INT_PTR result = IDCANCEL;
    switch (request.dialog) {
        case IDD_DISK_FULL_LINK:
        case IDD_FULL_FIXED:
        case IDD_FULL_REMOVABLE:
        case IDD_NO_DISK:
        case IDD_NOT_MY_DISK:
            result = CTVXChoicePromptDlg(request, owner).DoModal();
            break;
        case IDD_FILE_TOO_LARGE:
            result = CTVXNoticeDlg(request, owner, IDC_DONT_SHOW, &settings::Write2LargeStatus).DoModal();
            break;
        case IDD_FILE_ERROR:
            result = CTVXNoticeDlg(request, owner, IDC_DONT_SHOW, &settings::WriteFileErrorStatus).DoModal();
            break;
        case IDD_NAME_TOO_LONG:
            result = CTVXNoticeDlg(request, owner, IDC_DONT_SHOW, &settings::WriteFileNameStatus).DoModal();
            break;
        case IDD_FILLING_LINK:
        case IDD_FILLING_FIXED:
        case IDD_FILLING_BUY:
            result = CTVXNoticeDlg(request, owner, IDC_DONT_SHOW_BUY, &settings::WriteBuyStatus).DoModal();
            break;
        case IDD_INSERT_DISK:
            result = CTVXInsertDiskDlg(request, owner).DoModal();
            break;
        case IDD_RENAME_VOLUME:
            result = CTVXTextPromptDlg(request, owner, IDC_VOLUME_NAME).DoModal();
            break;
        case IDD_PASSWORD:
            result = CTVXTextPromptDlg(request, owner, IDC_PASSWORD).DoModal();
            break;
        case IDD_NO_MAKER_DRIVE:
            result = CTVXNoMakerDriveDlg(owner).DoModal();
            break;
        case IDD_FIRST_COPY_DONE:
            result = CTVXFirstCopyDoneDlg(owner).DoModal();
            break;
        case IDD_TURN_OFF:
        case IDD_SOURCE_MISSING:
        case IDD_INVALID_PATH:
        case IDD_NOT_FIXED_SOURCE:
        case IDD_SAME_DRIVE:
        case IDD_SAME_FOLDER:
        case IDD_RENAME_NO_DISK:
        case IDD_UNPROTECT:
            result = CTVXPlainPromptDlg(request, owner).DoModal();
            break;
        default:
            Trace(L"prompt %d: no such dialog", request.dialog);
            return IDCANCEL;
    }
    // A dialog that could not be made counts as "not now".
    if (result == -1) result = IDCANCEL;
    Trace(L"prompt %d -> %Id (keep running %d)", request.dialog, result, Flags().keepRunning.load());
    return result;
}

}  // namespace tvx::ui
