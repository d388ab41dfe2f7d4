// The manual, addresses and the link control.
//
// The manual is a set of HTML pages beside the program file: index.html and
// the pages under resources\. Every "Help" button opens the page of its window
// with the shell. A link opens its address with the shell and, when the shell
// cannot, with the program registered for .htm documents; when that fails too,
// it tells the user why.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>

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

// A static text control of a dialog turned into a link: drawn underlined in
// the link colour, in the visited colour once it was opened, in the system's
// highlight colour while the mouse is over it; the hand cursor and a tool tip
// that shows the address. A click opens the address, and so do Space and Enter
// while the link has the keyboard focus (a link whose template makes it a tab
// stop can be reached with Tab). When the address cannot be opened, a message
// box says why.
//
// The object subclasses the control and owns the subclass, the underlined font
// and the tool tip; Detach (or the destructor) gives them back. When the
// control is destroyed first, the object lets go of it by itself. Use it on the
// thread that owns the control.
class CTVXHyperlink {
public:
    // Opens an address with a show command; a result above 32 is success.
    using Opener = std::function<INT_PTR(const std::wstring& address, int showCommand)>;

    static constexpr COLORREF kLinkColor = RGB(0, 0, 255);
    static constexpr COLORREF kVisitedColor = RGB(255, 0, 255);

    CTVXHyperlink();
    ~CTVXHyperlink();

    CTVXHyperlink(const CTVXHyperlink&) = delete;
    CTVXHyperlink& operator=(const CTVXHyperlink&) = delete;

    // Makes the static control a link to `address`. An empty address takes the
    // control's text; a control without text shows the address. Returns false
    // when the control is not a window or cannot be subclassed.
    bool Attach(HWND staticControl, std::wstring address = {});
    void Detach() noexcept;

    // A new address for the tool tip (and for the text, when the text showed
    // the address).
    void SetAddress(std::wstring address);
    const std::wstring& Address() const noexcept { return m_address; }

    HWND GetSafeHwnd() const noexcept { return m_hwnd; }
    bool IsVisited() const noexcept { return m_visited; }
    // The colour the text is drawn in now.
    COLORREF TextColor() const noexcept;

    // Opens the address as a click does: on success the link turns visited;
    // on failure a beep and a message box with the reason. True on success.
    bool Follow();

    // Replaces what opens the address (OpenAddress by default).
    void SetOpener(Opener opener) { m_opener = std::move(opener); }

private:
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR refData) noexcept;
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void Release(bool controlGoing) noexcept;
    void MakeFont() noexcept;
    void MakeToolTip() noexcept;
    void RelayToToolTip(UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    void Paint(HDC dc) noexcept;
    void Redraw() noexcept;

    HWND m_hwnd = nullptr;
    HWND m_toolTip = nullptr;
    HFONT m_font = nullptr;  // underlined copy of the control's font, ours
    std::wstring m_address;
    Opener m_opener;
    bool m_textIsAddress = false;  // the control had no text: it shows the address
    bool m_over = false;           // the mouse is over the control
    bool m_pressed = false;        // the left button went down on the control
    bool m_visited = false;
};

}  // namespace tvx::ui
