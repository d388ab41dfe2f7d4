#include "ui/DriveTree.h"

#include <shellapi.h>
#include <shlobj.h>

#include "framework/FolderWalk.h"
#include "framework/TimeSeam.h"
#include "framework/Trace.h"

namespace tvx::ui {
namespace {

// An item's data: the drive letter for a root (0 for a folder), and a flag
// once the folders below it have been read.
constexpr LPARAM kLetterBits = 0xFFFF;
constexpr LPARAM kChildrenRead = 0x10000;

// A watcher's report to the tree: something changed on a drive.
constexpr UINT kDriveChanged = WM_APP + 747;

std::wstring RootOf(wchar_t letter) { return std::wstring(1, letter) + L":\\"; }

LPARAM ItemData(HWND tree, HTREEITEM item) {
    TVITEMW data{};
    data.mask = TVIF_PARAM | TVIF_HANDLE;
    data.hItem = item;
    return TreeView_GetItem(tree, &data) ? data.lParam : 0;
}

std::wstring ItemText(HWND tree, HTREEITEM item) {
    wchar_t text[MAX_PATH + 1] = {};
    TVITEMW data{};
    data.mask = TVIF_TEXT | TVIF_HANDLE;
    data.hItem = item;
    data.pszText = text;
    data.cchTextMax = MAX_PATH + 1;
    return TreeView_GetItem(tree, &data) ? text : L"";
}

// The system's icon of a kind of drive or folder at the size asked for: the
// icon of the shell's own resources (the same ids on Windows and Wine), else
// its stock icon (Wine's stock icons are all the document's).
HICON SystemIcon(int shellResource, SHSTOCKICONID id, int size) {
    if (const HMODULE shell = ::GetModuleHandleW(L"shell32.dll")) {
        if (const HANDLE icon = ::LoadImageW(shell, MAKEINTRESOURCEW(shellResource), IMAGE_ICON, size, size, 0))
            return static_cast<HICON>(icon);
    }
    SHSTOCKICONINFO info{};
    info.cbSize = sizeof(info);
    HICON icon = nullptr;
    if (SUCCEEDED(::SHGetStockIconInfo(id, SHGSI_ICONLOCATION, &info)) && info.szPath[0])
        ::SHDefExtractIconW(info.szPath, info.iIcon, 0, &icon, nullptr, static_cast<UINT>(size));
    return icon;
}

}  // namespace

// ------------------------------------------------------------ drive images

int DriveTypeImage(wchar_t letter, UINT driveType) noexcept {
    switch (driveType) {
        case DRIVE_REMOVABLE: {
            const wchar_t upper = static_cast<wchar_t>(::towupper(letter));
            return upper == L'A' || upper == L'B' ? kImageFloppyDrive : kImageRemovableDrive;
        }
        case DRIVE_CDROM: return kImageCdDrive;
        case DRIVE_REMOTE: return kImageNetworkDrive;
        default: return kImageFixedDrive;
    }
}

std::wstring DriveDisplayName(wchar_t letter) {
    const std::wstring root = RootOf(letter);
    SHFILEINFOW info{};
    if (::SHGetFileInfoW(root.c_str(), 0, &info, sizeof(info), SHGFI_DISPLAYNAME) && info.szDisplayName[0])
        return info.szDisplayName;
    return root;
}

std::wstring DriveTreeLabel(wchar_t letter) {
    const Praxon::Drive drive(letter);
    if (drive.isTavrixDrive()) {
        if (const std::wstring kind = drive.getSubFamilyText(); !kind.empty())
            return kind + L" (" + drive.letter() + L":)";
    }
    return DriveDisplayName(letter);
}

CTVXDriveImageList::CTVXDriveImageList(int iconSize) : m_iconSize(iconSize) {
    m_list = ImageList_Create(iconSize, iconSize, ILC_COLOR32 | ILC_MASK, kDriveImageCount, 0);
    if (!m_list) return;
    // Every slot exists from the start, so that an icon the system cannot
    // give leaves its slot empty rather than moving the ones after it.
    ImageList_SetImageCount(m_list, kDriveImageCount);
    // Each image's icon among the shell's resources, and its stock icon.
    const struct {
        int shellResource;
        SHSTOCKICONID stock;
    } icons[] = {{9, SIID_DRIVEFIXED}, {8, SIID_DRIVEREMOVE}, {12, SIID_DRIVECD}, {7, SIID_DRIVE35},
                 {4, SIID_FOLDER},     {10, SIID_DRIVENET},   {5, SIID_FOLDEROPEN}};
    static_assert(std::size(icons) == kImageOpenFolder + 1);
    for (int image = 0; image <= kImageOpenFolder; ++image) {
        if (const HICON icon = SystemIcon(icons[image].shellResource, icons[image].stock, iconSize)) {
            ImageList_ReplaceIcon(m_list, image, icon);
            ::DestroyIcon(icon);
        }
    }
}

CTVXDriveImageList::~CTVXDriveImageList() {
    if (m_list) ImageList_Destroy(m_list);
}

int CTVXDriveImageList::ImageOf(const Praxon::Drive& drive) {
    if (drive.isTavrixDrive() && m_list) {
        if (const UniqueIcon icon{drive.getIcon(m_iconSize)}) {
            const int slot = MakerIconIndex(drive.letter());
            ImageList_ReplaceIcon(m_list, slot, icon.Get());
            return slot;
        }
    }
    return DriveTypeImage(drive.letter(), ::GetDriveTypeW(drive.getDrvRootPath().c_str()));
}

// ------------------------------------------------------------- folder tree

void CTVXFolderTree::Clear() noexcept {
    if (m_tree) TreeView_DeleteAllItems(m_tree);
}

HTREEITEM CTVXFolderTree::AddDrive(wchar_t letter, const std::wstring& label, int image) {
    TVINSERTSTRUCTW insert{};
    insert.hParent = TVI_ROOT;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM | TVIF_CHILDREN;
    insert.item.pszText = const_cast<wchar_t*>(label.c_str());
    insert.item.iImage = insert.item.iSelectedImage = image;
    insert.item.cChildren = 1;  // until it is expanded and found empty
    insert.item.lParam = static_cast<LPARAM>(::towupper(letter));
    return TreeView_InsertItem(m_tree, &insert);
}

std::wstring CTVXFolderTree::PathOf(HWND tree, HTREEITEM item) {
    std::wstring below;
    for (HTREEITEM at = item; at;) {
        const HTREEITEM parent = TreeView_GetParent(tree, at);
        if (!parent) return RootOf(static_cast<wchar_t>(ItemData(tree, at) & kLetterBits)) + below;
        below = below.empty() ? ItemText(tree, at) : ItemText(tree, at) + L"\\" + below;
        at = parent;
    }
    return {};
}

std::wstring CTVXFolderTree::SelectedPath() const {
    const HTREEITEM selected = m_tree ? TreeView_GetSelection(m_tree) : nullptr;
    return selected ? PathOf(m_tree, selected) : std::wstring();
}

void CTVXFolderTree::ReadChildren(HTREEITEM item, bool again) {
    const LPARAM data = ItemData(m_tree, item);
    if ((data & kChildrenRead) && !again) return;
    for (HTREEITEM child = TreeView_GetChild(m_tree, item); child;) {
        const HTREEITEM next = TreeView_GetNextSibling(m_tree, child);
        TreeView_DeleteItem(m_tree, child);
        child = next;
    }
    const std::vector<std::wstring> names = ListSubfolders(PathOf(m_tree, item));
    for (const std::wstring& name : names) {
        TVINSERTSTRUCTW insert{};
        insert.hParent = item;
        insert.hInsertAfter = TVI_LAST;
        insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM | TVIF_CHILDREN;
        insert.item.pszText = const_cast<wchar_t*>(name.c_str());
        insert.item.iImage = kImageFolder;
        insert.item.iSelectedImage = kImageOpenFolder;
        insert.item.cChildren = 1;
        TreeView_InsertItem(m_tree, &insert);
    }
    TVITEMW update{};
    update.mask = TVIF_PARAM | TVIF_CHILDREN | TVIF_HANDLE;
    update.hItem = item;
    update.lParam = data | kChildrenRead;
    update.cChildren = names.empty() ? 0 : 1;
    TreeView_SetItem(m_tree, &update);
}

HTREEITEM CTVXFolderTree::FindChild(HTREEITEM parent, const std::wstring& name) const {
    for (HTREEITEM child = TreeView_GetChild(m_tree, parent); child; child = TreeView_GetNextSibling(m_tree, child)) {
        if (CompareNoCase(ItemText(m_tree, child), name) == 0) return child;
    }
    return nullptr;
}

bool CTVXFolderTree::Select(const std::wstring& path) {
    if (!m_tree || path.size() < 2 || path[1] != L':') return false;
    const LPARAM letter = static_cast<LPARAM>(::towupper(path[0]));
    HTREEITEM item = TreeView_GetRoot(m_tree);
    while (item && (ItemData(m_tree, item) & kLetterBits) != letter) item = TreeView_GetNextSibling(m_tree, item);
    if (!item) return false;

    for (size_t start = 2; start < path.size();) {
        size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos) end = path.size();
        const std::wstring name = path.substr(start, end - start);
        start = end + 1;
        if (name.empty()) continue;
        ReadChildren(item, false);
        HTREEITEM child = FindChild(item, name);
        if (!child) {
            // Made since the folder was read (a new folder, another program).
            ReadChildren(item, true);
            child = FindChild(item, name);
        }
        if (!child) break;
        TreeView_Expand(m_tree, item, TVE_EXPAND);
        item = child;
    }
    TreeView_SelectItem(m_tree, item);
    TreeView_EnsureVisible(m_tree, item);
    return true;
}

