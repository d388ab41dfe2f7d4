#include "ui/FolderPicker.h"

#include <commctrl.h>

#include <algorithm>
#include <memory>

#include "framework/FolderWalk.h"
#include "framework/ResourceString.h"
#include "framework/TimeSeam.h"
#include "framework/Trace.h"
#include "media/Praxon.h"
#include "res/resource.h"
#include "ui/BaseDlg.h"
#include "ui/DriveTree.h"
#include "ui/Help.h"
#include "ui/Prompts.h"

namespace tvx::ui {
namespace {

// The copy size is shown anew every second while the picker is open.
constexpr UINT_PTR kSizeTimer = 696969;
constexpr DWORD kSizeEveryMs = 1000;
// Room after the widest folder in the list's column, in pixels at 96 DPI.
constexpr int kColumnMargin = 50;
// The typed path of a new folder holds at most this many characters.
constexpr int kMostNewFolderChars = 255;
// The drag image's hot spot, in pixels from its top left corner.
constexpr int kDragHotSpot = 8;

std::wstring WithoutTrailingSlash(std::wstring path) {
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

// "D:\Work" and "c:\work" name the same folder on two drives.
bool SameFolderOnOtherDrive(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() && a.size() >= 2 && a[1] == L':' && b[1] == L':' &&
           ::towupper(a[0]) != ::towupper(b[0]) && CompareNoCase(a.substr(1), b.substr(1)) == 0;
}

bool SameFolderOnOtherDrive(const std::wstring& path, const std::vector<std::wstring>& listed) {
    return std::any_of(listed.begin(), listed.end(),
                       [&](const std::wstring& other) { return SameFolderOnOtherDrive(path, other); });
}

INT_PTR Ask(int dialog, const std::wstring& path, HWND owner) {
    PromptRequest request;
    request.dialog = dialog;
    request.text = path;
    return ShowPromptDialog(request, owner);
}

// A folder can be made at the path: "X:" or "X:\..." on a drive that exists,
// is not one of the program's drives and is not removable, with no empty
// folder name ("\\") in it.
bool IsCreatablePath(const std::wstring& path) {
    if (path.size() < 2 || path[1] != L':' || (path.size() > 2 && path[2] != L'\\')) return false;
    const wchar_t letter = static_cast<wchar_t>(::towupper(path[0]));
    if (letter < L'A' || letter > L'Z' || !(::GetLogicalDrives() & (1u << (letter - L'A')))) return false;
    if (path.find(L"\\\\") != std::wstring::npos) return false;
    const std::wstring root = std::wstring(1, letter) + L":\\";
    return ::GetDriveTypeW(root.c_str()) != DRIVE_REMOVABLE && !Praxon::Drive(letter).isTavrixDrive();
}

// Makes every folder along the path in turn. A level that exists, or that
// the system refuses as access denied (a protected folder that exists, such
// as a drive's system folders), counts as done; in the end the path must be
// a folder.
bool CreateFolderPath(const std::wstring& path) {
    for (size_t at = 3; at <= path.size(); ++at) {
        if (at < path.size() && path[at] != L'\\') continue;
        if (::CreateDirectoryW(ExtendedLengthPath(path.substr(0, at)).c_str(), nullptr)) continue;
        const DWORD error = ::GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_ACCESS_DENIED) {
            Trace(L"new folder %ls: not made (%lu)", path.c_str(), error);
            return false;
        }
    }
    const DWORD attributes = ::GetFileAttributesW(ExtendedLengthPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// "Enter the name of the folder you would like to create:" with the path
// typed in full. OK makes the folder (and every folder above it that is
// missing); the dialog stays open on a path it cannot take.
class CTVXNewFolderDlg : public CTVXBaseDlg {
public:
    CTVXNewFolderDlg(HWND owner, std::wstring start, const std::vector<std::wstring>& listed)
        : CTVXBaseDlg(IDD_NEW_FOLDER, owner), m_path(std::move(start)), m_listed(listed) {}

    const std::wstring& Path() const noexcept { return m_path; }

protected:
    BOOL OnInitDialog() override {
        CTVXBaseDlg::OnInitDialog();
        const HWND edit = Item(IDC_NEW_FOLDER_NAME);
        ::SendMessageW(edit, EM_LIMITTEXT, kMostNewFolderChars, 0);
        SetItemText(IDC_NEW_FOLDER_NAME, m_path);
        // The caret after the path: the user types the new name there.
        const auto end = static_cast<WPARAM>(m_path.size());
        ::SendMessageW(edit, EM_SETSEL, end, static_cast<LPARAM>(end));
        ::SetFocus(edit);
        return FALSE;
    }

    void OnOK() override {
        const std::wstring typed = ItemText(IDC_NEW_FOLDER_NAME);
        const HWND self = GetSafeHwnd();
        if (!IsCreatablePath(typed)) {
            Ask(IDD_INVALID_PATH, typed, self);
            return;
        }
        const std::wstring path = WithoutTrailingSlash(typed);
        if (SameFolderOnOtherDrive(path, m_listed) && Ask(IDD_SAME_FOLDER, path, self) != IDOK) return;
        if (path.size() > 2 && !CreateFolderPath(path)) {
            Ask(IDD_INVALID_PATH, typed, self);
            return;
        }
        m_path = path;
        EndDialog(IDOK);
    }

private:
    std::wstring m_path;
    const std::vector<std::wstring>& m_listed;
};

class CTVXFolderPickerDlg : public CTVXBaseDlg {
public:
    CTVXFolderPickerDlg(HWND owner, const std::vector<std::wstring>& given)
        : CTVXBaseDlg(IDD_FOLDER_PICKER, owner), m_given(given) {}

    const std::vector<std::wstring>& Result() const noexcept { return m_result; }

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    bool OnCommand(UINT id, UINT code, HWND control) override;
    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    HWND List() const noexcept { return Item(IDC_SOURCE_LIST); }
    int ListCount() const noexcept { return ListView_GetItemCount(List()); }
    std::vector<std::wstring> ListedFolders() const;
    // The path is listed already, in any letter case.
    bool IsListed(const std::wstring& path) const;
    int Scaled(int pixels) const noexcept;
    // The column is as wide as the widest folder listed so far needs, and
    // never narrower than the list (no scroll bar while all fits).
    void FitColumn() const;

    void FillSourceTree();
    // Adds a folder at the list's position `at` (-1: the end); asks about the
    // same folder on another drive when `ask`. False when nothing was added.
    bool AddFolder(const std::wstring& path, bool ask, int at = -1);
    void RemoveSelected();
    void NewFolder();
    void UpdateButtons() const;
    void RestartSizeCount();
    void ShowSize();
    void StopSizeCount() noexcept;
    bool OnNotify(const NMHDR& header);

    void BeginDrag(const NMTREEVIEWW& drag);
    void DragTo(POINT screen);
    void EndDrag(bool drop);
    int ListItemAt(POINT screen) const;
    void SetDropTarget(int item);

    const std::vector<std::wstring>& m_given;
    std::vector<std::wstring> m_result;
    std::wstring m_selectedPath;  // of the tree's selected item
    int m_widestText = 0;         // the widest folder listed so far, in pixels
    bool m_filling = false;       // the given list is being put in: buttons and count follow it
    CTVXFolderTree m_tree;
    std::unique_ptr<CTVXDriveImageList> m_images;
    CTVXFolderWalk m_sizeCount;

    // A drag from the tree: its image, the dragged folder, the list item
    // under the cursor (-1 for none).
    HIMAGELIST m_dragImage = nullptr;
    std::wstring m_dragPath;
    int m_dropTarget = -1;
};

int CTVXFolderPickerDlg::Scaled(int pixels) const noexcept {
    const UINT dpi = ::GetDpiForWindow(GetSafeHwnd());
    return ::MulDiv(pixels, dpi ? static_cast<int>(dpi) : 96, 96);
}

void CTVXFolderPickerDlg::FitColumn() const {
    const HWND list = List();
    RECT client{};
    ::GetClientRect(list, &client);
    ListView_SetColumnWidth(list, 0, m_widestText > client.right ? m_widestText : LVSCW_AUTOSIZE_USEHEADER);
}

BOOL CTVXFolderPickerDlg::OnInitDialog() {
    CTVXBaseDlg::OnInitDialog();
    const HCURSOR before = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));

    const HWND tree = Item(IDC_FOLDER_TREE), list = List();
    const UINT dpi = ::GetDpiForWindow(GetSafeHwnd());
    m_images = std::make_unique<CTVXDriveImageList>(::GetSystemMetricsForDpi(SM_CXSMICON, dpi ? dpi : 96));
    m_tree.Attach(tree);
    TreeView_SetImageList(tree, m_images->Get(), TVSIL_NORMAL);
    FillSourceTree();

    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT);
    ListView_SetImageList(list, m_images->Get(), LVSIL_SMALL);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = const_cast<wchar_t*>(L"Source Folders");
    ListView_InsertColumn(list, 0, &column);
    FitColumn();
    m_filling = true;  // one size count for the whole list, started below
    ::SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    for (const std::wstring& folder : m_given) AddFolder(folder, false);
    ::SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    m_filling = false;

