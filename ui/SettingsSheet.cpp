#include "ui/SettingsSheet.h"

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>

#include "framework/PropertyPage.h"
#include "framework/ResourceString.h"
#include "framework/TimeSeam.h"
#include "framework/Trace.h"
#include "media/Praxon.h"
#include "res/resource.h"
#include "settings/Settings.h"
#include "ui/BaseDlg.h"
#include "ui/DiskCommands.h"
#include "ui/DriveTree.h"
#include "ui/FileExclusionDlg.h"
#include "ui/FolderPicker.h"
#include "ui/Help.h"
#include "ui/Prompts.h"
#include "ui/SettingsRules.h"
#include "ui/Splash.h"
#include "ui/UserInterface.h"

namespace tvx::ui {
namespace {

constexpr UINT_PTR kFreeSpaceTimer = 13;
constexpr UINT kFreeSpaceEvery = 15000;
constexpr DWORD kAllDrives = 0x03FFFFFF;

bool IsNotTavrix(const std::wstring& diskId) { return diskId.rfind(L"NotTavrix", 0) == 0; }

// The identity of the disk in the drive of a destination; "0" without one.
std::wstring DiskIdIn(const std::wstring& destination) {
    if (destination.empty()) return L"0";
    const std::wstring identity = Praxon::Drive(destination[0]).getDisk().identity;
    return identity.empty() ? L"0" : identity;
}

INT_PTR Prompt(int dialog, HWND owner, const std::wstring& text = {}) {
    PromptRequest request;
    request.dialog = dialog;
    request.text = text;
    return ShowPromptDialog(request, owner);
}

void SetHeadlineFonts(HWND page, int first, int last) {
    for (int id = first; id <= last; ++id)
        if (const HWND control = ::GetDlgItem(page, id))
            ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(CTVXBaseDlg::HeadlineFont()), TRUE);
}

// ------------------------------------------------------------------ General

class CTVXMirrorGenPage : public CTVXPropertyPage {
public:
    explicit CTVXMirrorGenPage(SettingsFields& fields) : CTVXPropertyPage(IDD_PAGE_GENERAL), m_fields(fields) {}

    // The page's choices into the fields (on OK).
    bool MirrorOn() const { return IsChecked(IDC_MIRROR_ON); }
    std::wstring SelectedDestination() const { return m_selected; }
    const std::vector<std::wstring>& Sources() const { return m_sources; }

protected:
    BOOL OnInitDialog() override {
        SetHeadlineFonts(GetSafeHwnd(), IDC_PAGE_HEADLINE_FIRST, IDC_PAGE_HEADLINE_FIRST + 2);
        SetCheck(m_fields.mirrorOn == 1 ? IDC_MIRROR_ON : IDC_MIRROR_OFF, true);
        m_sources = m_fields.sources;
        m_selected = m_fields.destination;
        const HWND list = Item(IDC_GEN_SOURCES);
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = const_cast<wchar_t*>(L"Source List");
        column.cx = 100;
        ListView_InsertColumn(list, 0, &column);
        FillSources();
        m_tree.Attach(Item(IDC_DEST_TREE), kAllDrives);
        if (!m_selected.empty()) m_tree.Select(DestinationRoot(m_selected));
        RefreshFreeSpace();
        ::SetTimer(GetSafeHwnd(), kFreeSpaceTimer, kFreeSpaceEvery, nullptr);
        return TRUE;
    }

    INT_PTR PageProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        switch (message) {
            case WM_TIMER:
                if (wParam == kFreeSpaceTimer && !m_busy) RefreshFreeSpace();
                return TRUE;
            case WM_NOTIFY: {
                const auto* header = reinterpret_cast<const NMHDR*>(lParam);
                if (header->idFrom == IDC_DEST_TREE && header->code == TVN_SELCHANGEDW) {
                    const std::wstring path = m_tree.SelectedPath();
                    if (!path.empty()) m_selected = DestinationRoot(path);
                    RefreshFreeSpace();
                }
                return FALSE;
            }
            case WM_DESTROY:
                ::KillTimer(GetSafeHwnd(), kFreeSpaceTimer);
                m_tree.Detach();
                return FALSE;
            default:
                return CTVXPropertyPage::PageProc(message, wParam, lParam);
        }
    }

