// The alerts and prompts as the user answers them: what each choice returns,
// what it does to the keep-running flag and which show-again value it writes.
#include "ui/Prompts.h"

#include <gtest/gtest.h>

#include "framework/ProcessFlags.h"
#include "res/resource.h"
#include "settings/Settings.h"
#include "tests/ui/DialogDriver.h"

namespace tvx::ui {
namespace {

using testing::Click;
using testing::DialogThread;
using testing::Text;

using Req = PromptRequest;

class PromptTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, settings::kOptionsKey);
        Flags().keepRunning.store(1);
    }

    // Shows the prompt on its own thread, lets `answer` act on it, returns
    // the result.
    static INT_PTR Answer(const PromptRequest& request, int findBy, const std::function<void(HWND)>& answer) {
        DialogThread thread([request] { return ShowPromptDialog(request); });
        const HWND dialog = thread.WaitForDialog(findBy);
        EXPECT_NE(nullptr, dialog) << "dialog " << request.dialog << " did not appear";
        if (dialog) answer(dialog);
        if (!dialog || ::testing::Test::HasFailure()) thread.Abandon();
        return thread.Result();
    }

    static DWORD Stored(LONG (*read)(DWORD&)) {
        DWORD value = 99;
        read(value);
        return value;
    }
};

TEST_F(PromptTest, DiskPromptsGoOnByDefaultAndEveryOtherChoiceSaysWhy) {
    for (int dialog : {IDD_NO_DISK, IDD_NOT_MY_DISK, IDD_FULL_FIXED, IDD_FULL_REMOVABLE, IDD_DISK_FULL_LINK}) {
        // The first choice is checked when it opens: OK alone means go on.
        EXPECT_EQ(IDOK, Answer(Req{dialog}, IDC_CHOICE_GO_ON, [](HWND d) {
                      EXPECT_TRUE(testing::IsChecked(d, IDC_CHOICE_GO_ON));
                      Click(d, IDOK);
                  })) << dialog;
        EXPECT_EQ(1, Flags().keepRunning.load());

        Flags().keepRunning.store(0);
        EXPECT_EQ(IDCANCEL, Answer(Req{dialog}, IDC_CHOICE_GO_ON, [](HWND d) { Click(d, IDCANCEL); })) << dialog;
        EXPECT_EQ(1, Flags().keepRunning.load()) << "Cancel is 'not now', never 'disable'";
    }
}

TEST_F(PromptTest, DontShowAgainIsWrittenOnOkOnly) {
    struct Case {
        int dialog;
        int box;
        LONG (*read)(DWORD&);
    };
    for (const Case& c : {Case{IDD_FILE_TOO_LARGE, IDC_DONT_SHOW, &settings::Read2LargeStatus},
                          Case{IDD_FILE_ERROR, IDC_DONT_SHOW, &settings::ReadFileErrorStatus},
                          Case{IDD_NAME_TOO_LONG, IDC_DONT_SHOW, &settings::ReadFileNameStatus},
                          Case{IDD_FILLING_LINK, IDC_DONT_SHOW_BUY, &settings::ReadBuyStatus},
                          Case{IDD_FILLING_FIXED, IDC_DONT_SHOW_BUY, &settings::ReadBuyStatus},
                          Case{IDD_FILLING_BUY, IDC_DONT_SHOW_BUY, &settings::ReadBuyStatus}}) {
        EXPECT_EQ(IDOK, Answer(Req{c.dialog, L"C:\\a.txt"}, c.box, [&](HWND d) {
                      Click(d, c.box);
                      Click(d, IDOK);
                  }));
        EXPECT_EQ(0u, Stored(c.read)) << c.dialog;
        EXPECT_EQ(IDOK, Answer(Req{c.dialog, L"C:\\a.txt"}, c.box, [](HWND d) { Click(d, IDOK); }));
        EXPECT_EQ(1u, Stored(c.read)) << c.dialog;
        // The close button is Cancel: nothing is written.
        ::RegDeleteTreeW(HKEY_CURRENT_USER, settings::kOptionsKey);
        EXPECT_EQ(IDCANCEL, Answer(Req{c.dialog, L"C:\\a.txt"}, c.box, [](HWND d) { Click(d, IDC_CLOSE_BOX); }));
        DWORD value = 0;
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, c.read(value)) << c.dialog;
    }
}

TEST_F(PromptTest, FileErrorShowsTheShortPathTheSystemTextAndANoteByErrorNumber) {
    const std::wstring path = L"C:\\Documents\\Reports\\2001\\Budget\\Quarterly results.doc";
    std::wstring notes[3];
    const DWORD codes[3] = {ERROR_INVALID_DRIVE, ERROR_NOT_READY, ERROR_ACCESS_DENIED};
    for (int i = 0; i < 3; ++i) {
        Answer(Req{IDD_FILE_ERROR, path, codes[i]}, IDC_MESSAGE_ERROR, [&](HWND d) {
            const std::wstring message = Text(d, IDC_MESSAGE_ERROR);
            EXPECT_NE(std::wstring::npos, message.find(L"C:\\Documents\\...\\Quarterly results.doc")) << message;
            EXPECT_NE(std::wstring::npos, message.find(L" " + std::to_wstring(codes[i]) + L" ")) << message;
            EXPECT_EQ(std::wstring::npos, message.find_first_of(L"\r\n")) << "line breaks from the system text";
            notes[i] = Text(d, IDC_ERROR_NOTE);
            Click(d, IDOK);
        });
    }
    EXPECT_NE(std::wstring::npos, notes[0].find(L"connected and powered on"));
    EXPECT_NE(std::wstring::npos, notes[1].find(L"properly formatted disk"));
    EXPECT_EQ(L" ", notes[2]);
}

TEST_F(PromptTest, TextPromptsHandBackWhatWasTypedAndTheKeyboardWorks) {
    std::wstring typed;
    const Req rename{IDD_RENAME_VOLUME, L"OLDNAME", 0, {}, &typed};
    EXPECT_EQ(IDOK, Answer(rename, IDC_VOLUME_NAME, [](HWND d) {
                  EXPECT_EQ(L"OLDNAME", Text(d, IDC_VOLUME_NAME));
                  ::SetDlgItemTextW(d, IDC_VOLUME_NAME, L"BACKUP 2");
                  Click(d, IDOK);
              }));
    EXPECT_EQ(L"BACKUP 2", typed);

    // Enter in the password box is OK; Esc is Cancel and hands back nothing.
    typed.clear();
    const Req password{IDD_PASSWORD, {}, 0, {}, &typed};
    EXPECT_EQ(IDOK, Answer(password, IDC_PASSWORD, [](HWND d) {
                  const HWND edit = ::GetDlgItem(d, IDC_PASSWORD);
                  ::SetWindowTextW(edit, L"s3cret");
                  ::PostMessageW(edit, WM_KEYDOWN, VK_RETURN, 0);
              }));
    EXPECT_EQ(L"s3cret", typed);
    typed.clear();
    EXPECT_EQ(IDCANCEL, Answer(password, IDC_PASSWORD, [](HWND d) {
                  ::PostMessageW(::GetDlgItem(d, IDC_PASSWORD), WM_KEYDOWN, VK_ESCAPE, 0);
              }));
    EXPECT_EQ(L"", typed);
}

}  // namespace
}  // namespace tvx::ui
