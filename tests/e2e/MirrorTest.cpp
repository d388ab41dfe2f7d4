// End-to-end: the program's main job, a source folder on C: mirrored onto a
// virtual removable disk (the setting is described in MirrorFixture.h).
#include <algorithm>

#include "tests/e2e/MirrorFixture.h"

namespace tvx::test {
namespace {

using MirrorTest = MirrorFixture;

// The subfolder was there before the program started: the watch, begun
// before the first pass, covers it from then on.
TEST_F(MirrorTest, ASaveInASubfolderReachesTheDiskWithTheRevisionOfTheOldCopy) {
    ASSERT_NE(StartAndWaitForTheFirstCopy(), nullptr);
    const std::vector<std::wstring> lines = monitor.Lines(program.Id());
    const auto watching = std::find_if(lines.begin(), lines.end(), [](const std::wstring& line) {
        return line.find(L"worker: watching for changes") != std::wstring::npos;
    });
    const auto firstPass = std::find_if(lines.begin(), lines.end(), [](const std::wstring& line) {
        return line.find(L"pass: 3 files to copy") != std::wstring::npos;
    });
    EXPECT_TRUE(watching < firstPass) << "the watch must begin before the first scan";
    Write(kSource + L"\\Work\\Plan.txt", "plan 2");
    EXPECT_TRUE(WaitForContent(m_mirror + L"\\Work\\Plan.txt", "plan 2", kLandsWithin));
    EXPECT_TRUE(WaitForContent(m_revisions + L"\\Work\\Plan.(1).txt", "plan 1", kLandsWithin));
}

TEST_F(MirrorTest, RenamingAFolderMakesAPassButAnAttributeChangeDoesNot) {
    ASSERT_NE(StartAndWaitForTheFirstCopy(), nullptr);
    const std::size_t before = Passes();
    ASSERT_TRUE(::SetFileAttributesW((kSource + L"\\Letter.doc").c_str(), FILE_ATTRIBUTE_READONLY));
    // Four times the quiet period and a pass: nothing may come.
    ::Sleep(2000);
    EXPECT_EQ(before, Passes()) << "an attribute change woke the worker";
    ASSERT_TRUE(::MoveFileW((kSource + L"\\Work").c_str(), (kSource + L"\\Done").c_str()));
    EXPECT_TRUE(WaitForContent(m_mirror + L"\\Done\\Plan.txt", "plan 1", kLandsWithin));
    EXPECT_EQ("plan 1", Read(m_mirror + L"\\Work\\Plan.txt")) << "the old mirror copy stays";
}

TEST_F(MirrorTest, CompleteCopyCommandListsEveryFileAgain) {
    const HWND hwnd = StartAndWaitForTheFirstCopy();
    ASSERT_NE(hwnd, nullptr);
    monitor.Clear();
    ::PostMessageW(hwnd, WM_COMMAND, 40011, 0);
    EXPECT_TRUE(monitor.WaitFor(L"pass: 3 files to copy", program.Id(), kLandsWithin))
        << "the emptied catalogue did not list all three files";
}

TEST_F(MirrorTest, CloseDuringAPassEndsItAndLeavesNoPartialFile) {
    const HWND hwnd = StartAndWaitForTheFirstCopy();
    ASSERT_NE(hwnd, nullptr);
    // A file big enough that its copy is still running when the close comes,
    // made whole elsewhere and moved in, so that the pass finds it complete.
    const std::wstring staged = kStaging + L"\\Big.bin", big = kSource + L"\\Big.bin";
    fs::create_directories(kStaging);
    {
        std::ofstream out(staged.c_str(), std::ios::binary);
        const std::string block(1 << 20, 'x');
        for (int i = 0; i < 300; ++i) out << block;
    }
    ASSERT_TRUE(::MoveFileW(staged.c_str(), big.c_str()));
    ASSERT_TRUE(monitor.WaitFor(L"pass: 1 files to copy", program.Id(), 30000));
    ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
    ASSERT_TRUE(program.WaitExit(30000)) << "the program did not end during the pass";
    // Either the whole copy made it before the stop, or nothing of it is there.
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(fs::path(m_mirror), ec)) {
        const std::wstring name = entry.path().filename().wstring();
        if (name == L"Big.bin")
            EXPECT_EQ(fs::file_size(big), entry.file_size()) << "a partial mirror copy stayed";
        else
            EXPECT_TRUE(name == L"Letter.doc" || name == L"Work") << "left behind: " << entry.path();
    }
}

// The session ends with the last pass asked for: the end is let through, and
// the pass runs before the program answers the end itself, so that Windows
// then ends the session as it was asked to (log off, restart or shut down).
TEST_F(MirrorTest, SessionEndWithUpdateAtShutdownRunsALastPassFirst) {
    reg::SetDword(HKEY_CURRENT_USER, kOptions, L"Scheduler ASH", 1);
    reg::SetDword(HKEY_CURRENT_USER, kOptions, L"Scheduler TYP", 1);
    reg::SetDword(HKEY_CURRENT_USER, kOptions, L"Scheduler INT", 60);
    const HWND hwnd = StartAndWaitForTheFirstCopy();
    ASSERT_NE(hwnd, nullptr);
    Write(kSource + L"\\Letter.doc", "last letter");
    DWORD_PTR answer = 0;
    ASSERT_TRUE(::SendMessageTimeoutW(hwnd, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_BLOCK, 5000, &answer));
    EXPECT_EQ(1u, answer) << "the session's end is not refused";
    ASSERT_TRUE(::SendMessageTimeoutW(hwnd, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_BLOCK, 60000, &answer));
    EXPECT_EQ("last letter", Read(m_mirror + L"\\Letter.doc")) << "the last pass ran before the answer";
    EXPECT_TRUE(monitor.Saw(L"worker: last pass before the session ends done", program.Id()));
}

// The restart manager asks programs to close (ENDSESSION_CLOSEAPP) without
// ending the session: no last pass, the program just ends.
TEST_F(MirrorTest, RestartManagerCloseEndsTheProgramWithoutALastPass) {
    reg::SetDword(HKEY_CURRENT_USER, kOptions, L"Scheduler ASH", 1);
    const HWND hwnd = StartAndWaitForTheFirstCopy();
    ASSERT_NE(hwnd, nullptr);
    DWORD_PTR answer = 0;
    ASSERT_TRUE(::SendMessageTimeoutW(hwnd, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP, SMTO_BLOCK, 5000, &answer));
    EXPECT_EQ(1u, answer);
    ASSERT_TRUE(::SendMessageTimeoutW(hwnd, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP, SMTO_BLOCK, 5000, &answer));
    EXPECT_TRUE(program.WaitExit(15000));
    EXPECT_FALSE(monitor.Saw(L"last pass", program.Id()));
}

}  // namespace
}  // namespace tvx::test
