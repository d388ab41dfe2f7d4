// End-to-end: a first run. Without settings the program starts its setup
// wizard; the user keeps the disk in E:, adds the folder to back up with the
// folder picker, chooses 3 revisions and finishes; the registry holds what
// was chosen, the first complete copy lands on the disk, and the dialog that
// closes it opens the settings when asked to.
#include "media/Praxon.h"
#include "tests/e2e/MirrorFixture.h"

namespace tvx::test {
namespace {

constexpr int kNext = 1015, kStart = 1032, kAddRemove = 1083, kNewFolder = 1021, kFolderName = 1081;
constexpr int kRevisionLimit = 1012, kPicker = 1096, kOpenSettings = 1151;

class FirstRunTest : public MirrorFixture {
protected:
    void SetUp() override {
        MirrorFixture::SetUp();
        reg::DeleteTree(HKEY_CURRENT_USER, kOptions);
    }

    static HWND Next(HWND frame, int control) {
        ClickButton(frame, kNext);
        HWND page = nullptr;
        WaitUntil([&] { return (page = VisibleChildDialog(frame)) && ::GetDlgItem(page, control); }, kLandsWithin);
        return page && ::GetDlgItem(page, control) ? page : nullptr;
    }
    static std::vector<std::wstring> StoredSources() {
        wchar_t list[2048] = {};
        DWORD size = sizeof(list);
        ::RegGetValueW(HKEY_CURRENT_USER, kOptions, L"Source", RRF_RT_REG_MULTI_SZ, nullptr, list, &size);
        std::vector<std::wstring> sources;
        for (const wchar_t* p = list; *p; p += wcslen(p) + 1) sources.emplace_back(p);
        return sources;
    }
};

TEST_F(FirstRunTest, TheWizardsChoicesAreStoredAndTheFirstCopyEndsWithItsClosingDialog) {
    ASSERT_TRUE(Start());
    const HWND frame = WaitForDialogWithControl(program.Id(), kNext, kStartsWithin);
    ASSERT_NE(nullptr, frame) << "no wizard";
    ASSERT_NE(nullptr, Next(frame, 1000)) << "no destination page";  // E:, the program's drive, is chosen
    const HWND sources = Next(frame, kAddRemove);
    ASSERT_NE(nullptr, sources);

    // The source folder, typed as a new folder in the picker (it exists).
    ClickButton(sources, kAddRemove);
    const HWND picker = WaitForDialogWithControl(program.Id(), kPicker, kLandsWithin);
    ASSERT_NE(nullptr, picker);
    ClickButton(picker, kNewFolder);
    const HWND name = WaitForDialogWithControl(program.Id(), kFolderName, kLandsWithin);
    ASSERT_NE(nullptr, name);
    ::SetDlgItemTextW(name, kFolderName, kSource.c_str());
    SaveNamedScreenshot(L"first-run-new-folder");
    ClickButton(name, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(name); }, kLandsWithin));
    ClickButton(picker, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(picker); }, kLandsWithin));

    const HWND revisions = Next(frame, kRevisionLimit);
    ASSERT_NE(nullptr, revisions);
    ::SetDlgItemTextW(revisions, kRevisionLimit, L"3");
    ASSERT_NE(nullptr, Next(frame, 1018)) << "no review";
    ::Sleep(200);
    SaveNamedScreenshot(L"first-run-review");
    ASSERT_NE(nullptr, Next(frame, 1049)) << "no last page";
    ClickButton(frame, kStart);

    // The first complete copy, then its closing dialog.
    EXPECT_TRUE(WaitForContent(m_mirror + L"\\Work\\Deep\\Notes", "notes", kLandsWithin));
    const HWND done = WaitForDialogWithControl(program.Id(), kOpenSettings, 3 * kLandsWithin);
    ASSERT_NE(nullptr, done) << "no closing dialog after the first copy";
    ::Sleep(200);
    SaveNamedScreenshot(L"first-run-done");
    const std::vector<std::wstring> stored = StoredSources();
    ASSERT_EQ(2u, stored.size());
    EXPECT_EQ(kSource, stored[1]) << "the user's documents first, then the added folder";
    EXPECT_EQ(L"E:\\", StoredText(L"Destination"));
    EXPECT_EQ(Praxon::Drive(L'E').getDisk().identity, StoredText(L"DiskID"));
    EXPECT_EQ(3u, StoredNumber(L"Revisions"));
    for (const wchar_t* name : {L"Icon Status", L"Mirror Status", L"Warning Status", L"NotCurrent Status",
                                L"Buy Status", L"2Large Status", L"FileError Status", L"FileName Status"})
        EXPECT_EQ(1u, StoredNumber(name)) << name;

    ::SendMessageW(::GetDlgItem(done, kOpenSettings), BM_CLICK, 0, 0);
    ClickButton(done, IDOK);
    EXPECT_TRUE(CancelWindowWithControl(program.Id(), kSettingsWindowControl, kLandsWithin))
        << "the control panel choice did not open the settings";
}

}  // namespace
}  // namespace tvx::test
