// The setup wizard: a first-time user is led from a welcome through the
// backup disk, the folders to back up, the revisions and a review to the
// last page, whose Next starts the first complete copy. The frame shows one
// page at a time in the place of its static 1042; the welcome's Next steps
// over the disk-labelling page, which is never shown.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <array>
#include <memory>

#include "framework/FolderWalk.h"
#include "framework/PropertyPage.h"
#include "framework/ResourceString.h"
#include "framework/Trace.h"
#include "media/DiskEstimate.h"
#include "media/Praxon.h"
#include "res/resource.h"
#include "settings/Settings.h"
#include "ui/BaseDlg.h"
#include "ui/DriveTree.h"
#include "ui/FolderPicker.h"
#include "ui/Help.h"
#include "ui/Prompts.h"
#include "ui/SettingsRules.h"
#include "ui/UserInterface.h"

namespace tvx::ui {
namespace {

constexpr UINT_PTR kDriveTimer = 10;      // the destination page's refresh
constexpr UINT kDriveEvery = 15000;
constexpr UINT_PTR kSizeTimer = 696969;   // the copy size, once a second
constexpr DWORD kAllDrives = 0x03FFFFFF;
constexpr int kPageCount = 7;
constexpr int kLabelPage = 1;
constexpr int kLastPage = 6;

std::wstring MegabytesText(UINT pattern, std::uint64_t bytes) {
    return FormatInserts(LoadResourceString(pattern), {std::to_wstring(bytes >> 20)});
}

void FillList(HWND list, const std::vector<std::wstring>& items, int width) {
    if (ListView_GetItemCount(list) == 0 && Header_GetItemCount(ListView_GetHeader(list)) == 0) {
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = const_cast<wchar_t*>(L"Source List");
        column.cx = width;
        ListView_InsertColumn(list, 0, &column);
    }
    ListView_DeleteAllItems(list);
    for (std::size_t i = 0; i < items.size(); ++i) {
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(i);
        item.pszText = const_cast<wchar_t*>(items[i].c_str());
        ListView_InsertItem(list, &item);
    }
}

// What the pages gather, and the size count over the sources.
struct WizardState {
    std::wstring destination;
    std::vector<std::wstring> sources;
    DWORD revisions = 5;
    DWORD iconStatus = 1;
    std::unique_ptr<CTVXFolderWalk> walk;

    void RestartSizeCount() {
        walk = std::make_unique<CTVXFolderWalk>(sources);
        try {
            walk->Start();
        } catch (...) {
            Trace(L"wizard: the size count did not start");
        }
    }
    std::uint64_t CountedBytes() const { return walk ? walk->GetTotals().bytes : 0; }
    bool Counted() { return !walk || walk->IsFinished(); }
};

class CTVXWizardPage : public CTVXPropertyPage {
public:
    CTVXWizardPage(UINT templateId, WizardState& state) : CTVXPropertyPage(templateId), m_state(state) {}
    // The page becomes the current one, or stops being it.
    virtual void Shown(bool /*current*/) {}

protected:
    BOOL OnInitDialog() override {
        if (const HWND headline = Item(IDC_HEADLINE))
            ::SendMessageW(headline, WM_SETFONT, reinterpret_cast<WPARAM>(CTVXBaseDlg::HeadlineFont()), TRUE);
        return TRUE;
    }

    WizardState& m_state;
};

// ------------------------------------------------------------- destination

class CTVXDestinationPage : public CTVXWizardPage {
public:
    explicit CTVXDestinationPage(WizardState& state) : CTVXWizardPage(IDD_WIZ_DESTINATION, state) {}

