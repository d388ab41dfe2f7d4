// The File Exclusion dialog (template 200): the user picks the file types
// whose files the mirror leaves out. The left list offers the file types
// registered on the computer, the right list holds the extensions that will
// be excluded, and an edit takes an extension typed by hand.
//
// The stored list ("Filter") is read when the dialog opens and deleted when
// it ends with OK; the caller then writes the list handed back, unless it is
// empty. Cancel stores nothing.
//
// The rules that need no window (what a typed text adds, which texts are
// refused, which registered types are offered) are free functions, so that
// they can be checked on their own.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ui/BaseDlg.h"

namespace tvx::ui {

// One row of either list: the file type's description and its extension
// without the dot.
struct FileType {
    std::wstring description;
    std::wstring extension;

    bool operator==(const FileType&) const = default;
};

// The file types registered under HKEY_CLASSES_ROOT that the dialog offers,
// in the registry's enumeration order: every ".ext" key of at most 6
// characters after the dot whose type name leads to a description that is
// not empty and shorter than 400 characters. Keys that cannot be read are
// passed over.
std::vector<FileType> CollectFileTypes();

// The extension a typed text stands for: the text after its first dot
// ("archive.tar.gz" gives "tar.gz", ".MP3" gives "MP3"), the whole text when
// it has no dot. Empty stays empty.
std::wstring TypedExtension(const std::wstring& typed);

// A character whose key the edit swallows: / \ : * ? " < > |.
bool IsRefusedCharacter(wchar_t ch) noexcept;

// True when the edit's text (pasted, say) holds a slash, backslash, colon,
// asterisk or double quote: the whole text is then cleared.
bool MustClearTyped(const std::wstring& text);

// What adding a typed extension does to the two lists.
struct TypedPlacement {
    enum Kind {
        kNothing,         // empty, or already excluded (whatever its case)
        kMoveOffered,     // move the offered row whose extension is exactly this one
        kAddUserDefined,  // add a "User Defined Type" row to the excluded list
    };
    Kind kind = kNothing;
    size_t offeredRow = 0;  // kMoveOffered only
};

// Decides where `extension` goes, given the extensions of the offered (left)
// and excluded (right) lists, top to bottom. An offered type matches only
// with the same case; a duplicate in the excluded list is found whatever the
// case.
TypedPlacement PlaceTyped(const std::wstring& extension, const std::vector<std::wstring>& offered,
                          const std::vector<std::wstring>& excluded);

class CTVXFileExclusionDlg : public CTVXBaseDlg {
public:
    CTVXFileExclusionDlg(HWND parent, std::vector<std::wstring>& result) noexcept;

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    bool OnCommand(UINT id, UINT code, HWND control) override;
    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    static LRESULT CALLBACK EditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                     DWORD_PTR refData) noexcept;

    // typed: the text as the user typed it (only what follows its first dot
    // counts); otherwise an extension as it was stored.
    void AddTyped(const std::wstring& text, bool typed = true);
    void OnAdd();
    void OnRemove();

    // Set while the edit has (or last had) the focus, cleared when the left
    // list gets it: "&Add ->" then takes the typed text rather than the
    // selected file types, even though the click moved the focus to the button.
    bool m_editHasFocus = false;
    std::vector<std::wstring>& m_result;
};

// Shows the dialog modally. IDOK with `result` holding the excluded
// extensions top to bottom (and "Filter" deleted), or IDCANCEL with nothing
// stored and `result` untouched.
INT_PTR RunFileExclusionDialog(HWND owner, std::vector<std::wstring>& result);

}  // namespace tvx::ui