    bool OnCommand(UINT id, UINT code, HWND) override {
        if (code != BN_CLICKED) return false;
        const wchar_t letter = m_selected.empty() ? 0 : m_selected[0];
        switch (id) {
            case IDC_ADD_REMOVE:
                if (RunFolderPicker(GetSafeHwnd(), m_sources) == IDOK) FillSources();
                return true;
            case IDC_PROTECT_DISK:
            case IDC_UNPROTECT_DISK:
            case IDC_RENAME_VOLUME:
                if (!letter) return true;
                m_busy = true;  // the refresh timer waits
                if (id == IDC_PROTECT_DISK) ProtectDiskCommand(GetSafeHwnd(), letter);
                if (id == IDC_UNPROTECT_DISK) UnprotectDiskCommand(GetSafeHwnd(), letter);
                if (id == IDC_RENAME_VOLUME) RenameVolumeCommand(GetSafeHwnd(), letter);
                m_busy = false;
                m_tree.Refresh();
                return true;
            default:
                return false;
        }
    }

private:
    void FillSources() {
        const HWND list = Item(IDC_GEN_SOURCES);
        ListView_DeleteAllItems(list);
        for (std::size_t i = 0; i < m_sources.size(); ++i) {
            LVITEMW item = {};
            item.mask = LVIF_TEXT;
            item.iItem = static_cast<int>(i);
            item.pszText = const_cast<wchar_t*>(m_sources[i].c_str());
            ListView_InsertItem(list, &item);
        }
        ListView_SetColumnWidth(list, 0, m_sources.empty() ? LVSCW_AUTOSIZE_USEHEADER : LVSCW_AUTOSIZE);
    }

    void RefreshFreeSpace() {
        const std::wstring pattern = LoadResourceString(IDS_FREE_SPACE);
        ULARGE_INTEGER available = {};
        if (m_selected.empty() || !Praxon::Drive(m_selected[0]).hasDisk() ||
            !::GetDiskFreeSpaceExW(m_selected.substr(0, 3).c_str(), &available, nullptr, nullptr)) {
            SetItemText(IDC_FREE_SPACE, FormatInserts(pattern, {L""}));
            return;
        }
        SetItemText(IDC_FREE_SPACE, FormatInserts(pattern, {std::to_wstring(available.QuadPart >> 20)}));
    }

    SettingsFields& m_fields;
    std::vector<std::wstring> m_sources;
    std::wstring m_selected;
    CTVXDriveTree m_tree;
    bool m_busy = false;
};

// ----------------------------------------------------------------- Advanced

class CTVXMirrorAdvPage : public CTVXPropertyPage {
public:
    explicit CTVXMirrorAdvPage(SettingsFields& fields) : CTVXPropertyPage(IDD_PAGE_ADVANCED), m_fields(fields) {}

    // The page's choices into the fields (on OK, with mirroring on).
    void Take(SettingsFields& fields) const {
        const RevisionChoice choice = IsChecked(IDC_REV_UNLIMITED) ? RevisionChoice::kUnlimited
                                      : IsChecked(IDC_REV_LIMITED) ? RevisionChoice::kLimited
                                                                   : RevisionChoice::kNone;
        fields.revisions = RevisionsValue(choice, ClampRevisionLimit(ItemText(IDC_REV_LIMIT)));
        fields.iconStatus = IsChecked(IDC_TRAY_ICON) ? 1 : 0;
        fields.warnNoDisk = IsChecked(IDC_WARN_NO_DISK) ? 1 : 0;
        fields.buyStatus = IsChecked(IDC_WARN_FULL) ? 1 : 0;
        fields.progressStatus = IsChecked(IDC_SHOW_PROGRESS) ? 1 : 0;
    }

protected:
    BOOL OnInitDialog() override {
        SetHeadlineFonts(GetSafeHwnd(), IDC_PAGE_HEADLINE_FIRST, IDC_PAGE_HEADLINE_LAST);
        ::SendDlgItemMessageW(GetSafeHwnd(), IDC_REV_SPIN, UDM_SETRANGE32, 1, 999);
        SetCheck(IDC_TRAY_ICON, m_fields.iconStatus == 1);
        SetCheck(IDC_WARN_NO_DISK, m_fields.warnNoDisk == 1);
        SetCheck(IDC_WARN_FULL, m_fields.buyStatus == 1);
        SetCheck(IDC_SHOW_PROGRESS, m_fields.progressStatus == 1);
        const RevisionChoice choice = RevisionChoiceOf(m_fields.revisions);
        SetCheck(choice == RevisionChoice::kNone        ? IDC_REV_NONE
                 : choice == RevisionChoice::kUnlimited ? IDC_REV_UNLIMITED
                                                        : IDC_REV_LIMITED,
                 true);
        SetItemText(IDC_REV_LIMIT, std::to_wstring(RevisionLimitOf(m_fields.revisions)));
        EnableLimit();
        return TRUE;
    }