    std::wstring Destination() const {
        const std::wstring path = m_tree.SelectedPath();
        return path.empty() ? path : DestinationRoot(path);
    }
    void Shown(bool current) override {
        if (current) {
            ::SetTimer(GetSafeHwnd(), kDriveTimer, kDriveEvery, nullptr);
            RefreshDrive();
        } else {
            ::KillTimer(GetSafeHwnd(), kDriveTimer);
        }
    }

protected:
    BOOL OnInitDialog() override {
        CTVXWizardPage::OnInitDialog();
        m_tree.Attach(Item(IDC_DEST_TREE), kAllDrives);
        // The first drive of the program is the likely choice.
        Praxon::DriveArray drives;
        drives.init();
        if (drives.count() > 0) m_tree.Select(drives[0].getDrvRootPath());
        return TRUE;
    }
    INT_PTR PageProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_TIMER && wParam == kDriveTimer) {
            RefreshDrive();
            return TRUE;
        }
        if (message == WM_NOTIFY && reinterpret_cast<const NMHDR*>(lParam)->code == TVN_SELCHANGEDW) {
            RefreshDrive();
            return FALSE;
        }
        if (message == WM_DESTROY) {
            ::KillTimer(GetSafeHwnd(), kDriveTimer);
            m_tree.Detach();
        }
        return CTVXWizardPage::PageProc(message, wParam, lParam);
    }

private:
    void RefreshDrive() {
        const std::wstring root = Destination();
        ULARGE_INTEGER available = {}, total = {};
        if (root.empty() || !Praxon::Drive(root[0]).hasDisk() ||
            !::GetDiskFreeSpaceExW(root.c_str(), &available, &total, nullptr)) {
            SetItemText(IDC_FREE_SPACE, FormatInserts(LoadResourceString(IDS_FREE_SPACE), {L""}));
            SetItemText(IDC_WIZ_USED, L"");
            SetItemText(IDC_WIZ_FREE, L"");
            return;
        }
        SetItemText(IDC_FREE_SPACE, MegabytesText(IDS_FREE_SPACE, available.QuadPart));
        SetItemText(IDC_WIZ_USED, std::to_wstring((total.QuadPart - available.QuadPart) >> 20) + L" used mb");
        SetItemText(IDC_WIZ_FREE, std::to_wstring(available.QuadPart >> 20) + L" free mb");
    }

    CTVXDriveTree m_tree;
};

// ----------------------------------------------------------------- sources

class CTVXSourcesPage : public CTVXWizardPage {
public:
    explicit CTVXSourcesPage(WizardState& state) : CTVXWizardPage(IDD_WIZ_SOURCES, state) {}

    void Shown(bool current) override {
        if (!current) {
            ::KillTimer(GetSafeHwnd(), kSizeTimer);
            return;
        }
        // Folders that are not there yet are made, level by level; one that
        // cannot be made is told of by the copy later.
        for (const std::wstring& source : m_state.sources)
            if (::GetFileAttributesW(source.c_str()) == INVALID_FILE_ATTRIBUTES)
                ::SHCreateDirectoryExW(nullptr, source.c_str(), nullptr);
        FillList(Item(IDC_WIZ_SOURCES), m_state.sources, 250);
        m_state.RestartSizeCount();
        ShowSize();
        ::SetTimer(GetSafeHwnd(), kSizeTimer, 1000, nullptr);
    }

protected:
    bool OnCommand(UINT id, UINT code, HWND) override {
        if (id != IDC_ADD_REMOVE || code != BN_CLICKED) return false;
        if (RunFolderPicker(GetSafeHwnd(), m_state.sources) == IDOK) Shown(true);
        return true;
    }
    INT_PTR PageProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_TIMER && wParam == kSizeTimer) {
            ShowSize();
            return TRUE;
        }
        if (message == WM_DESTROY) ::KillTimer(GetSafeHwnd(), kSizeTimer);
        return CTVXWizardPage::PageProc(message, wParam, lParam);
    }

private:
    void ShowSize() { SetItemText(IDC_WIZ_COPY_SIZE, MegabytesText(IDS_COPY_SIZE, m_state.CountedBytes())); }
};

// --------------------------------------------------------------- revisions

class CTVXRevisionsPage : public CTVXWizardPage {
public:
    explicit CTVXRevisionsPage(WizardState& state) : CTVXWizardPage(IDD_WIZ_REVISIONS, state) {}

