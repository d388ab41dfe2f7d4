// End-to-end: the settings window of the real Dovetrak3.exe, opened from the
// tray's Open command while the program mirrors, answered through its
// controls from this process, and checked afterwards in the registry and on
// the disk. The pages' own rules are held by the in-process tests; here it is
// the whole round: the worker stops for the window, what OK stores is what
// the restarted worker obeys, Cancel keeps only what is stored at once, and
// "Off" ends the program once the user confirms.
//
// Cross-process, messages carry no pointers but texts: controls are clicked
// with BM_CLICK, texts go in with WM_SETTEXT (which the system copies across)
// and the pages' windows come from the sheet by index.
#include "tests/e2e/MirrorFixture.h"

#include <commctrl.h>

#include <algorithm>
#include <map>

#include "res/resource.h"

namespace tvx::test {
namespace {

constexpr DWORD kWithin = 20000;  // anything the program does happens well within this
constexpr int kGeneral = 0, kAdvanced = 1, kScheduling = 2;

void Click(HWND dialog, int id) { ::SendMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

void Type(HWND dialog, int id, const wchar_t* text) {
    ::SendMessageW(::GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

std::wstring TextOf(HWND dialog, int id) {
    wchar_t text[256] = {};
    ::SendMessageW(::GetDlgItem(dialog, id), WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text));
    return text;
}

// Every value of the options key, name to type and bytes.
std::map<std::wstring, std::pair<DWORD, std::vector<BYTE>>> StoredValues() {
    std::map<std::wstring, std::pair<DWORD, std::vector<BYTE>>> values;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kOptions, 0, KEY_READ, &key) != ERROR_SUCCESS) return values;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameLength = std::size(name), type = 0, size = 4096;
        std::vector<BYTE> data(size);
        if (::RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
            break;
        data.resize(size);
        values[name] = {type, std::move(data)};
    }
    ::RegCloseKey(key);
    return values;
}

std::vector<std::wstring> StoredList(const wchar_t* name) {
    wchar_t data[1024] = {};
    DWORD size = sizeof(data) - 2 * sizeof(wchar_t);
    std::vector<std::wstring> list;
    if (::RegGetValueW(HKEY_CURRENT_USER, kOptions, name, RRF_RT_REG_MULTI_SZ, nullptr, data, &size) != ERROR_SUCCESS)
        return list;
    for (const wchar_t* item = data; *item; item += wcslen(item) + 1) list.emplace_back(item);
    return list;
}

class SettingsTest : public MirrorFixture {
protected:
    void SetUp() override {
        MirrorFixture::SetUp();
        if (HasFatalFailure()) return;
        reg::SetDword(HKEY_CURRENT_USER, kOptions, L"Scheduler DOW", 0x01);  // Sunday
        m_main = StartAndWaitForTheFirstCopy();
        ASSERT_NE(nullptr, m_main);
    }

    // Opens the window as the tray's Open does, and finds its pages.
    HWND Open() {
        const std::size_t opens = Seen(L"open: begin");
        ::PostMessageW(m_main, WM_COMMAND, ID_TRAY_OPEN, 0);
        EXPECT_TRUE(WaitForCount(L"open: begin", opens + 1, kWithin));
        m_window = WaitForDialogWithControl(program.Id(), IDC_SETTINGS_HELP, kWithin);
        if (!m_window) return nullptr;
        m_sheet = ::GetDlgItem(m_window, IDC_SHEET_PLACE);
        for (int i = 0; i < 3; ++i)
            m_pages[i] = reinterpret_cast<HWND>(::SendMessageW(m_sheet, PSM_INDEXTOHWND, static_cast<WPARAM>(i), 0));
        EXPECT_TRUE(m_pages[kGeneral] && m_pages[kAdvanced] && m_pages[kScheduling]) << "the sheet has no pages";
        return m_window;
    }

