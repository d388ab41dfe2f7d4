// The folder picker: where the user chooses the folders to back up (the
// sources). A tree of the computer's drives and folders (the program's own
// drives left out) on the left, the chosen folders on the right; "&Add >",
// "< &Remove" (or the Delete key in the list), a drag from the tree onto the
// list, "&New Folder...", and the size of what the listed folders hold,
// counted in the background while the picker is open.
//
// Rules of the list: at most 255 folders, each once (letter case does not
// make another folder); a folder with the same path as a listed one on
// another drive is added only after the user agreed (dialog 208) when it is
// added with the button or made new; a dragged folder is added without that
// question. Folders are listed without a trailing backslash ("C:" for a
// drive). OK is possible only with at least one folder listed.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace tvx::ui {

inline constexpr std::size_t kMostSourceFolders = 255;

// Shows the picker with `sources` listed, in order. IDOK: `sources` now holds
// the list as the user left it, in display order. IDCANCEL (also when the
// dialog could not be shown): `sources` is untouched.
INT_PTR RunFolderPicker(HWND owner, std::vector<std::wstring>& sources);

}  // namespace tvx::ui