    bool OnCommand(UINT id, UINT code, HWND) override {
        if (id == IDC_REV_LIMIT && code == EN_CHANGE) {
            SetItemTextIfChanged(IDC_REV_LIMIT, std::to_wstring(ClampRevisionLimit(ItemText(IDC_REV_LIMIT))));
            return true;
        }
        if (code != BN_CLICKED) return false;
        if (id == IDC_REV_NONE || id == IDC_REV_UNLIMITED || id == IDC_REV_LIMITED) {
            EnableLimit();
            return true;
        }
        if (id == IDC_FILE_EXCLUSION) {
            std::vector<std::wstring> filter;
            if (RunFileExclusionDialog(GetSafeHwnd(), filter) == IDOK && !filter.empty())
                settings::WriteFilterList(filter);
            return true;
        }
        return false;
    }

private:
    void EnableLimit() const {
        const bool limited = IsChecked(IDC_REV_LIMITED);
        EnableItem(IDC_REV_LIMIT, limited);
        EnableItem(IDC_REV_SPIN, limited);
    }

    SettingsFields& m_fields;
};

// --------------------------------------------------------------- Scheduling

class CTVXSchedulerPage : public CTVXPropertyPage {
public:
    CTVXSchedulerPage() : CTVXPropertyPage(IDD_PAGE_SCHEDULING) {}