    DWORD Revisions() const {
        const RevisionChoice choice = IsChecked(IDC_WIZ_REV_UNLIMITED) ? RevisionChoice::kUnlimited
                                      : IsChecked(IDC_WIZ_REV_LIMITED) ? RevisionChoice::kLimited
                                                                       : RevisionChoice::kNone;
        return RevisionsValue(choice, ClampRevisionLimit(ItemText(IDC_WIZ_REV_LIMIT)));
    }

protected:
    BOOL OnInitDialog() override {
        CTVXWizardPage::OnInitDialog();
        ::SendDlgItemMessageW(GetSafeHwnd(), IDC_WIZ_REV_SPIN, UDM_SETRANGE32, 1, 99);
        SetCheck(IDC_WIZ_REV_LIMITED, true);
        SetItemText(IDC_WIZ_REV_LIMIT, L"5");
        return TRUE;
    }
    bool OnCommand(UINT id, UINT code, HWND) override {
        if (id == IDC_WIZ_REV_LIMIT && code == EN_CHANGE) {
            SetItemTextIfChanged(IDC_WIZ_REV_LIMIT, std::to_wstring(ClampRevisionLimit(ItemText(IDC_WIZ_REV_LIMIT))));
            return true;
        }
        const bool revisionChoice = id == IDC_WIZ_REV_NONE || id == IDC_WIZ_REV_UNLIMITED || id == IDC_WIZ_REV_LIMITED;
        if (code == BN_CLICKED && revisionChoice) {
            const bool limited = IsChecked(IDC_WIZ_REV_LIMITED);
            EnableItem(IDC_WIZ_REV_LIMIT, limited);
            EnableItem(IDC_WIZ_REV_SPIN, limited);
            return true;
        }
        return false;
    }
};

// ------------------------------------------------------------------ review

class CTVXReviewPage : public CTVXWizardPage {
public:
    explicit CTVXReviewPage(WizardState& state) : CTVXWizardPage(IDD_WIZ_REVIEW, state) {}

    void Shown(bool current) override {
        if (!current) {
            ::KillTimer(GetSafeHwnd(), kSizeTimer);
            return;
        }
        FillList(Item(IDC_WIZ_REVIEW_SOURCES), m_state.sources, 215);
        const Praxon::Drive drive(m_state.destination.empty() ? L'C' : m_state.destination[0]);
        SetItemText(IDC_WIZ_REVIEW_DRIVE, drive.isTavrixDrive() ? drive.getLabelText() : m_state.destination);
        ULARGE_INTEGER available = {};
        const bool measured = drive.hasDisk() &&
                              ::GetDiskFreeSpaceExW(drive.getDrvRootPath().c_str(), &available, nullptr, nullptr);
        SetItemText(IDC_WIZ_REVIEW_FREE,
                    measured ? MegabytesText(IDS_FREE_SPACE, available.QuadPart)
                             : FormatInserts(LoadResourceString(IDS_FREE_SPACE), {L""}));
        wchar_t revisions[128] = {};
        const DWORD value = m_state.revisions;
        if (value == settings::kRevisionsUnlimited)
            ::LoadStringW(::GetModuleHandleW(nullptr), IDS_REVISIONS_UNLIMITED, revisions, 128);
        else
            ::swprintf(revisions, 128, LoadResourceString(IDS_REVISIONS_KEPT).c_str(), static_cast<int>(value));
        SetItemText(IDC_WIZ_REVIEW_REVISIONS, revisions);
        Estimate();
        ::SetTimer(GetSafeHwnd(), kSizeTimer, 1000, nullptr);
    }

protected:
    BOOL OnInitDialog() override {
        CTVXWizardPage::OnInitDialog();
        m_link.Attach(Item(IDC_WIZ_REVIEW_LINK), DisksPageAddress());
        return TRUE;
    }
    INT_PTR PageProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_TIMER && wParam == kSizeTimer) {
            const bool done = m_state.Counted();
            Estimate();
            if (done) ::KillTimer(GetSafeHwnd(), kSizeTimer);
            return TRUE;
        }
        if (message == WM_DESTROY) ::KillTimer(GetSafeHwnd(), kSizeTimer);
        return CTVXWizardPage::PageProc(message, wParam, lParam);
    }