bool CTVXFolderTree::OnNotify(const NMHDR& header) {
    if (!m_tree || header.hwndFrom != m_tree) return false;
    if (header.code == TVN_ITEMEXPANDINGW) {
        const auto& change = reinterpret_cast<const NMTREEVIEWW&>(header);
        if (change.action & TVE_EXPAND) ReadChildren(change.itemNew.hItem, false);
    }
    return true;
}

// -------------------------------------------------------------- drive tree

bool CTVXDriveTree::Attach(HWND tree, DWORD driveMask) {
    Detach();
    if (!tree || !::IsWindow(tree)) return false;
    const auto id = reinterpret_cast<UINT_PTR>(this);
    if (!::SetWindowSubclass(tree, &TreeProc, id, reinterpret_cast<DWORD_PTR>(this))) return false;
    m_folders.Attach(tree);
    m_mask = driveMask;
    m_parent = ::GetParent(tree);
    if (m_parent && !::SetWindowSubclass(m_parent, &ParentProc, id, reinterpret_cast<DWORD_PTR>(this)))
        m_parent = nullptr;
    const UINT dpi = ::GetDpiForWindow(tree);
    m_images = std::make_unique<CTVXDriveImageList>(::GetSystemMetricsForDpi(SM_CXSMICON, dpi ? dpi : 96));
    TreeView_SetImageList(tree, m_images->Get(), TVSIL_NORMAL);
    Fill();
    return true;
}