    ScheduleFields Take() const {
        ScheduleFields fields = m_loaded;
        fields.type = IsChecked(IDC_SCHED_EVERY) ? 1 : IsChecked(IDC_SCHED_DAYS) ? 2 : 0;
        fields.interval = ClampInterval(ItemText(IDC_SCHED_INTERVAL));
        const LRESULT unit = ::SendDlgItemMessageW(GetSafeHwnd(), IDC_SCHED_UNIT, CB_GETCURSEL, 0, 0);
        fields.unit = unit == CB_ERR ? 0 : static_cast<DWORD>(unit);
        fields.days = 0;
        for (int day = 0; day < 7; ++day)
            if (IsChecked(IDC_SCHED_SUNDAY + day)) fields.days |= 1u << day;
        SYSTEMTIME time = {};
        if (::SendDlgItemMessageW(GetSafeHwnd(), IDC_SCHED_TIME, DTM_GETSYSTEMTIME, 0,
                                  reinterpret_cast<LPARAM>(&time)) == GDT_VALID)
            fields.timeOfDay = time.wHour * 60u + time.wMinute;
        if (fields.type != 0) fields.atShutdown = IsChecked(IDC_SCHED_AT_SHUTDOWN) ? 1 : 0;
        return fields;
    }
    bool CopyChanged() const { return IsChecked(IDC_COPY_CHANGED); }
    bool CopyAll() const { return IsChecked(IDC_COPY_ALL); }

protected:
    BOOL OnInitDialog() override {
        const HWND unit = Item(IDC_SCHED_UNIT);
        for (const wchar_t* name : {L"Minutes", L"Hours"})
            ::SendMessageW(unit, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
        ::SendMessageW(unit, CB_SETCURSEL, 0, 0);
        ::SendDlgItemMessageW(GetSafeHwnd(), IDC_SCHED_SPIN, UDM_SETRANGE32, 1, 999);
        SYSTEMTIME now = {};
        ::GetLocalTime(&now);
        ::SendDlgItemMessageW(GetSafeHwnd(), IDC_SCHED_TIME, DTM_SETSYSTEMTIME, GDT_VALID,
                              reinterpret_cast<LPARAM>(&now));
        Load(now);
        Enable();
        return TRUE;
    }

    bool OnCommand(UINT id, UINT code, HWND) override {
        if (id == IDC_SCHED_INTERVAL && code == EN_CHANGE) {
            SetItemTextIfChanged(IDC_SCHED_INTERVAL, std::to_wstring(ClampInterval(ItemText(IDC_SCHED_INTERVAL))));
            return true;
        }
        if (code != BN_CLICKED) return false;
        if (id == IDC_SCHED_ON_SAVE || id == IDC_SCHED_EVERY || id == IDC_SCHED_DAYS) {
            Enable();
        } else if (id >= IDC_SCHED_SUNDAY && id < IDC_SCHED_SUNDAY + 7) {
            // Stored at once, before OK (and kept after Cancel).
            DWORD days = 0;
            settings::ReadNumber(settings::kSchedulerDays, days);
            days = DayBitsAfterClick(days, static_cast<int>(id - IDC_SCHED_SUNDAY), IsChecked(static_cast<int>(id)));
            settings::WriteNumber(settings::kSchedulerDays, days);
        } else if (id == IDC_COPY_CHANGED) {
            EnableItem(IDC_COPY_ALL, !IsChecked(IDC_COPY_CHANGED));
        } else if (id == IDC_COPY_ALL) {
            EnableItem(IDC_COPY_CHANGED, !IsChecked(IDC_COPY_ALL));
        } else {
            return false;
        }
        return true;
    }

private:
    // Each value only when it can be read; the page's defaults stay otherwise.
    void Load(SYSTEMTIME today) {
        DWORD value = 0;
        const auto read = [&value](const wchar_t* name) {
            DWORD size = sizeof(value);
            return ::RegGetValueW(HKEY_CURRENT_USER, settings::kOptionsKey, name, RRF_RT_REG_DWORD, nullptr, &value,
                                  &size) == ERROR_SUCCESS;
        };
        if (read(settings::kSchedulerType)) m_loaded.type = value;
        if (read(settings::kSchedulerInterval)) m_loaded.interval = value;
        if (read(settings::kSchedulerIntervalUnit)) m_loaded.unit = value;
        if (read(settings::kSchedulerDays)) m_loaded.days = value;
        if (read(settings::kSchedulerAtShutdown)) m_loaded.atShutdown = value;
        if (read(settings::kSchedulerTimeOfDay)) {
            m_loaded.timeOfDay = value;
            today.wHour = static_cast<WORD>((value / 60) % 24);
            today.wMinute = static_cast<WORD>(value % 60);
            today.wSecond = 0;
            ::SendDlgItemMessageW(GetSafeHwnd(), IDC_SCHED_TIME, DTM_SETSYSTEMTIME, GDT_VALID,
                                  reinterpret_cast<LPARAM>(&today));
        }
        SetCheck(m_loaded.type == 1 ? IDC_SCHED_EVERY : m_loaded.type == 2 ? IDC_SCHED_DAYS : IDC_SCHED_ON_SAVE, true);
        SetItemText(IDC_SCHED_INTERVAL, std::to_wstring(ClampInterval(std::to_wstring(m_loaded.interval))));
        ::SendDlgItemMessageW(GetSafeHwnd(), IDC_SCHED_UNIT, CB_SETCURSEL, m_loaded.unit == 1 ? 1 : 0, 0);
        for (int day = 0; day < 7; ++day) SetCheck(IDC_SCHED_SUNDAY + day, (m_loaded.days >> day) & 1u);
        SetCheck(IDC_SCHED_AT_SHUTDOWN, m_loaded.atShutdown == 1);
    }

    void Enable() const {
        const bool every = IsChecked(IDC_SCHED_EVERY), days = IsChecked(IDC_SCHED_DAYS);
        for (const int id : {IDC_SCHED_INTERVAL, IDC_SCHED_SPIN, IDC_SCHED_UNIT}) EnableItem(id, every);
        for (int day = 0; day < 7; ++day) {
            EnableItem(IDC_SCHED_SUNDAY + day, days);
            EnableItem(IDC_SCHED_DAY_LABEL + day, days);
        }
        EnableItem(IDC_SCHED_TIME, days);
        EnableItem(IDC_SCHED_AT_SHUTDOWN, every || days);
    }

    ScheduleFields m_loaded;
};

// ------------------------------------------------------------------- window

class CTVXMirrorSettingsDlg : public CTVXBaseDlg {
public:
    CTVXMirrorSettingsDlg(HWND owner, SettingsFields fields)
        : CTVXBaseDlg(IDD_SETTINGS, owner),
          m_fields(std::move(fields)),
          m_openedWith(m_fields.destination),
          m_general(m_fields),
          m_advanced(m_fields) {}

