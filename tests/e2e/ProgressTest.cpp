// End-to-end: the copy progress window of the real Dovetrak3.exe, which
// mirrors as in MirrorTest, but from an empty source folder that each test
// fills, with no pass but the first (a complete copy, which shows the window)
// and the last one when the session ends.
#include "tests/e2e/MirrorFixture.h"

namespace tvx::test {
namespace {

constexpr int kProgressClip = 1096;
constexpr int kBigFiles = 8;
constexpr int kMegabytesPerFile = 48;

class ProgressTest : public MirrorFixture {
protected:
    void SetUp() override {
        MirrorFixture::SetUp();
        if (HasFatalFailure()) return;
        RemoveTree(kSource);
        fs::create_directories(kSource);
        reg::SetDword(HKEY_CURRENT_USER, kOptions, L"Scheduler TYP", 3);
        reg::SetDword(HKEY_CURRENT_USER, kOptions, L"Progress Status", 1);
    }

    static void MakeFile(const std::wstring& name, int megabytes) {
        std::ofstream out((kSource + L"\\" + name).c_str(), std::ios::binary | std::ios::trunc);
        const std::string block(1 << 20, 'p');
        for (int m = 0; m < megabytes; ++m) out << block;
    }
};

TEST_F(ProgressTest, CancelInTheWindowEndsTheCopyAndLeavesOnlyWholeFiles) {
    for (int i = 0; i < kBigFiles; ++i) MakeFile(L"Part " + std::to_wstring(i) + L".bin", kMegabytesPerFile);
    ASSERT_TRUE(Start());
    const HWND dialog = WaitForDialogWithControl(program.Id(), kProgressClip, 30000);
    ASSERT_NE(dialog, nullptr) << "the first pass showed no progress window";
    // (What the window shows of the copy is tested in-process, where the
    // copy stands still; here it may be over within a tick.)
    EXPECT_TRUE(SaveNamedScreenshot(L"e2e-progress-window"));

    ASSERT_TRUE(ClickButton(dialog, IDCANCEL));
    EXPECT_TRUE(monitor.WaitFor(L"pass: done", program.Id(), 60000)) << "the pass did not end after Cancel";
    EXPECT_FALSE(::IsWindow(dialog)) << "the window stayed";
    EXPECT_TRUE(program.IsRunning()) << "Cancel ends the copy, not the program";

    // Whatever was copied is whole; no partial file stays.
    std::error_code ec;
    int whole = 0;
    for (const auto& entry : fs::recursive_directory_iterator(fs::path(m_mirror), ec)) {
        const std::wstring name = entry.path().filename().wstring();
        EXPECT_NE(0u, name.rfind(L"~tvx-partial-", 0)) << "a partial file stayed: " << entry.path();
        if (name.rfind(L"~tvx-partial-", 0) != 0) {
            EXPECT_EQ(std::uintmax_t{kMegabytesPerFile} << 20, entry.file_size()) << entry.path();
            ++whole;
        }
    }
    std::printf("  %d of %d files were copied before the Cancel\n", whole, kBigFiles);
}

// The last pass runs while the user-interface thread waits for it inside
// WM_ENDSESSION: the window, on threads of its own, shows all the same (and
// the session's end is not held up by it).
TEST_F(ProgressTest, LastPassAtTheSessionEndShowsTheWindow) {
    MakeFile(L"Letter.doc", 1);
    ASSERT_TRUE(Start());
    const HWND hwnd = WaitForWindow(kClass, nullptr, kStartsWithin);
    ASSERT_NE(hwnd, nullptr);
    ASSERT_TRUE(monitor.WaitFor(L"pass: done", program.Id(), 30000));
    EXPECT_TRUE(monitor.Saw(L"progress: window closed (copy over)", program.Id())) << "the first pass";
    monitor.Clear();
    MakeFile(L"Letter.doc", 2);
    DWORD_PTR answer = 0;
    ASSERT_TRUE(::SendMessageTimeoutW(hwnd, WM_QUERYENDSESSION, 0, 0, SMTO_BLOCK, 5000, &answer));
    ASSERT_TRUE(::SendMessageTimeoutW(hwnd, WM_ENDSESSION, TRUE, 0, SMTO_BLOCK, 60000, &answer))
        << "the last pass did not end";
    EXPECT_TRUE(monitor.Saw(L"progress: window open", program.Id()));
    EXPECT_TRUE(monitor.Saw(L"progress: window closed (copy over)", program.Id()));
    EXPECT_EQ(std::uintmax_t{2} << 20, fs::file_size(m_mirror + L"\\Letter.doc"));
}

}  // namespace
}  // namespace tvx::test