    void Show(int page, const wchar_t* screenshot) {
        ::SendMessageW(m_sheet, PSM_SETCURSEL, static_cast<WPARAM>(page), 0);
        ::RedrawWindow(m_window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
        ::Sleep(300);  // painted by the program's thread
        EXPECT_TRUE(SaveNamedScreenshot(screenshot));
    }

    // Ends the window with the button.
    void Close(int button) {
        ClickButton(m_window, button);
        EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(m_window); }, kWithin)) << "the window stayed open";
    }

    // The Open sequence is through: the worker runs again.
    bool WaitForTheEndOfOpen(std::size_t endsBefore) { return WaitForCount(L"open: end", endsBefore + 1, kWithin); }

    // The turning-off question (dialog 135), answered with the button.
    void AnswerTurnOff(int button, const wchar_t* screenshot = nullptr) {
        const HWND question = WaitForDialogWithControl(program.Id(), IDCANCEL, kWithin);
        ASSERT_NE(nullptr, question) << "no turning-off question";
        EXPECT_EQ(nullptr, ::GetDlgItem(question, IDC_SETTINGS_HELP));
        if (screenshot) {
            ::Sleep(300);  // painted
            EXPECT_TRUE(SaveNamedScreenshot(screenshot));
        }
        ClickButton(question, button);
        EXPECT_TRUE(monitor.WaitFor(L"prompt 135 -> " + std::to_wstring(button), program.Id(), kWithin));
    }

    HWND m_main = nullptr;
    HWND m_window = nullptr;
    HWND m_sheet = nullptr;
    HWND m_pages[3] = {};
};

// Every 2 hours, "tmp" left out, unlimited revisions and a pass at once:
// stored on OK, and the pass that follows leaves the .tmp file behind.
TEST_F(SettingsTest, OkStoresTheChoicesAndTheNextPassLeavesExcludedTypesOut) {
    ASSERT_NE(nullptr, Open());
    Show(kGeneral, L"e2e-settings-general");

    // The File Exclusion dialog, from its button on the Advanced page.
    const HWND advanced = m_pages[kAdvanced];
    Show(kAdvanced, L"e2e-settings-advanced");
    ::PostMessageW(advanced, WM_COMMAND, MAKEWPARAM(IDC_FILE_EXCLUSION, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(advanced, IDC_FILE_EXCLUSION)));
    const HWND exclusion = WaitForDialogWithControl(program.Id(), IDC_ADD_EXCLUSION, kWithin);
    ASSERT_NE(nullptr, exclusion) << "no File Exclusion dialog";
    // Typed into the edit with the focus there: "&Add ->" takes the typed
    // text (not the left list's selection) and empties the edit.
    const HWND edit = ::GetDlgItem(exclusion, IDC_TYPED_EXTENSION);
    ::SendMessageW(exclusion, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(edit), TRUE);
    Type(exclusion, IDC_TYPED_EXTENSION, L".tmp");
    ClickButton(exclusion, IDC_ADD_EXCLUSION);
    EXPECT_TRUE(WaitUntil([&] { return TextOf(exclusion, IDC_TYPED_EXTENSION).empty(); }, kWithin))
        << "the typed extension was not added";
    ::Sleep(300);  // painted
    EXPECT_TRUE(SaveNamedScreenshot(L"e2e-file-exclusion"));
    // OK with the focus on it ends the dialog (in the edit it would add).
    ::SendMessageW(exclusion, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(::GetDlgItem(exclusion, IDOK)), TRUE);
    ClickButton(exclusion, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(exclusion); }, kWithin)) << "the exclusion dialog stayed open";
    const std::vector<std::wstring> filter = StoredList(L"Filter");
    EXPECT_EQ(1, std::count(filter.begin(), filter.end(), L"tmp"))
        << "stored as the dialog ends; \"Filter\" holds " << filter.size() << " entries";

    Click(advanced, IDC_REV_UNLIMITED);
    const HWND scheduling = m_pages[kScheduling];
    Click(scheduling, IDC_SCHED_EVERY);
    Type(scheduling, IDC_SCHED_INTERVAL, L"2");
    ::SendDlgItemMessageW(scheduling, IDC_SCHED_UNIT, CB_SETCURSEL, 1, 0);  // Hours
    Click(scheduling, IDC_COPY_CHANGED);
    Show(kScheduling, L"e2e-settings-scheduling");

    // Saved while the window is open: only the pass after OK can copy them.
    Write(kSource + L"\\Work\\New.txt", "new text");
    Write(kSource + L"\\Work\\Scratch.tmp", "scratch");
    const std::size_t passes = Passes(), ends = Seen(L"open: end");
    Close(IDOK);
    EXPECT_TRUE(WaitForTheEndOfOpen(ends));

    EXPECT_EQ(1u, StoredNumber(L"Scheduler TYP"));
    EXPECT_EQ(2u, StoredNumber(L"Scheduler INT"));
    EXPECT_EQ(1u, StoredNumber(L"Scheduler ITP"));
    EXPECT_EQ(0xFFFFFFFFu, StoredNumber(L"Revisions"));
    EXPECT_EQ(1u, StoredNumber(L"Mirror Status"));

    ASSERT_TRUE(WaitForCount(L"pass: done", passes + 1, kWithin)) << "no pass after OK";
    EXPECT_EQ("new text", Read(m_mirror + L"\\Work\\New.txt"));
    EXPECT_FALSE(Exists(m_mirror + L"\\Work\\Scratch.tmp")) << "an excluded type was copied";
    EXPECT_TRUE(program.IsRunning());
}