    const SettingsFields& Fields() const { return m_fields; }
    bool CopyChanged() const { return m_copyChanged; }
    bool CopyAll() const { return m_copyAll; }

protected:
    BOOL OnInitDialog() override {
        CTVXBaseDlg::OnInitDialog();
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_TAB_CLASSES | ICC_DATE_CLASSES | ICC_UPDOWN_CLASS |
                                                               ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES};
        ::InitCommonControlsEx(&controls);
        RECT place = {};
        ::GetWindowRect(Item(IDC_SHEET_PLACE), &place);
        ::MapWindowPoints(nullptr, GetSafeHwnd(), reinterpret_cast<POINT*>(&place), 2);
        ::DestroyWindow(Item(IDC_SHEET_PLACE));
        m_sheet = CreateChildPropertySheet(GetSafeHwnd(), {&m_general, &m_advanced, &m_scheduling},
                                           POINT{place.left, place.top}, IDC_SHEET_PLACE);
        FitAroundSheet(place);
        PageKeys().sheet = m_sheet;
        PageKeys().hook = ::SetWindowsHookExW(WH_MSGFILTER, &PageKeyFilter, nullptr, ::GetCurrentThreadId());
        return TRUE;
    }

    bool OnCommand(UINT id, UINT code, HWND) override {
        if (id == IDC_SETTINGS_HELP && code == BN_CLICKED) {
            OpenHelpPage(GetSafeHwnd(), kHelpSettings);
            return true;
        }
        return false;
    }

    void OnOK() override {
        if (m_general.MirrorOn()) {
            m_fields.mirrorOn = 1;
            m_fields.destination = m_general.SelectedDestination();
            m_fields.sources = m_general.Sources();
            m_advanced.Take(m_fields);
        } else {
            m_fields.mirrorOn = 0;
        }
        if (m_fields.mirrorOn == 1) {
            if (!Validate()) return;
            ConfirmDisk();
            WriteFields();
        }
        EndDialog(IDOK);
    }

    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_DESTROY && PageKeys().hook) {
            ::UnhookWindowsHookEx(PageKeys().hook);
            PageKeys() = {};
        }
        return CTVXBaseDlg::DialogProc(message, wParam, lParam);
    }