    // The tree opens at the first listed folder, else at the first drive.
    if (m_given.empty() || !m_tree.Select(m_given.front())) {
        if (const HTREEITEM first = TreeView_GetRoot(tree)) TreeView_SelectItem(tree, first);
    }
    m_selectedPath = m_tree.SelectedPath();
    UpdateButtons();
    RestartSizeCount();
    ::SetTimer(GetSafeHwnd(), kSizeTimer, timeseam::Scale(kSizeEveryMs), nullptr);
    ::SetCursor(before);
    return TRUE;
}

// Every drive that exists, but the program's own drives: those hold the
// mirror, and a backup of the backup disk on itself makes no sense.
void CTVXFolderPickerDlg::FillSourceTree() {
    const DWORD present = ::GetLogicalDrives();
    for (int bit = 0; bit < 26; ++bit) {
        if (!(present & (1u << bit))) continue;
        const Praxon::Drive drive(static_cast<wchar_t>(L'A' + bit));
        if (drive.isTavrixDrive()) continue;
        const UINT type = ::GetDriveTypeW(drive.getDrvRootPath().c_str());
        m_tree.AddDrive(drive.letter(), DriveDisplayName(drive.letter()), DriveTypeImage(drive.letter(), type));
    }
}

std::vector<std::wstring> CTVXFolderPickerDlg::ListedFolders() const {
    std::vector<std::wstring> folders;
    const int count = ListCount();
    folders.reserve(static_cast<size_t>(count));
    std::vector<wchar_t> text(32768);
    for (int i = 0; i < count; ++i) {
        text[0] = 0;
        ListView_GetItemText(List(), i, 0, text.data(), static_cast<int>(text.size()));
        folders.emplace_back(text.data());
    }
    return folders;
}

bool CTVXFolderPickerDlg::IsListed(const std::wstring& path) const {
    // Only a text of the same length can be the same path.
    std::vector<wchar_t> text(path.size() + 2);
    for (int i = 0, count = ListCount(); i < count; ++i) {
        text[0] = 0;
        ListView_GetItemText(List(), i, 0, text.data(), static_cast<int>(text.size()));
        if (CompareNoCase(path, text.data()) == 0) return true;
    }
    return false;
}

bool CTVXFolderPickerDlg::AddFolder(const std::wstring& given, bool ask, int at) {
    const std::wstring path = WithoutTrailingSlash(given);
    if (path.empty() || static_cast<size_t>(ListCount()) >= kMostSourceFolders) return false;
    if (IsListed(path)) return false;
    if (ask && SameFolderOnOtherDrive(path, ListedFolders()) && Ask(IDD_SAME_FOLDER, path, GetSafeHwnd()) != IDOK)
        return false;

    const HWND list = List();
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = at < 0 ? ListCount() : at;
    item.pszText = const_cast<wchar_t*>(path.c_str());
    item.iImage = path.size() < 3 ? kImageFixedDrive : kImageFolder;
    if (ListView_InsertItem(list, &item) < 0) return false;

    const int width = ListView_GetStringWidth(list, path.c_str()) + Scaled(kColumnMargin);
    if (width > m_widestText) {
        m_widestText = width;
        FitColumn();
    }
    if (m_filling) return true;
    UpdateButtons();
    RestartSizeCount();
    return true;
}

void CTVXFolderPickerDlg::RemoveSelected() {
    const HWND list = List();
    bool removed = false;
    // One repaint for the lot: Wine otherwise repaints after every deletion.
    ::SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    for (int i = ListView_GetNextItem(list, -1, LVNI_SELECTED); i >= 0;
         i = ListView_GetNextItem(list, i - 1, LVNI_SELECTED)) {
        ListView_DeleteItem(list, i);
        removed = true;
    }
    ::SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(list, nullptr, TRUE);
    if (!removed) return;
    UpdateButtons();
    RestartSizeCount();
}

void CTVXFolderPickerDlg::NewFolder() {
    const std::vector<std::wstring> listed = ListedFolders();
    CTVXNewFolderDlg dialog(GetSafeHwnd(), WithoutTrailingSlash(m_selectedPath), listed);
    if (dialog.DoModal() != IDOK) return;
    // Asked already (if at all) in the new-folder dialog.
    AddFolder(dialog.Path(), false);
    m_tree.Select(dialog.Path());
}

void CTVXFolderPickerDlg::UpdateButtons() const {
    const size_t count = static_cast<size_t>(ListCount());
    EnableItem(IDC_ADD_FOLDER, count < kMostSourceFolders);
    EnableItem(IDOK, count > 0);
    EnableItem(IDC_REMOVE_FOLDER, ListView_GetSelectedCount(List()) > 0);
}

void CTVXFolderPickerDlg::RestartSizeCount() {
    m_sizeCount.Cancel();
    m_sizeCount.SetFolders(ListedFolders());
    try {
        if (ListCount() > 0) m_sizeCount.Start();
    } catch (const CTVXBaseError&) {
        TraceCaughtException(L"folder picker size count");
    }
    ShowSize();
}

void CTVXFolderPickerDlg::ShowSize() {
    // With nothing listed the count is not running and its totals are zero.
    const std::uint64_t bytes = ListCount() > 0 ? m_sizeCount.GetTotals().bytes : 0;
    SetItemText(IDC_COPY_SIZE, FormatInserts(LoadResourceString(IDS_COPY_SIZE), {std::to_wstring(bytes >> 20)}));
}

void CTVXFolderPickerDlg::StopSizeCount() noexcept {
    ::KillTimer(GetSafeHwnd(), kSizeTimer);
    m_sizeCount.Cancel();
}

void CTVXFolderPickerDlg::OnOK() {
    if (m_dragImage) return;
    if (ListCount() == 0) return;  // Enter while OK is disabled
    m_result = ListedFolders();
    StopSizeCount();
    EndDialog(IDOK);
}

void CTVXFolderPickerDlg::OnCancel() {
    // Esc during a drag ends the drag, not the picker.
    if (m_dragImage) {
        EndDrag(false);
        return;
    }
    StopSizeCount();
    EndDialog(IDCANCEL);
}

bool CTVXFolderPickerDlg::OnCommand(UINT id, UINT code, HWND) {
    if (code != BN_CLICKED) return false;
    switch (id) {
        case IDC_ADD_FOLDER: AddFolder(m_selectedPath, true); return true;
        case IDC_REMOVE_FOLDER: RemoveSelected(); return true;
        case IDC_NEW_FOLDER: NewFolder(); return true;
        case IDC_HELP_BUTTON: OpenHelpPage(GetSafeHwnd(), kHelpFolderPicker); return true;
        default: return false;
    }
}

bool CTVXFolderPickerDlg::OnNotify(const NMHDR& header) {
    if (header.idFrom == IDC_FOLDER_TREE) {
        m_tree.OnNotify(header);
        if (header.code == TVN_SELCHANGEDW) {
            m_selectedPath = CTVXFolderTree::PathOf(m_tree.GetSafeHwnd(),
                                                    reinterpret_cast<const NMTREEVIEWW&>(header).itemNew.hItem);
        } else if (header.code == TVN_BEGINDRAGW) {
            BeginDrag(reinterpret_cast<const NMTREEVIEWW&>(header));
        }
        return false;  // TVN_ITEMEXPANDING: FALSE lets it expand
    }
    if (header.idFrom == IDC_SOURCE_LIST) {
        if (header.code == LVN_ITEMCHANGED) UpdateButtons();
        if (header.code == LVN_KEYDOWN && reinterpret_cast<const NMLVKEYDOWN&>(header).wVKey == VK_DELETE)
            RemoveSelected();
    }
    return false;
}

// ------------------------------------------------------------------ drag

void CTVXFolderPickerDlg::BeginDrag(const NMTREEVIEWW& drag) {
    m_dragPath = CTVXFolderTree::PathOf(m_tree.GetSafeHwnd(), drag.itemNew.hItem);
    m_dragImage = TreeView_CreateDragImage(m_tree.GetSafeHwnd(), drag.itemNew.hItem);
    if (!m_dragImage) return;
    ImageList_BeginDrag(m_dragImage, 0, kDragHotSpot, kDragHotSpot);
    POINT cursor{};
    ::GetCursorPos(&cursor);
    RECT window{};
    ::GetWindowRect(GetSafeHwnd(), &window);
    ImageList_DragEnter(GetSafeHwnd(), cursor.x - window.left, cursor.y - window.top);
    m_dropTarget = -1;
    ::SetCapture(GetSafeHwnd());
}

int CTVXFolderPickerDlg::ListItemAt(POINT screen) const {
    RECT listRect{};
    ::GetWindowRect(List(), &listRect);
    if (!::PtInRect(&listRect, screen)) return -2;  // not over the list
    LVHITTESTINFO hit{};
    hit.pt = screen;
    ::ScreenToClient(List(), &hit.pt);
    return ListView_HitTest(List(), &hit);
}

void CTVXFolderPickerDlg::SetDropTarget(int item) {
    if (item == m_dropTarget) return;
    ImageList_DragShowNolock(FALSE);
    if (m_dropTarget >= 0) ListView_SetItemState(List(), m_dropTarget, 0, LVIS_DROPHILITED);
    if (item >= 0) ListView_SetItemState(List(), item, LVIS_DROPHILITED, LVIS_DROPHILITED);
    m_dropTarget = item;
    ::UpdateWindow(List());
    ImageList_DragShowNolock(TRUE);
}

void CTVXFolderPickerDlg::DragTo(POINT screen) {
    RECT window{};
    ::GetWindowRect(GetSafeHwnd(), &window);
    ImageList_DragMove(screen.x - window.left, screen.y - window.top);
    SetDropTarget(std::max(ListItemAt(screen), -1));
}

void CTVXFolderPickerDlg::EndDrag(bool drop) {
    if (!m_dragImage) return;
    ImageList_DragLeave(GetSafeHwnd());
    ImageList_EndDrag();
    ImageList_Destroy(m_dragImage);
    m_dragImage = nullptr;
    SetDropTarget(-1);
    ::ReleaseCapture();  // WM_CAPTURECHANGED finds the drag over
    if (!drop) return;
    POINT cursor{};
    ::GetCursorPos(&cursor);
    const int at = ListItemAt(cursor);
    if (at != -2) AddFolder(m_dragPath, false, at);
}

INT_PTR CTVXFolderPickerDlg::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NOTIFY:
            OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
            return FALSE;
        case WM_TIMER:
            if (wParam != kSizeTimer) break;
            ShowSize();
            return TRUE;
        case WM_MOUSEMOVE:
            if (!m_dragImage) break;
            {
                POINT cursor{};
                ::GetCursorPos(&cursor);
                DragTo(cursor);
            }
            return TRUE;
        case WM_LBUTTONUP:
            if (!m_dragImage) break;
            EndDrag(true);
            return TRUE;
        case WM_CAPTURECHANGED:
            EndDrag(false);  // another window took the mouse: no drop
            break;
        case WM_DESTROY:
            StopSizeCount();
            break;
        default:
            break;
    }
    return CTVXBaseDlg::DialogProc(message, wParam, lParam);
}

}  // namespace

INT_PTR RunFolderPicker(HWND owner, std::vector<std::wstring>& sources) {
    CTVXFolderPickerDlg dialog(owner, sources);
    if (dialog.DoModal() != IDOK) return IDCANCEL;
    sources = dialog.Result();
    return IDOK;
}

}  // namespace tvx::ui