// A day box stores itself when clicked; Cancel throws away everything else.
TEST_F(SettingsTest, CancelKeepsOnlyTheDayBoxJustClicked) {
    ASSERT_NE(nullptr, Open());
    const auto before = StoredValues();
    Click(m_pages[kScheduling], IDC_SCHED_DAYS);
    Click(m_pages[kScheduling], IDC_SCHED_SUNDAY + 1);  // Monday
    Click(m_pages[kAdvanced], IDC_REV_UNLIMITED);
    Click(m_pages[kGeneral], IDC_MIRROR_OFF);
    Show(kScheduling, L"e2e-settings-days");
    const std::size_t ends = Seen(L"open: end");
    Close(IDCANCEL);
    EXPECT_TRUE(WaitForTheEndOfOpen(ends));

    EXPECT_EQ(0x03u, StoredNumber(L"Scheduler DOW")) << "Sunday as it was, and Monday";
    auto after = StoredValues();
    after.erase(L"Scheduler DOW");
    auto expected = before;
    expected.erase(L"Scheduler DOW");
    EXPECT_EQ(expected, after) << "Cancel stored more than the day box";
    EXPECT_TRUE(program.IsRunning());
}

// "Off" and OK ask first; Cancel there keeps the program on, OK ends it.
TEST_F(SettingsTest, TurningOffAsksAndEndsTheProgramOnlyWhenConfirmed) {
    ASSERT_NE(nullptr, Open());
    Click(m_pages[kGeneral], IDC_MIRROR_OFF);
    const std::size_t ends = Seen(L"open: end");
    Close(IDOK);
    AnswerTurnOff(IDCANCEL, L"e2e-settings-turn-off");
    // The worker starts again (or, wrongly, the program ends).
    EXPECT_TRUE(WaitUntil([&] { return Seen(L"open: end") > ends || !program.IsRunning(); }, kWithin));
    EXPECT_EQ(1u, StoredNumber(L"Mirror Status"));
    ASSERT_TRUE(program.IsRunning()) << "turned off although the question was cancelled";
    EXPECT_EQ(m_main, ::FindWindowW(kClass, nullptr));

    ASSERT_NE(nullptr, Open());
    Click(m_pages[kGeneral], IDC_MIRROR_OFF);
    Close(IDOK);
    AnswerTurnOff(IDOK);
    EXPECT_TRUE(monitor.WaitFor(L"open: mirroring off; ending", program.Id(), kWithin));
    EXPECT_TRUE(program.WaitExit(kWithin)) << "the program went on after it was turned off";
    EXPECT_EQ(0u, StoredNumber(L"Mirror Status"));
}

}  // namespace
}  // namespace tvx::test