private:
    // Ctrl+Tab and Ctrl+Shift+Tab turn the pages, as in any tabbed window:
    // the window's modal loop does not hand keys to the sheet, so a filter
    // of the thread's dialog messages does.
    struct PageKeyState {
        HWND sheet = nullptr;
        HHOOK hook = nullptr;
    };
    static PageKeyState& PageKeys() {
        thread_local PageKeyState state;
        return state;
    }
    static LRESULT CALLBACK PageKeyFilter(int code, WPARAM wParam, LPARAM lParam) noexcept {
        const MSG* message = reinterpret_cast<const MSG*>(lParam);
        const PageKeyState& keys = PageKeys();
        if (code == MSGF_DIALOGBOX && message->message == WM_KEYDOWN && message->wParam == VK_TAB &&
            (::GetKeyState(VK_CONTROL) & 0x8000) && keys.sheet) {
            const HWND tabs = PropSheet_GetTabControl(keys.sheet);
            const int count = TabCtrl_GetItemCount(tabs);
            const int step = (::GetKeyState(VK_SHIFT) & 0x8000) ? count - 1 : 1;
            if (count > 0) {
                const int next = (TabCtrl_GetCurSel(tabs) + step) % count;
                ::SendMessageW(keys.sheet, PSM_SETCURSEL, static_cast<WPARAM>(next), 0);
                return TRUE;
            }
        }
        return ::CallNextHookEx(nullptr, code, wParam, lParam);
    }

    // The window's buttons go under the sheet, and the window fits both.
    void FitAroundSheet(const RECT& place) {
        if (!m_sheet) return;
        // The sheet ends under its tabs: its own buttons' room is cut off.
        RECT tabs = {};
        ::GetWindowRect(PropSheet_GetTabControl(m_sheet), &tabs);
        ::MapWindowPoints(nullptr, m_sheet, reinterpret_cast<POINT*>(&tabs), 2);
        ::SetWindowPos(m_sheet, nullptr, 0, 0, tabs.right + tabs.left, tabs.bottom + tabs.left,
                       SWP_NOMOVE | SWP_NOZORDER);
        RECT sheet = {};
        ::GetWindowRect(m_sheet, &sheet);
        ::MapWindowPoints(nullptr, GetSafeHwnd(), reinterpret_cast<POINT*>(&sheet), 2);
        RECT ok = {};
        ::GetWindowRect(Item(IDOK), &ok);
        ::MapWindowPoints(nullptr, GetSafeHwnd(), reinterpret_cast<POINT*>(&ok), 2);
        const int gap = ok.bottom - ok.top;
        const int right = std::max<int>(sheet.right, place.right);
        const int top = sheet.bottom + gap / 2;
        int x = right;
        for (const int id : {IDC_SETTINGS_HELP, IDCANCEL, IDOK}) {
            RECT button = {};
            ::GetWindowRect(Item(id), &button);
            const int width = button.right - button.left;
            x -= width;
            ::SetWindowPos(Item(id), nullptr, x, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
            x -= gap / 3;
        }
        RECT client = {0, 0, right + place.left, top + gap + gap / 2};
        const DWORD style = static_cast<DWORD>(::GetWindowLongPtrW(GetSafeHwnd(), GWL_STYLE));
        const DWORD exStyle = static_cast<DWORD>(::GetWindowLongPtrW(GetSafeHwnd(), GWL_EXSTYLE));
        ::AdjustWindowRectEx(&client, style, FALSE, exStyle);
        ::SetWindowPos(GetSafeHwnd(), nullptr, 0, 0, client.right - client.left, client.bottom - client.top,
                       SWP_NOMOVE | SWP_NOZORDER);
        ::SendMessageW(GetSafeHwnd(), DM_REPOSITION, 0, 0);
    }

    // The destination as a drive root, the sources there and acceptable to
    // go with it. False (with the reason shown) keeps the window open.
    bool Validate() {
        m_fields.destination = DestinationRoot(m_fields.destination);
        for (const std::wstring& source : m_fields.sources) {
            if (::GetFileAttributesW(source.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
            if (Prompt(IDD_SOURCE_MISSING, GetSafeHwnd(), source) != IDOK) return false;
            const int made = ::SHCreateDirectoryExW(GetSafeHwnd(), source.c_str(), nullptr);
            if (made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS) {
                Prompt(IDD_INVALID_PATH, GetSafeHwnd(), source);
                return false;
            }
        }
        for (const std::wstring& source : m_fields.sources) {
            if (CheckSourceOnThisSystem(source, m_fields.destination) == SourceConflict::kNoConflict) continue;
            Trace(L"settings: %ls cannot go with the destination %ls", source.c_str(), m_fields.destination.c_str());
            Prompt(IDD_SAME_DRIVE, GetSafeHwnd(), source);
            return false;
        }
        return true;
    }

    // The disk in the destination drive against the program's disk.
    void ConfirmDisk() {
        if (m_fields.destination.empty()) return;
        timeseam::Sleep(2000);
        std::wstring current = DiskIdIn(m_fields.destination);
        while (current != m_fields.diskId && current != L"0" && m_fields.diskId != L"0" &&
               !IsNotTavrix(m_fields.diskId) && m_fields.destination == m_openedWith) {
            const INT_PTR answer = Prompt(IDD_NOT_MY_DISK, GetSafeHwnd(), m_fields.destination);
            if (answer == IDOK) {
                current = DiskIdIn(m_fields.destination);
                continue;
            }
            if (answer == kMakeCurrentDisk) m_fields.diskId = current;
            break;
        }
        if (m_fields.destination != m_openedWith) m_fields.diskId = current;
        if (!Praxon::Drive(m_fields.destination[0]).isTavrixDrive()) m_fields.diskId = L"NotTavrix";
    }

    void WriteFields() {
        settings::WriteDestination(m_fields.destination);
        settings::WriteSourceList(m_fields.sources);
        settings::WriteIconStatus(m_fields.iconStatus);
        settings::WriteMirrorStatus(m_fields.mirrorOn);
        settings::WriteRevisions(m_fields.revisions);
        settings::WriteWarningStatus(m_fields.warnNoDisk);
        settings::WriteDiskID(m_fields.diskId);
        settings::WriteBuyStatus(m_fields.buyStatus);
        settings::WriteProgressStatus(m_fields.progressStatus);
        const ScheduleFields schedule = m_scheduling.Take();
        settings::WriteNumber(settings::kSchedulerType, schedule.type);
        settings::WriteNumber(settings::kSchedulerInterval, schedule.interval);
        settings::WriteNumber(settings::kSchedulerIntervalUnit, schedule.unit);
        settings::WriteNumber(settings::kSchedulerDays, schedule.days);
        settings::WriteNumber(settings::kSchedulerTimeOfDay, schedule.timeOfDay);
        settings::WriteNumber(settings::kSchedulerAtShutdown, schedule.atShutdown);
        m_copyChanged = m_scheduling.CopyChanged();
        m_copyAll = !m_copyChanged && m_scheduling.CopyAll();
    }

    SettingsFields m_fields;
    std::wstring m_openedWith;
    CTVXMirrorGenPage m_general;
    CTVXMirrorAdvPage m_advanced;
    CTVXSchedulerPage m_scheduling;
    HWND m_sheet = nullptr;
    bool m_copyChanged = false;
    bool m_copyAll = false;
};

}  // namespace

SettingsFields LoadSettingsFields() {
    SettingsFields fields;
    settings::ReadSourceList(fields.sources);
    settings::ReadDestination(fields.destination);
    settings::ReadDiskID(fields.diskId);
    if (fields.diskId.empty()) fields.diskId = L"0";
    settings::ReadMirrorStatus(fields.mirrorOn);
    settings::ReadRevisions(fields.revisions);
    settings::ReadWarningStatus(fields.warnNoDisk);
    settings::ReadIconStatus(fields.iconStatus);
    settings::ReadBuyStatus(fields.buyStatus);
    settings::ReadProgressStatus(fields.progressStatus);
    return fields;
}

INT_PTR RunSettingsWindow(HWND owner, SettingsOutcome* outcome) {
    Trace(L"ui: settings sheet");
    const SettingsFields before = LoadSettingsFields();
    ShowSplash(settings::SpecialKeyExists() ? L"IDB_SPLISH" : L"IDB_SPLASH", 750);
    CTVXMirrorSettingsDlg window(owner, before);
    if (window.DoModal() != IDOK) return IDCANCEL;
    const SettingsFields& after = window.Fields();
    SettingsOutcome result;
    if (after.mirrorOn == 1) {
        // A new destination starts with a complete copy.
        if (after.destination != before.destination) settings::WriteStartTime(0);
        settings::WriteMirrorStatus(1);
    } else if (AskTurnOff(owner) == IDOK) {
        settings::WriteMirrorStatus(0);
    }
    result.iconChanged = after.iconStatus != before.iconStatus;
    result.iconStatus = after.iconStatus;
    result.copyChanged = window.CopyChanged();
    result.copyAll = window.CopyAll();
    if (result.copyAll) settings::WriteStartTime(0);
    if (outcome) *outcome = result;
    return IDOK;
}

}  // namespace tvx::ui