private:
    void Estimate() {
        const std::uint64_t bytes = m_state.CountedBytes();
        SetItemText(IDC_WIZ_COPY_SIZE, MegabytesText(IDS_COPY_SIZE, bytes));
        if (m_state.destination.empty()) return;
        const std::uint64_t disks = media::EstimateDisksNeeded(m_state.destination[0], bytes);
        SetItemText(IDC_WIZ_REVIEW_DISKS,
                    FormatInserts(LoadResourceString(IDS_DISKS_NEEDED), {std::to_wstring(disks)}));
    }

    CTVXHyperlink m_link;
};

// -------------------------------------------------------------------- last

class CTVXFinishPage : public CTVXWizardPage {
public:
    explicit CTVXFinishPage(WizardState& state) : CTVXWizardPage(IDD_WIZ_FINISH, state) {}
    DWORD IconStatus() const { return IsChecked(IDC_WIZ_TRAY) ? 1 : 0; }

protected:
    BOOL OnInitDialog() override {
        CTVXWizardPage::OnInitDialog();
        SetCheck(IDC_WIZ_TRAY, true);
        return TRUE;
    }
};

// ------------------------------------------------------------------- frame

class CTVXSetupWizardDlg : public CTVXBaseDlg {
public:
    explicit CTVXSetupWizardDlg(HWND owner)
        : CTVXBaseDlg(IDD_WIZARD, owner),
          m_welcome(IDD_WIZ_WELCOME, m_state),
          m_label(IDD_WIZ_LABEL, m_state),
          m_destination(m_state),
          m_sources(m_state),
          m_revisions(m_state),
          m_review(m_state),
          m_finish(m_state),
          m_pages{&m_welcome, &m_label, &m_destination, &m_sources, &m_revisions, &m_review, &m_finish} {}

    SetupChoices Choices() const {
        return SetupChoices{m_state.destination, m_state.sources, m_state.revisions, m_state.iconStatus};
    }

protected:
    BOOL OnInitDialog() override {
        CTVXBaseDlg::OnInitDialog();
        RECT place = {};
        ::GetWindowRect(Item(IDC_WIZ_PLACE), &place);
        ::MapWindowPoints(nullptr, GetSafeHwnd(), reinterpret_cast<POINT*>(&place), 2);
        for (CTVXWizardPage* page : m_pages) {
            const HWND hwnd = page->CreateChild(GetSafeHwnd());
            if (hwnd)
                ::SetWindowPos(hwnd, Item(IDC_WIZ_PLACE), place.left, place.top, place.right - place.left,
                               place.bottom - place.top, SWP_HIDEWINDOW);
        }
        wchar_t documents[MAX_PATH] = {};
        if (SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents)))
            m_state.sources.push_back(documents);
        m_state.RestartSizeCount();
        Go(0);
        return TRUE;
    }

    bool OnCommand(UINT id, UINT code, HWND) override {
        if (code != BN_CLICKED) return false;
        switch (id) {
            case IDC_WIZ_NEXT: Next(); return true;
            case IDC_WIZ_BACK: Go(m_current == 2 ? 0 : m_current - 1); return true;
            case IDC_WIZ_START: Start(); return true;
            case IDC_WIZ_HELP: OpenHelpPage(GetSafeHwnd(), WizardHelpPage(m_current)); return true;
            default: return false;
        }
    }

    void OnOK() override {
        // Enter: the default button of the page shown.
        if (m_current == kLastPage)
            Start();
        else
            Next();
    }

