// The manual and addresses.
//
// The manual is a set of HTML pages beside the program file: index.html and
// the pages under resources\. Every "Help" button opens the page of its window
// with the shell. An address opens with the shell and, when the shell cannot,
// with the program registered for .htm documents.
#pragma once

#include <windows.h>

#include <string>

namespace tvx::ui {

// Pages of the manual, relative to the program's folder. The windows' string
// table holds the same names under the help string ids (res/Help.rc).
inline constexpr wchar_t kHelpIndex[] = L"index.html";                 // start page; the tray's "Help"
inline constexpr wchar_t kHelpWelcome[] = L"resources\\002.html";      // wizard: welcome
inline constexpr wchar_t kHelpDestination[] = L"resources\\003.html";  // wizard: destination drive
inline constexpr wchar_t kHelpSources[] = L"resources\\004.html";      // wizard: source folders
inline constexpr wchar_t kHelpFolderPicker[] = L"resources\\005.html"; // folder picker
inline constexpr wchar_t kHelpMessages[] = L"resources\\006.html";     // messages and prompts
inline constexpr wchar_t kHelpRevisions[] = L"resources\\007.html";    // wizard: revisions
inline constexpr wchar_t kHelpReview[] = L"resources\\008.html";       // wizard: review
inline constexpr wchar_t kHelpFinish[] = L"resources\\009.html";       // wizard: last page
inline constexpr wchar_t kHelpTray[] = L"resources\\010.html";         // tray icon, menu, progress window
inline constexpr wchar_t kHelpSettings[] = L"resources\\011.html";     // settings window, every tab
inline constexpr wchar_t kHelpExclusion[] = L"resources\\012.html";    // file exclusion dialog
inline constexpr wchar_t kHelpDisks[] = L"resources\\disks.html";      // choosing backup disks

// The page of the setup wizard's page index 0 to 6 (the welcome page serves
// index 1 as well); the welcome page for an index out of range.
const wchar_t* WizardHelpPage(int pageIndex) noexcept;

// Folder of the running program file, without a trailing backslash; empty when
// the module's path cannot be read.
std::wstring ProgramFolder();

// Opens program folder + "\" + relativePage with the shell's "open" verb,
// shown the default way. The shell shows no error box of its own; the result
// is only traced by the callers that do not look at it.
bool OpenHelpPage(HWND owner, const wchar_t* relativePage);

// Opens the manual's start page (kHelpIndex).
bool OpenHelpIndex(HWND owner);

// Full path of the page about backup disks: the address of the program's
// links that point to where more disks can be had.
std::wstring DisksPageAddress();

// Opens a document or web address with the shell's "open" verb. When the shell
// fails, starts the program registered for .htm documents with the address
// (see BrowserCommandLine). Returns a value greater than 32 on success,
// otherwise a reason code for HyperlinkFailureText.
INT_PTR OpenAddress(const std::wstring& address, int showCommand);

// The command line that opens `address` with the registered browser whose
// open command is `commandTemplate`: the template cut before a quoted "%1"
// (else before a bare %1, else whole), trailing blanks dropped, then a blank
// and the address (in double quotes when it holds a blank, so that a file
// path with blanks stays one argument).
std::wstring BrowserCommandLine(const std::wstring& commandTemplate, const std::wstring& address);

// "Unable to open hyperlink:\n\n" and the reason for an OpenAddress result.
std::wstring HyperlinkFailureText(INT_PTR result);

}  // namespace tvx::ui
