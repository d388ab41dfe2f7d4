#include "ui/FileExclusionDlg.h"

#include <commctrl.h>

#include <algorithm>
#include <string_view>

#include "framework/ResourceString.h"
#include "framework/Trace.h"
#include "res/resource.h"
#include "settings/Settings.h"
#include "ui/Help.h"

namespace tvx::ui {
namespace {

constexpr wchar_t kDescriptionColumn[] = L"Type Description";
constexpr wchar_t kExtensionColumn[] = L"Extension";

// Registry texts are read into buffers of this many bytes; longer names and
// values are passed over.
constexpr DWORD kMostRegistryBytes = 1024;
// ".ext" key names of 8 characters or more (an extension of 7 or more) and
// descriptions of 400 characters or more are not offered.
constexpr size_t kMostKeyNameChars = 7;
constexpr size_t kMostDescriptionChars = 399;

constexpr UINT_PTR kEditSubclassId = 0x74564845;  // our one subclass of the edit

// The default value of HKEY_CLASSES_ROOT\subkey; empty when the key cannot be
// opened, the value is missing, not a text, or longer than the buffer.
std::wstring ClassDefaultValue(const wchar_t* subkey) {
    wchar_t text[kMostRegistryBytes / sizeof(wchar_t)] = {};
    DWORD size = sizeof(text);
    if (::RegGetValueW(HKEY_CLASSES_ROOT, subkey, nullptr, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
        return {};
    return text;
}

bool EqualNoCase(const std::wstring& a, const std::wstring& b) {
    // Ordinal with the system's case table, as the mirror's own match does.
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

// ------------------------------------------------------- list view rows

int RowCount(HWND list) { return static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }

std::wstring CellText(HWND list, int row, int column) {
    // Typed extensions have no length limit: grow until the text fits.
    std::wstring text(64, L'\0');
    for (;;) {
        LVITEMW item = {};
        item.iSubItem = column;
        item.pszText = text.data();
        item.cchTextMax = static_cast<int>(text.size());
        const auto copied =
            static_cast<size_t>(::SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item)));
        if (copied + 1 < text.size()) {
            text.resize(copied);
            return text;
        }
        text.resize(text.size() * 4);
    }
}

FileType Row(HWND list, int row) { return FileType{CellText(list, row, 0), CellText(list, row, 1)}; }

std::vector<std::wstring> Extensions(HWND list) {
    std::vector<std::wstring> extensions;
    const int count = RowCount(list);
    extensions.reserve(static_cast<size_t>(count));
    for (int row = 0; row < count; ++row) extensions.push_back(CellText(list, row, 1));
    return extensions;
}

void AppendRow(HWND list, const FileType& type) {
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = RowCount(list);
    item.pszText = const_cast<wchar_t*>(type.description.c_str());
    const auto row = static_cast<int>(::SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (row < 0) return;
    LVITEMW cell = {};
    cell.iSubItem = 1;
    cell.pszText = const_cast<wchar_t*>(type.extension.c_str());
    ::SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&cell));
}

// The extension column takes what the description leaves of the list's
// width, less the scroll bar when the rows need one: no blank header at the
// right end and no horizontal scroll bar. Done again whenever rows come or go.
void FitExtensionColumn(HWND list) { ::SendMessageW(list, LVM_SETCOLUMNWIDTH, 1, LVSCW_AUTOSIZE_USEHEADER); }

// Moves the rows (ascending) to the end of the other list, keeping their order.
void MoveRows(HWND from, HWND to, const std::vector<int>& rows) {
    for (int row : rows) AppendRow(to, Row(from, row));
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) ::SendMessageW(from, LVM_DELETEITEM, *row, 0);
    FitExtensionColumn(from);
    FitExtensionColumn(to);
}

void MoveSelectedRows(HWND from, HWND to) {
    std::vector<int> rows;
    for (int row = -1; (row = static_cast<int>(::SendMessageW(from, LVM_GETNEXTITEM, row, LVNI_SELECTED))) >= 0;)
        rows.push_back(row);
    MoveRows(from, to, rows);
}

void SetUpColumns(HWND list) {
    ::SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    // The two columns fill the list beside room for its scroll bar.
    RECT client = {};
    ::GetClientRect(list, &client);
    const int width = client.right - ::GetSystemMetrics(SM_CXVSCROLL);
    const int extensionWidth = width * 3 / 10;
    const struct {
        const wchar_t* title;
        int width;
    } columns[] = {{kDescriptionColumn, width - extensionWidth}, {kExtensionColumn, extensionWidth}};
    for (int i = 0; i < 2; ++i) {
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = const_cast<wchar_t*>(columns[i].title);
        column.cx = columns[i].width;
        column.iSubItem = i;
        ::SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
}

}  // namespace

// ------------------------------------------------------------------ rules

std::vector<FileType> CollectFileTypes() {
    std::vector<FileType> types;
    wchar_t name[kMostRegistryBytes / sizeof(wchar_t)];
    for (DWORD index = 0;; ++index) {
        DWORD length = ARRAYSIZE(name);
        if (::RegEnumKeyExW(HKEY_CLASSES_ROOT, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        if (name[0] != L'.' || length > kMostKeyNameChars) continue;
        const std::wstring typeName = ClassDefaultValue(name);
        if (typeName.empty()) continue;
        std::wstring description = ClassDefaultValue(typeName.c_str());
        if (description.empty() || description.size() > kMostDescriptionChars) continue;
        types.push_back(FileType{std::move(description), std::wstring(name + 1, length - 1)});
    }
    return types;
}

std::wstring TypedExtension(const std::wstring& typed) {
    const size_t dot = typed.find(L'.');
    return dot == std::wstring::npos ? typed : typed.substr(dot + 1);
}

bool IsRefusedCharacter(wchar_t ch) noexcept {
    return std::wstring_view(L"/\\:*?\"<>|").find(ch) != std::wstring_view::npos;
}

bool MustClearTyped(const std::wstring& text) { return text.find_first_of(L"/\\:*\"") != std::wstring::npos; }

TypedPlacement PlaceTyped(const std::wstring& extension, const std::vector<std::wstring>& offered,
                          const std::vector<std::wstring>& excluded) {
    if (extension.empty()) return {};
    if (const auto match = std::find(offered.begin(), offered.end(), extension); match != offered.end())
        return {TypedPlacement::kMoveOffered, static_cast<size_t>(match - offered.begin())};
    if (std::any_of(excluded.begin(), excluded.end(), [&](const std::wstring& e) { return EqualNoCase(e, extension); }))
        return {};
    return {TypedPlacement::kAddUserDefined};
}

// ----------------------------------------------------------------- dialog

CTVXFileExclusionDlg::CTVXFileExclusionDlg(HWND parent, std::vector<std::wstring>& result) noexcept
    : CTVXBaseDlg(IDD_FILE_EXCLUSION, parent), m_result(result) {}

BOOL CTVXFileExclusionDlg::OnInitDialog() {
    CTVXBaseDlg::OnInitDialog();
    const HWND offered = Item(IDC_OFFERED_TYPES);
    SetUpColumns(offered);
    SetUpColumns(Item(IDC_EXCLUDED_TYPES));

    ::SendMessageW(offered, WM_SETREDRAW, FALSE, 0);
    for (const FileType& type : CollectFileTypes()) AppendRow(offered, type);
    ::SendMessageW(offered, WM_SETREDRAW, TRUE, 0);
    FitExtensionColumn(offered);
    FitExtensionColumn(Item(IDC_EXCLUDED_TYPES));

    // The stored list goes in as if each entry had been typed, so a stored
    // extension that a registered type has moves over with its description;
    // but whole, as it was stored: a stored "tar.gz" must not come back as
    // "gz" (which would leave out every .gz file).
    std::vector<std::wstring> stored;
    settings::ReadFilterList(stored);
    for (const std::wstring& extension : stored) AddTyped(extension, false);

    ::SetWindowSubclass(Item(IDC_TYPED_EXTENSION), EditProc, kEditSubclassId, 0);
    return TRUE;
}

void CTVXFileExclusionDlg::AddTyped(const std::wstring& text, bool typed) {
    if (text.empty()) return;
    const HWND offered = Item(IDC_OFFERED_TYPES), excluded = Item(IDC_EXCLUDED_TYPES);
    const std::wstring extension = typed ? TypedExtension(text) : text;
    const TypedPlacement placement = PlaceTyped(extension, Extensions(offered), Extensions(excluded));
    if (placement.kind == TypedPlacement::kMoveOffered) {
        MoveRows(offered, excluded, {static_cast<int>(placement.offeredRow)});
    } else if (placement.kind == TypedPlacement::kAddUserDefined) {
        AppendRow(excluded, FileType{LoadResourceString(IDS_USER_DEFINED_TYPE), extension});
        FitExtensionColumn(excluded);
    }
    SetItemText(IDC_TYPED_EXTENSION, L"");
}

void CTVXFileExclusionDlg::OnAdd() {
    if (m_editHasFocus) {
        AddTyped(ItemText(IDC_TYPED_EXTENSION));
    } else {
        MoveSelectedRows(Item(IDC_OFFERED_TYPES), Item(IDC_EXCLUDED_TYPES));
    }
}

void CTVXFileExclusionDlg::OnRemove() { MoveSelectedRows(Item(IDC_EXCLUDED_TYPES), Item(IDC_OFFERED_TYPES)); }

void CTVXFileExclusionDlg::OnOK() {
    // Enter is the default button's key: in the edit or the left list it
    // adds, in the right list it removes, and the dialog stays open.
    const HWND focus = ::GetFocus();
    if (focus == Item(IDC_TYPED_EXTENSION) || focus == Item(IDC_OFFERED_TYPES)) {
        OnAdd();
        return;
    }
    if (focus == Item(IDC_EXCLUDED_TYPES)) {
        OnRemove();
        return;
    }
    // A list writer leaves the stored value alone when the list is empty, so
    // the old list goes first; the caller stores the new one.
    if (const LONG error = settings::DeleteFilterList(); error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND)
        Trace(L"file exclusion: the stored list was not deleted (%ld)", error);
    const HWND excluded = Item(IDC_EXCLUDED_TYPES);
    m_result = Extensions(excluded);
    ::SendMessageW(excluded, LVM_DELETEALLITEMS, 0, 0);
    EndDialog(IDOK);
}

bool CTVXFileExclusionDlg::OnCommand(UINT id, UINT code, HWND) {
    switch (id) {
        case IDC_ADD_EXCLUSION:
            if (code == BN_CLICKED) OnAdd();
            return true;
        case IDC_REMOVE_EXCLUSION:
            if (code == BN_CLICKED) OnRemove();
            return true;
        case IDC_EXCLUSION_HELP:
            if (code == BN_CLICKED && !OpenHelpPage(GetSafeHwnd(), kHelpExclusion))
                Trace(L"file exclusion: the help page did not open");
            return true;
        case IDC_TYPED_EXTENSION:
            if (code == EN_SETFOCUS) m_editHasFocus = true;
            // Pasted text may bring what the keys cannot.
            if (code == EN_CHANGE && MustClearTyped(ItemText(IDC_TYPED_EXTENSION)))
                SetItemText(IDC_TYPED_EXTENSION, L"");
            return true;
        default:
            return false;
    }
}

INT_PTR CTVXFileExclusionDlg::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NOTIFY) {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->idFrom == IDC_OFFERED_TYPES) {
            if (header->code == NM_SETFOCUS) m_editHasFocus = false;
            if (header->code == NM_DBLCLK) OnAdd();
        } else if (header->idFrom == IDC_EXCLUDED_TYPES && header->code == NM_DBLCLK) {
            OnRemove();
        }
    }
    return CTVXBaseDlg::DialogProc(message, wParam, lParam);
}

LRESULT CALLBACK CTVXFileExclusionDlg::EditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                                DWORD_PTR) noexcept {
    // Characters that cannot be part of a file name are swallowed as typed
    // (the keypad's divide and multiply give / and * too).
    if (message == WM_CHAR && IsRefusedCharacter(static_cast<wchar_t>(wParam))) return 0;
    if (message == WM_NCDESTROY) ::RemoveWindowSubclass(hwnd, EditProc, id);
    return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

INT_PTR RunFileExclusionDialog(HWND owner, std::vector<std::wstring>& result) {
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&controls);
    CTVXFileExclusionDlg dialog(owner, result);
    return dialog.DoModal() == IDOK ? IDOK : IDCANCEL;
}

}  // namespace tvx::ui
