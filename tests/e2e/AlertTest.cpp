// End-to-end: the copy engine's alerts appear as real dialogs on the screen
// while the program runs, a user answers them, and the "Don't show this
// again" box is what the settings keep.
#include "tests/e2e/MirrorFixture.h"

namespace tvx::test {
namespace {

constexpr int kDontShow = 1011;
constexpr int kTooLargeText = 1054;
constexpr int kErrorText = 1055;
constexpr int kLongNameText = 1056;

class AlertTest : public MirrorFixture {
protected:
    void TearDown() override {
        MirrorFixture::TearDown();
        if (!m_smallDisk.empty()) {
            testdisks::RemoveDisk(L'E');
            testdisks::UnmountDisk(m_smallDisk);
            testdisks::DeleteDiskFolder(m_smallDisk);
        }
    }

    // Finds the alert by a control of its template, saves its picture,
    // answers it (with the box checked or not), and returns its text.
    std::wstring Answer(int textControl, bool dontShowAgain, const std::wstring& screenshot) {
        const HWND alert = WaitForDialogWithControl(program.Id(), textControl, kLandsWithin);
        EXPECT_NE(nullptr, alert) << "no alert with control " << textControl;
        if (!alert) return {};
        wchar_t text[1024] = {};
        ::GetDlgItemTextW(alert, textControl, text, 1024);
        ::Sleep(200);  // painted
        SaveNamedScreenshot(screenshot);
        if (dontShowAgain) ::SendMessageW(::GetDlgItem(alert, kDontShow), BM_CLICK, 0, 0);
        ClickButton(alert, IDOK);
        EXPECT_TRUE(WaitForNoDialog(textControl)) << "the alert stayed up after OK";
        return text;
    }

    bool WaitForNoDialog(int control) {
        for (int i = 0; i < 100; ++i, ::Sleep(50))
            if (!WaitForDialogWithControl(program.Id(), control, 0)) return true;
        return false;
    }

    std::string m_smallDisk;
};

TEST_F(AlertTest, AFileThatCannotBeWrittenAndANameTooLongForRevisionsAreToldOnce) {
    // A folder on the disk where the mirror copy of Blocked.txt must go: the
    // copy fails with a system error.
    ASSERT_TRUE(fs::create_directories(fs::path(m_mirror + L"\\Blocked.txt")));
    Write(kSource + L"\\Blocked.txt", "cannot land");
    // Its revision's full path is longer than a name may be.
    const std::wstring longName = kSource + L"\\" + std::wstring(230, L'n') + L".txt";
    Write(longName, "version 1");
    ASSERT_TRUE(Start());

    const std::wstring error = Answer(kErrorText, true, L"alert-file-error");
    EXPECT_NE(std::wstring::npos, error.find(L"Blocked.txt")) << error;
    EXPECT_EQ(0u, StoredNumber(L"FileError Status"));
    // The long name is told of at its first copy already: it will keep only
    // one revision.
    const std::wstring tooLong = Answer(kLongNameText, false, L"alert-name-too-long");
    EXPECT_NE(std::wstring::npos, tooLong.find(L"is too long")) << tooLong;
    EXPECT_EQ(1u, StoredNumber(L"FileName Status"));
    ASSERT_TRUE(monitor.WaitFor(L"pass: done", program.Id(), kLandsWithin));

    Write(longName, "version 2");  // the next pass replaces its one revision
    Answer(kLongNameText, true, L"alert-name-too-long-again");
    EXPECT_EQ(0u, StoredNumber(L"FileName Status"));

    // Switched off: the failing file does not bring the alert back.
    monitor.Clear();
    Write(kSource + L"\\Blocked.txt", "still cannot land");
    ASSERT_TRUE(monitor.WaitFor(L"pass: done", program.Id(), kLandsWithin));
    EXPECT_EQ(nullptr, WaitForDialogWithControl(program.Id(), kErrorText, 500));
}

TEST_F(AlertTest, AFileLargerThanTheWholeDiskIsSkippedWithAnAlert) {
    m_smallDisk = "/tmp/tvx-e2e-small-" + std::to_string(::GetCurrentProcessId());
    std::string why;
    testdisks::DeleteDiskFolder(m_smallDisk);
    if (const DWORD error = testdisks::MountTmpfsDisk(m_smallDisk, 2 * 1024 * 1024, &why))
        GTEST_SKIP() << "cannot mount a tmpfs disk here (error " << error << "): " << why;
    ASSERT_EQ(0u, testdisks::MakeDiskFolder(m_smallDisk, 0x7E2E0002, L"SMALL"));
    ASSERT_EQ(0u, testdisks::SwapDisk(L'E', m_smallDisk));
    Write(kSource + L"\\Movie.avi", std::string(3 * 1024 * 1024, 'm'));
    ASSERT_TRUE(Start());

    const std::wstring text = Answer(kTooLargeText, true, L"alert-file-too-large");
    EXPECT_NE(std::wstring::npos, text.find(L"Movie.avi")) << text;
    EXPECT_EQ(0u, StoredNumber(L"2Large Status"));
    ASSERT_TRUE(monitor.WaitFor(L"pass: done", program.Id(), kLandsWithin));
    // The rest of the source still landed.
    EXPECT_EQ("first letter", Read(testdisks::WindowsPathOf(m_smallDisk) + L"\\tvx-e2e-src\\Letter.doc"));
}

}  // namespace
}  // namespace tvx::test