void CTVXDriveTree::Detach() noexcept {
    StopWatching();
    const auto id = reinterpret_cast<UINT_PTR>(this);
    if (const HWND tree = m_folders.GetSafeHwnd()) {
        ::KillTimer(tree, kRefreshTimer);
        TreeView_SetImageList(tree, nullptr, TVSIL_NORMAL);
        ::RemoveWindowSubclass(tree, &TreeProc, id);
    }
    if (m_parent) ::RemoveWindowSubclass(m_parent, &ParentProc, id);
    m_parent = nullptr;
    m_folders.Attach(nullptr);
    m_images.reset();
}

void CTVXDriveTree::Fill() {
    StopWatching();
    m_folders.Clear();
    const DWORD present = ::GetLogicalDrives() & m_mask;
    std::vector<wchar_t> letters;
    for (int bit = 0; bit < 26; ++bit) {
        if (!(present & (1u << bit))) continue;
        const Praxon::Drive drive(static_cast<wchar_t>(L'A' + bit));
        m_folders.AddDrive(drive.letter(), DriveTreeLabel(drive.letter()), m_images->ImageOf(drive));
        letters.push_back(drive.letter());
    }
    StartWatching(letters);
}

void CTVXDriveTree::Refresh() {
    if (!m_folders.GetSafeHwnd()) return;
    const std::wstring selected = SelectedPath();
    Fill();
    if (!selected.empty()) Select(selected);
}

