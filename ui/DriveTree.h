// The program's two drive trees and what they share.
//
// The source tree of the folder picker lists every drive but the program's
// own (Praxon decides which those are); the destination drive tree of the
// settings General page and of the setup wizard lists the drives of a mask,
// with the maker's icons, and follows changes of the folders on them.
//
// Both show a drive root as a top-level item ("X:\") and read the folders
// below an item the first time it is expanded, sorted by name without regard
// to case. An item's path is not stored: it is the root's letter (kept in the
// root item's data) followed by the texts of the folder items down to it.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/Handle.h"
#include "framework/Tvxthd.h"
#include "media/Praxon.h"

namespace tvx::ui {

// A change notification handle, closed with FindCloseChangeNotification.
struct ChangeNotificationTraits {
    using Type = HANDLE;
    static Type Empty() noexcept { return INVALID_HANDLE_VALUE; }
    static bool IsEmpty(Type h) noexcept { return h == nullptr || h == INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { ::FindCloseChangeNotification(h); }
};
using UniqueFindChangeHandle = UniqueHandleT<ChangeNotificationTraits>;

// Images of the drive image list. After kImageOpenFolder come the maker's
// drive icons, one slot per drive letter (MakerIconIndex).
enum DriveImage : int {
    kImageFixedDrive = 0,      // a fixed drive, and any type not named here
    kImageRemovableDrive = 1,  // a removable drive other than A: and B:
    kImageCdDrive = 2,
    kImageFloppyDrive = 3,     // a removable drive A: or B:
    kImageFolder = 4,
    kImageNetworkDrive = 5,
    kImageOpenFolder = 6,      // a selected folder
};
// The slot of a maker's drive icon: the letter's code minus 58 (A: 7, Z: 32).
constexpr int MakerIconIndex(wchar_t letter) noexcept { return static_cast<int>(letter) - 58; }
inline constexpr int kDriveImageCount = 33;

// The image of a drive by its type (GetDriveType's answer) and letter.
int DriveTypeImage(wchar_t letter, UINT driveType) noexcept;

// The system's display name of a drive's root ("Local Disk (C:)"), or "C:\"
// when it gives none.
std::wstring DriveDisplayName(wchar_t letter);

// The label of a drive in the destination tree: for the program's drives the
// kind of drive and the letter ("Removable drive (E:)"), else the display name.
std::wstring DriveTreeLabel(wchar_t letter);

// The drive image list, its icons sized for the tree's DPI. It belongs to
// the object (the trees never destroy their image lists).
class CTVXDriveImageList {
public:
    explicit CTVXDriveImageList(int iconSize);
    ~CTVXDriveImageList();
    CTVXDriveImageList(const CTVXDriveImageList&) = delete;
    CTVXDriveImageList& operator=(const CTVXDriveImageList&) = delete;

    HIMAGELIST Get() const noexcept { return m_list; }
    // The image of a drive root; for one of the maker's drives its own icon,
    // put into its letter's slot (the type's image when it has none).
    int ImageOf(const Praxon::Drive& drive);

private:
    HIMAGELIST m_list = nullptr;
    int m_iconSize;
};

// Drives and folders in a tree view control of a dialog. The owner of the
// dialog passes the tree's notifications to OnNotify.
class CTVXFolderTree {
public:
    void Attach(HWND tree) noexcept { m_tree = tree; }
    HWND GetSafeHwnd() const noexcept { return m_tree; }

    void Clear() noexcept;
    // Adds a drive root as the last top-level item.
    HTREEITEM AddDrive(wchar_t letter, const std::wstring& label, int image);

    // The full path of an item: "C:\" for a root, "C:\Users\Public" below it.
    static std::wstring PathOf(HWND tree, HTREEITEM item);
    // The path of the selected item, or empty.
    std::wstring SelectedPath() const;
    // Selects the item of the path (any letter case, trailing backslashes
    // ignored), expanding the folders along it and reading again a folder
    // whose list has gone stale; when only part of the path is there, the
    // deepest item found. False when not even its drive is listed.
    bool Select(const std::wstring& path);

    // TVN_ITEMEXPANDING: reads the folders below an item the first time.
    // Returns true when the notification was the tree's.
    bool OnNotify(const NMHDR& header);

private:
    void ReadChildren(HTREEITEM item, bool again);
    HTREEITEM FindChild(HTREEITEM parent, const std::wstring& name) const;

    HWND m_tree = nullptr;
};

// The destination drive tree: drives of a mask, each with its label and
// (for the program's drives) the maker's icon, and a change watcher on each
// drive's root but CD drives. A change of a folder name anywhere on a drive
// makes the tree read itself again 2,000 ms later (timer 747), keeping the
// selection.
//
// Attach takes over the tree control: it subclasses the control (for its
// timer and the watchers' reports) and, to see the tree's notifications, its
// parent, which still receives them all. Use it on the thread that owns the
// control. When the control is destroyed first, the object lets go of it by
// itself (and stops watching).
class CTVXDriveTree {
public:
    CTVXDriveTree() = default;
    ~CTVXDriveTree() { Detach(); }
    CTVXDriveTree(const CTVXDriveTree&) = delete;
    CTVXDriveTree& operator=(const CTVXDriveTree&) = delete;

    // Lists the drives of the mask (bit 0 for A:) that exist now and starts
    // watching them. False when the control is no window.
    bool Attach(HWND tree, DWORD driveMask);
    // Stops the watchers and lets go of the control and its parent.
    void Detach() noexcept;
    HWND GetSafeHwnd() const noexcept { return m_folders.GetSafeHwnd(); }

    // "E:\" for a drive, a folder's path below it, or empty.
    std::wstring SelectedPath() const { return m_folders.SelectedPath(); }
    bool Select(const std::wstring& path) { return m_folders.Select(path); }
    // Reads the drives again now, keeping the selection.
    void Refresh();
    // How many drive roots are being watched.
    std::size_t WatchedDrives() const noexcept { return m_watches.size(); }

    // The refresh's wait after a change, in milliseconds (through the time
    // seam), and its timer.
    static constexpr DWORD kRefreshDelayMs = 2000;
    static constexpr UINT_PTR kRefreshTimer = 747;

private:
    static LRESULT CALLBACK TreeProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                     DWORD_PTR self) noexcept;
    static LRESULT CALLBACK ParentProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                       DWORD_PTR self) noexcept;
    static DWORD WatchThread(CTVXThread* thread);
    void Fill();
    void StartWatching(const std::vector<wchar_t>& letters);
    void StopWatching() noexcept;

    CTVXFolderTree m_folders;
    std::unique_ptr<CTVXDriveImageList> m_images;
    DWORD m_mask = 0;
    HWND m_parent = nullptr;

    // The watchers: one change notification per drive root, all waited for
    // by one thread, which posts the tree a report for each change. The
    // thread reads these only while it runs; they change only after it ended.
    std::vector<UniqueFindChangeHandle> m_watches;
    UniqueHandle m_stopWatching;
    HWND m_reportTo = nullptr;
    CTVXThread m_watchThread;
};

}  // namespace tvx::ui
