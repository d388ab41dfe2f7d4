// The manual's pages and opening addresses, in-process.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "res/resource.h"
#include "ui/Help.h"

namespace tvx::ui {
namespace {

bool FileExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring LoadText(UINT id) {
    const wchar_t* text = nullptr;
    const int n = ::LoadStringW(::GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    return n > 0 ? std::wstring(text, static_cast<size_t>(n)) : std::wstring();
}

TEST(HelpPages, EveryPageNameNamesAPageTheBuildCopied) {
    const std::wstring folder = ProgramFolder();
    ASSERT_FALSE(folder.empty());
    for (const wchar_t* page : {kHelpIndex, kHelpWelcome, kHelpDestination, kHelpSources, kHelpFolderPicker,
                                kHelpMessages, kHelpRevisions, kHelpReview, kHelpFinish, kHelpTray, kHelpSettings,
                                kHelpExclusion, kHelpDisks, L"resources\\manual.css"})
        EXPECT_TRUE(FileExists(folder + L"\\" + page)) << "missing beside the program: " << page;
    EXPECT_TRUE(FileExists(DisksPageAddress()));

    // The windows read their pages from the string table: the same names.
    for (int index = 0; index <= IDS_WIZARD_HELP_6 - IDS_WIZARD_HELP_0; ++index)
        EXPECT_EQ(LoadText(IDS_WIZARD_HELP_0 + index), WizardHelpPage(index)) << "wizard page " << index;
    for (UINT id : {57717u, 57718u, 57719u, 57721u}) EXPECT_EQ(LoadText(id), kHelpSettings) << id;
    EXPECT_EQ(LoadText(IDS_PICKER_HELP), kHelpFolderPicker);
    EXPECT_EQ(LoadText(IDS_FILTER_HELP), kHelpExclusion);
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

TEST(OpenAddress, FailureTextNamesTheReason) {
    EXPECT_EQ(HyperlinkFailureText(2), L"Unable to open hyperlink:\n\nThe specified file was not found.");
    EXPECT_EQ(HyperlinkFailureText(31),
              L"Unable to open hyperlink:\n\nThere is no application associated\nwith the given filename extension.");
    EXPECT_EQ(HyperlinkFailureText(26), L"Unable to open hyperlink:\n\nA sharing violation occurred. ");
    EXPECT_EQ(HyperlinkFailureText(42), L"Unable to open hyperlink:\n\nUnknown Error (42) occurred.");
}

// Points .htm documents at a document type of the test's own; puts back what was there.
class ScopedHtmAssociation {
public:
    explicit ScopedHtmAssociation(const std::wstring& openCommand) {
        wchar_t old[256] = {};
        DWORD bytes = sizeof(old);
        m_hadType = ::RegGetValueW(HKEY_CLASSES_ROOT, L".htm", nullptr, RRF_RT_REG_SZ, nullptr, old, &bytes) ==
                    ERROR_SUCCESS;
        m_oldType = old;
        m_hadKey = m_hadType || OpenKey(L".htm");
        Set(L".htm", kType);
        Set(std::wstring(kType) + L"\\shell\\open\\command", openCommand);
    }
    ~ScopedHtmAssociation() {
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, kType);
        if (m_hadType)
            Set(L".htm", m_oldType);
        else if (m_hadKey)
            ::RegDeleteKeyValueW(HKEY_CLASSES_ROOT, L".htm", nullptr);
        else
            ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L".htm");
    }

private:
    static constexpr wchar_t kType[] = L"TvxLinkTestPage";
    static bool OpenKey(const wchar_t* name) {
        HKEY key = nullptr;
        if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, name, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
        ::RegCloseKey(key);
        return true;
    }
    static void Set(const std::wstring& key, const std::wstring& value) {
        ASSERT_EQ(::RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, REG_SZ, value.c_str(),
                                    static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }
    bool m_hadType = false;
    bool m_hadKey = false;
    std::wstring m_oldType;
};

TEST(OpenAddress, WhenTheShellFailsTheHtmBrowserIsStartedWithTheAddress) {
    // The "browser" creates the file the address names, which the shell
    // cannot open because it does not exist yet.
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring address = std::wstring(temp) + L"tvx-link-" + std::to_wstring(::GetCurrentProcessId()) + L".html";
    ::DeleteFileW(address.c_str());
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    ScopedHtmAssociation association(std::wstring(system) + L"\\cmd.exe /c type nul > \"%1\"");

    EXPECT_GT(OpenAddress(address, SW_HIDE), 32);
    bool created = false;
    for (int i = 0; i < 600 && !created; ++i) {  // the started program runs on its own: up to a minute
        created = FileExists(address);
        if (!created) ::Sleep(100);
    }
    EXPECT_TRUE(created) << "the registered program was not started with the address";
    ::DeleteFileW(address.c_str());
}

}  // namespace
}  // namespace tvx::ui
