// End-to-end: the copy progress window of the real Dovetrak3.exe, which
// mirrors a folder on C: onto a virtual removable disk in E:. Its first pass
// is a complete copy, which shows the window. The program's waits run ten
// times faster (TVX_TIME_DIVISOR 10).
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/disks/VirtualDisk.h"
#include "tests/support/Automation.h"

namespace tvx::test {
namespace {

namespace fs = std::filesystem;

constexpr wchar_t kClass[] = L"Thisisthedovetrak3wndclassname";
constexpr wchar_t kOptions[] = L"Software\\Tavrix Dovetrak 3\\User Options";
constexpr int kProgressBar = 1094, kProgressClip = 1096, kProgressFile = 1095;
constexpr int kBigFiles = 8;
constexpr int kMegabytesPerFile = 48;

const std::wstring kSource = L"C:\\tvx-e2e-progress";

void RemoveTree(const std::wstring& path) {
    std::error_code ec;
    fs::remove_all(path, ec);
}

// The program's progress window once it shows: a dialog with the bar and the clip.
HWND WaitForProgressWindow(DWORD processId, DWORD milliseconds) {
    const ULONGLONG end = ::GetTickCount64() + milliseconds;
    do {
        for (const WindowInfo& window : ListTopLevelWindows(processId)) {
            if (window.visible && window.className == L"#32770" && ::GetDlgItem(window.hwnd, kProgressBar) &&
                ::GetDlgItem(window.hwnd, kProgressClip))
                return window.hwnd;
        }
        ::Sleep(50);
    } while (::GetTickCount64() < end);
    return nullptr;
}

class ProgressTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(WaitForNoWindow(kClass, 5000)) << "a copy of the program from an earlier test still runs";
        ASSERT_TRUE(monitor.IsActive());
        m_disk = "/tmp/tvx-e2e-progress-disk-" + std::to_string(::GetCurrentProcessId());
        testdisks::DeleteDiskFolder(m_disk);
        ASSERT_EQ(0u, testdisks::MakeDiskFolder(m_disk, 0x7E2E0005, L"PROGRESS"));
        ASSERT_EQ(0u, testdisks::InsertDisk(L'E', m_disk));
        m_mirror = testdisks::WindowsPathOf(m_disk) + kSource.substr(2);
        RemoveTree(kSource);
        fs::create_directories(kSource);
        ASSERT_EQ(reg::DeleteTree(HKEY_CURRENT_USER, kOptions), ERROR_SUCCESS);
        ASSERT_TRUE(reg::Import(ExecutableFolder() + L"\\e2e-settings.reg"));
        reg::SetString(HKEY_CURRENT_USER, kOptions, L"DiskID", L"NotTavrix");
        reg::SetMultiString(HKEY_CURRENT_USER, kOptions, L"Source", {kSource});
        // No pass but the first, and the last one when the session ends.
        reg::SetDword(HKEY_CURRENT_USER, kOptions, L"Scheduler TYP", 3);
        reg::SetDword(HKEY_CURRENT_USER, kOptions, L"Icon Status", 0);
        reg::SetDword(HKEY_CURRENT_USER, kOptions, L"Progress Status", 1);
        ::SetEnvironmentVariableW(L"TVX_TIME_DIVISOR", L"10");
    }

    void TearDown() override {
        if (program.IsRunning()) {
            if (const HWND hwnd = ::FindWindowW(kClass, nullptr)) ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
            if (!program.WaitExit(15000)) program.Terminate();
        }
        ::SetEnvironmentVariableW(L"TVX_TIME_DIVISOR", nullptr);
        reg::DeleteTree(HKEY_CURRENT_USER, kOptions);
        testdisks::RemoveDisk(L'E');
        testdisks::DeleteDiskFolder(m_disk);
        RemoveTree(kSource);
    }

    static void MakeFile(const std::wstring& name, int megabytes) {
        std::ofstream out((kSource + L"\\" + name).c_str(), std::ios::binary | std::ios::trunc);
        const std::string block(1 << 20, 'p');
        for (int m = 0; m < megabytes; ++m) out << block;
    }

    DebugMonitor monitor;
    ProgramProcess program;
    std::string m_disk;
    std::wstring m_mirror;
};

TEST_F(ProgressTest, CancelInTheWindowEndsTheCopyAndLeavesOnlyWholeFiles) {
    for (int i = 0; i < kBigFiles; ++i) MakeFile(L"Part " + std::to_wstring(i) + L".bin", kMegabytesPerFile);
    ASSERT_TRUE(program.Start(ExecutableFolder() + L"\\Dovetrak3.exe", L"StartUp"));
    const HWND dialog = WaitForProgressWindow(program.Id(), 30000);
    ASSERT_NE(dialog, nullptr) << "the first pass showed no progress window";
    // The file being copied shows within a tick or two.
    const ULONGLONG end = ::GetTickCount64() + 10000;
    wchar_t file[MAX_PATH] = {};
    while (::GetDlgItemTextW(dialog, kProgressFile, file, MAX_PATH) == 0 && ::GetTickCount64() < end) ::Sleep(50);
    EXPECT_EQ(0u, std::wstring(file).rfind(L"Part ", 0)) << "file name shown: " << ::testing::PrintToString(file);
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
    ASSERT_TRUE(program.Start(ExecutableFolder() + L"\\Dovetrak3.exe", L"StartUp"));
    const HWND hwnd = WaitForWindow(kClass, nullptr, 15000);
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
