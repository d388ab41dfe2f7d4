// The manual's pages, opening addresses and the link control, in-process.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <string>
#include <thread>
#include <vector>

#include "tests/support/Automation.h"
#include "tests/ui/DialogDriver.h"
#include "ui/Help.h"

namespace tvx::ui {
namespace {

bool FileExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A small top-level window holding one static text control, as a dialog holds a link.
constexpr int kLinkId = 1147;
class LinkHost {
public:
    explicit LinkHost(const wchar_t* text) {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = ::DefWindowProcW;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"TvxLinkTestHost";
        ::RegisterClassW(&wc);  // a second registration fails harmlessly
        m_host = ::CreateWindowExW(0, wc.lpszClassName, L"Link test", WS_POPUP, 0, 0, 300, 60, nullptr, nullptr,
                                   wc.hInstance, nullptr);
        m_static = ::CreateWindowExW(0, L"STATIC", text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | SS_LEFT, 4, 4, 280,
                                     24, m_host, reinterpret_cast<HMENU>(kLinkId), wc.hInstance, nullptr);
    }
    ~LinkHost() {
        if (::IsWindow(m_host)) ::DestroyWindow(m_host);
    }
    HWND Host() const { return m_host; }
    HWND Static() const { return m_static; }

    std::wstring Text() const { return testing::Text(m_host, kLinkId); }
    void Click() const {
        ::SendMessageW(m_static, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
        ::SendMessageW(m_static, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    }
    // Whether the control, painted as it is now, shows any pixel of exactly this colour.
    bool Shows(COLORREF colour) const {
        RECT client;
        ::GetClientRect(m_static, &client);
        BITMAPINFO info = {{sizeof(BITMAPINFOHEADER), client.right, -client.bottom, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
        void* bits = nullptr;
        const HDC dc = ::CreateCompatibleDC(nullptr);
        const HBITMAP bitmap = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        const HGDIOBJ old = ::SelectObject(dc, bitmap);
        ::SendMessageW(m_static, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
        ::GdiFlush();
        const auto* pixels = static_cast<const RGBQUAD*>(bits);
        bool found = false;
        for (LONG i = 0; i < client.right * client.bottom && !found; ++i)
            found = RGB(pixels[i].rgbRed, pixels[i].rgbGreen, pixels[i].rgbBlue) == colour;
        ::SelectObject(dc, old);
        ::DeleteObject(bitmap);
        ::DeleteDC(dc);
        return found;
    }

private:
    HWND m_host = nullptr;
    HWND m_static = nullptr;
};

TEST(HelpPages, EveryPageNameNamesAPageTheBuildCopied) {
    const std::wstring folder = ProgramFolder();
    ASSERT_FALSE(folder.empty());
    for (const wchar_t* page : {kHelpIndex, kHelpWelcome, kHelpDestination, kHelpSources, kHelpFolderPicker,
                                kHelpMessages, kHelpRevisions, kHelpReview, kHelpFinish, kHelpTray, kHelpSettings,
                                kHelpExclusion, kHelpDisks, L"resources\\manual.css"})
        EXPECT_TRUE(FileExists(folder + L"\\" + page)) << "missing beside the program: " << page;
    EXPECT_TRUE(FileExists(DisksPageAddress()));
    for (int index = 0; index <= 6; ++index) EXPECT_TRUE(FileExists(folder + L"\\" + WizardHelpPage(index))) << index;
}

TEST(OpenAddress, BrowserCommandCutsAtThePlaceholderAndAppendsTheAddress) {
    const std::wstring address = L"http://example.com/disks";
    // Quoted %1: cut before its opening quote; what follows it goes too.
    EXPECT_EQ(BrowserCommandLine(L"\"C:\\Web\\browser.exe\" -new \"%1\" -top", address),
              L"\"C:\\Web\\browser.exe\" -new http://example.com/disks");
    // Bare %1.
    EXPECT_EQ(BrowserCommandLine(L"C:\\Web\\browser.exe %1", address), L"C:\\Web\\browser.exe http://example.com/disks");
    // No %1: the whole line, a blank, the address.
    EXPECT_EQ(BrowserCommandLine(L"C:\\Web\\browser.exe", address), L"C:\\Web\\browser.exe http://example.com/disks");
    // A file path with blanks stays one argument.
    EXPECT_EQ(BrowserCommandLine(L"browser.exe \"%1\"", L"C:\\Program Files\\Tavrix\\resources\\disks.html"),
              L"browser.exe \"C:\\Program Files\\Tavrix\\resources\\disks.html\"");
}

TEST(OpenAddress, WhenTheShellFailsTheHtmBrowserIsStartedWithTheAddress) {
    // A .htm type of the test's own whose "browser" creates the file the
    // address names; the shell cannot open that file, as it does not exist yet.
    constexpr wchar_t kType[] = L"TvxLinkTestPage";
    wchar_t registered[64] = {};
    DWORD bytes = sizeof(registered);
    if (::RegGetValueW(HKEY_CLASSES_ROOT, L".htm", nullptr, RRF_RT_REG_SZ, nullptr, registered, &bytes) ==
            ERROR_SUCCESS &&
        std::wstring(registered) != kType)
        GTEST_SKIP() << ".htm documents belong to " << registered << " here; the test prefix registers none";
    struct Cleanup {
        ~Cleanup() {
            ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L".htm");
            ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L"TvxLinkTestPage");
        }
    } cleanup;
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring command = std::wstring(system) + L"\\cmd.exe /c type nul > \"%1\"";
    const auto set = [](const std::wstring& key, const std::wstring& value) {
        return ::RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, REG_SZ, value.c_str(),
                                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    };
    ASSERT_EQ(set(L".htm", kType), ERROR_SUCCESS);
    ASSERT_EQ(set(std::wstring(kType) + L"\\shell\\open\\command", command), ERROR_SUCCESS);

    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring address = std::wstring(temp) + L"tvx-link-" + std::to_wstring(::GetCurrentProcessId()) + L".html";
    ::DeleteFileW(address.c_str());
    EXPECT_GT(OpenAddress(address, SW_HIDE), 32);
    // The started program runs on its own: up to a minute.
    EXPECT_TRUE(test::WaitUntil([&] { return FileExists(address); }, 60000, 100))
        << "the registered program was not started with the address";
    ::DeleteFileW(address.c_str());
}

TEST(Hyperlink, TakesTheAddressFromTheTextOrShowsTheAddress) {
    LinkHost empty(L"");
    CTVXHyperlink link;
    ASSERT_TRUE(link.Attach(empty.Static(), L"C:\\Tavrix\\resources\\disks.html"));
    EXPECT_EQ(empty.Text(), L"C:\\Tavrix\\resources\\disks.html");
    EXPECT_TRUE(::GetWindowLongPtrW(empty.Static(), GWL_STYLE) & SS_NOTIFY) << "clicks would not reach the link";
    link.SetAddress(L"http://example.com/");
    EXPECT_EQ(empty.Text(), L"http://example.com/") << "a text that showed the address follows it";

    LinkHost labelled(L"http://example.com/shop");
    CTVXHyperlink fromText;
    ASSERT_TRUE(fromText.Attach(labelled.Static()));
    EXPECT_EQ(fromText.Address(), L"http://example.com/shop");
}

TEST(Hyperlink, ASuccessfulOpenTurnsTheLinkVisitedForGood) {
    LinkHost host(L"Choosing backup disks");
    CTVXHyperlink link;
    ASSERT_TRUE(link.Attach(host.Static(), L"C:\\Tavrix\\resources\\disks.html"));
    std::vector<std::wstring> opened;
    link.SetOpener([&](const std::wstring& address, int show) -> INT_PTR {
        opened.push_back(address);
        EXPECT_EQ(show, SW_SHOWNORMAL);
        return 42;
    });
    EXPECT_TRUE(host.Shows(CTVXHyperlink::kLinkColor));
    EXPECT_FALSE(host.Shows(CTVXHyperlink::kVisitedColor));

    host.Click();
    ASSERT_EQ(opened, std::vector<std::wstring>{L"C:\\Tavrix\\resources\\disks.html"});
    EXPECT_TRUE(link.IsVisited());
    EXPECT_TRUE(host.Shows(CTVXHyperlink::kVisitedColor));
    EXPECT_FALSE(host.Shows(CTVXHyperlink::kLinkColor));

    // The mouse comes and goes: back to the visited colour, not the link colour.
    ::SendMessageW(host.Static(), WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
    EXPECT_EQ(link.TextColor(), ::GetSysColor(COLOR_HIGHLIGHT));
    ::SendMessageW(host.Static(), WM_MOUSELEAVE, 0, 0);
    EXPECT_TRUE(host.Shows(CTVXHyperlink::kVisitedColor));

    // Keyboard: a tab stop the dialog can reach, Space and Enter open it.
    const LRESULT code = ::SendMessageW(host.Static(), WM_GETDLGCODE, 0, 0);
    EXPECT_FALSE(code & DLGC_STATIC) << "dialog navigation skips statics";
    MSG enter = {host.Static(), WM_KEYDOWN, VK_RETURN, 0, 0, {}};
    EXPECT_TRUE(::SendMessageW(host.Static(), WM_GETDLGCODE, VK_RETURN, reinterpret_cast<LPARAM>(&enter)) &
                DLGC_WANTMESSAGE);
    ::SendMessageW(host.Static(), WM_KEYDOWN, VK_SPACE, 0);
    ::SendMessageW(host.Static(), WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_EQ(opened.size(), 3u);
}

TEST(Hyperlink, AFailedOpenSaysWhyInAMessageBox) {
    LinkHost host(L"http://example.com/shop");
    CTVXHyperlink link;
    ASSERT_TRUE(link.Attach(host.Static()));
    link.SetOpener([](const std::wstring&, int) -> INT_PTR { return SE_ERR_NOASSOC; });

    // The box is modal on this thread; another thread reads its text control
    // and answers OK.
    std::wstring shown;
    std::thread answer([&] {
        if (const HWND box = test::WaitForDialogWithControl(::GetCurrentProcessId(), 0xFFFF, 60000)) {
            shown = testing::Text(box, 0xFFFF);
            ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
    });
    EXPECT_FALSE(link.Follow());
    answer.join();
    ASSERT_FALSE(shown.empty()) << "no message box";
    EXPECT_EQ(shown, HyperlinkFailureText(SE_ERR_NOASSOC));
    EXPECT_FALSE(link.IsVisited());
}

}  // namespace
}  // namespace tvx::ui