private:
    void Next() {
        switch (m_current) {
            case 0: Go(2); return;
            case 2: {
                m_state.destination = m_destination.Destination();
                if (m_state.destination.empty()) return;
                // The disk's identity is recorded at once: the first pass
                // then knows the disk without asking.
                const Praxon::Drive drive(m_state.destination[0]);
                const std::wstring identity = drive.getDisk().identity;
                if (!drive.isTavrixDrive() && !drive.isTavrixCDDrive())
                    settings::WriteDiskID(L"NotTavrix");
                else if (!identity.empty())
                    settings::WriteDiskID(identity);
                if (m_state.sources.empty()) m_state.sources.push_back(LoadResourceString(IDS_MY_DOCUMENTS));
                break;
            }
            case 3:
                for (const std::wstring& source : m_state.sources) {
                    if (CheckSourceOnThisSystem(source, m_state.destination) == SourceConflict::kNoConflict) continue;
                    PromptRequest request;
                    request.dialog = IDD_SAME_DRIVE;
                    ShowPromptDialog(request, GetSafeHwnd());
                    return;
                }
                break;
            case 4: m_state.revisions = m_revisions.Revisions(); break;
            default: break;
        }
        Go(m_current + 1);
    }

    void Start() {
        m_state.destination = m_destination.Destination();
        m_state.revisions = m_revisions.Revisions();
        m_state.iconStatus = m_finish.IconStatus();
        if (m_state.walk) m_state.walk->Cancel();
        EndDialog(IDOK);
    }

    void Go(int index) {
        if (index == kLabelPage) index = 2;
        if (index < 0 || index >= kPageCount) return;
        m_pages[static_cast<std::size_t>(m_current)]->Shown(false);
        ::ShowWindow(m_pages[static_cast<std::size_t>(m_current)]->GetSafeHwnd(), SW_HIDE);
        m_current = index;
        CTVXWizardPage* page = m_pages[static_cast<std::size_t>(index)];
        ::ShowWindow(page->GetSafeHwnd(), SW_SHOW);
        page->Shown(true);
        EnableItem(IDC_WIZ_BACK, index != 0);
        ShowItem(IDC_WIZ_NEXT, index != kLastPage);
        ShowItem(IDC_WIZ_START, index == kLastPage);
        ::SendMessageW(GetSafeHwnd(), DM_SETDEFID, index == kLastPage ? IDC_WIZ_START : IDC_WIZ_NEXT, 0);
        ::SetFocus(Item(index == kLastPage ? IDC_WIZ_START : IDC_WIZ_NEXT));
    }

    WizardState m_state;
    CTVXWizardPage m_welcome;
    CTVXWizardPage m_label;
    CTVXDestinationPage m_destination;
    CTVXSourcesPage m_sources;
    CTVXRevisionsPage m_revisions;
    CTVXReviewPage m_review;
    CTVXFinishPage m_finish;
    std::array<CTVXWizardPage*, kPageCount> m_pages;
    int m_current = 0;
};

// A working setup is there when the options key holds a destination and
// sources: a Cancel of the wizard must not throw that away.
bool HasWorkingSetup() {
    std::wstring destination;
    std::vector<std::wstring> sources;
    return settings::ReadDestination(destination) == ERROR_SUCCESS && !destination.empty() &&
           settings::ReadSourceList(sources) == ERROR_SUCCESS && !sources.empty();
}

}  // namespace

INT_PTR RunSetupWizard(HWND owner, SetupChoices& choices) {
    Trace(L"ui: setup wizard");
    const bool hadSetup = HasWorkingSetup();
    std::wstring diskId;
    const bool hadDiskId = settings::ReadDiskID(diskId) == ERROR_SUCCESS;
    CTVXSetupWizardDlg wizard(owner);
    if (wizard.DoModal() == IDOK) {
        choices = wizard.Choices();
        Trace(L"wizard: finished");
        return IDOK;
    }
    if (!hadSetup) {
        // A first run leaves nothing behind, not even the disk recorded on
        // the way.
        settings::DeleteOptionsKey();
    } else if (hadDiskId) {
        settings::WriteDiskID(diskId);
    }
    Trace(L"wizard: cancelled");
    return IDCANCEL;
}

}  // namespace tvx::ui