void CTVXDriveTree::StartWatching(const std::vector<wchar_t>& letters) {
    for (const wchar_t letter : letters) {
        const std::wstring root = RootOf(letter);
        if (::GetDriveTypeW(root.c_str()) == DRIVE_CDROM) continue;
        UniqueFindChangeHandle watch(::FindFirstChangeNotificationW(root.c_str(), TRUE, FILE_NOTIFY_CHANGE_DIR_NAME));
        if (watch) m_watches.push_back(std::move(watch));  // an empty drive has nothing to watch
    }
    if (m_watches.empty()) return;
    m_stopWatching.Attach(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    m_reportTo = m_folders.GetSafeHwnd();
    try {
        if (m_stopWatching) m_watchThread.Create(&CTVXDriveTree::WatchThread, this);
    } catch (const CTVXBaseError&) {
        TraceCaughtException(L"drive tree watch thread");
        m_stopWatching.Close();
    }
    if (!m_stopWatching) m_watches.clear();
}

void CTVXDriveTree::StopWatching() noexcept {
    if (m_stopWatching) {
        ::SetEvent(m_stopWatching.Get());
        try {
            m_watchThread.Wait(INFINITE);
        } catch (const CTVXBaseError&) {
            TraceCaughtException(L"drive tree watch thread (wait)");
        }
        m_stopWatching.Close();
    }
    m_watches.clear();
}

DWORD CTVXDriveTree::WatchThread(CTVXThread* thread) {
    auto* self = static_cast<CTVXDriveTree*>(thread->Argument());
    std::vector<HANDLE> waits{self->m_stopWatching.Get()};
    for (const UniqueFindChangeHandle& watch : self->m_watches) waits.push_back(watch.Get());
    for (;;) {
        const DWORD which = ::WaitForMultipleObjects(static_cast<DWORD>(waits.size()), waits.data(), FALSE, INFINITE);
        if (which == WAIT_OBJECT_0) return ERROR_SUCCESS;
        if (which >= WAIT_OBJECT_0 + waits.size()) return ::GetLastError();  // a failed wait
        ::PostMessageW(self->m_reportTo, kDriveChanged, 0, 0);
        // A drive whose watch cannot go on (its disk went) is left out; the
        // others are still watched.
        if (!::FindNextChangeNotification(waits[which - WAIT_OBJECT_0])) {
            waits.erase(waits.begin() + (which - WAIT_OBJECT_0));
            if (waits.size() == 1) return ERROR_SUCCESS;
        }
    }
}

LRESULT CALLBACK CTVXDriveTree::TreeProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                          DWORD_PTR data) noexcept {
    auto* self = reinterpret_cast<CTVXDriveTree*>(data);
    switch (message) {
        case kDriveChanged:
            // Changes come in bursts: the refresh follows the last one.
            ::SetTimer(hwnd, kRefreshTimer, timeseam::Scale(kRefreshDelayMs), nullptr);
            return 0;
        case WM_TIMER:
            if (wParam != kRefreshTimer) break;
            ::KillTimer(hwnd, kRefreshTimer);
            try {
                self->Refresh();
            } catch (...) {
                TraceCaughtException(L"drive tree refresh");
            }
            return 0;
        case WM_NCDESTROY:
            // The control goes before its owner object: stop and forget it.
            self->Detach();
            break;
        default:
            break;
    }
    return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK CTVXDriveTree::ParentProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                            DWORD_PTR data) noexcept {
    auto* self = reinterpret_cast<CTVXDriveTree*>(data);
    if (message == WM_NOTIFY) {
        try {
            self->m_folders.OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
        } catch (...) {
            TraceCaughtException(L"drive tree notification");
        }
    } else if (message == WM_NCDESTROY) {
        ::RemoveWindowSubclass(hwnd, &ParentProc, id);
        self->m_parent = nullptr;
    }
    return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

}  // namespace tvx::ui
