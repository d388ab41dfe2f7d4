// The fixture of the end-to-end tests that run the program's main job: the
// real Dovetrak3.exe mirrors a source folder on C: onto a virtual removable
// disk in E:, a destination that is not one of the disk maker's drives
// ("NotTavrix"), with the change watcher ("Scheduler TYP" 0) and three
// revisions. Its waits run ten times faster (TVX_TIME_DIVISOR 10: a quiet
// period of 0.5 s).
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/disks/VirtualDisk.h"
#include "tests/support/Automation.h"
#include "tests/support/Files.h"

namespace tvx::test {

namespace fs = std::filesystem;

inline constexpr wchar_t kClass[] = L"Thisisthedovetrak3wndclassname";
inline constexpr wchar_t kOptions[] = L"Software\\Tavrix Dovetrak 3\\User Options";
inline constexpr DWORD kStartsWithin = 15000;
inline constexpr DWORD kLandsWithin = 15000;  // a save reaches the disk within this

inline const std::wstring kSource = L"C:\\tvx-e2e-src";
inline const std::wstring kStaging = L"C:\\tvx-e2e-staging";  // where files are made before they are moved in

// The settings window (found by its Help button) and the setup wizard (by
// its Next button), as the program shows them.
inline constexpr int kSettingsWindowControl = 1012;
inline constexpr int kWizardControl = 1015;

// Cancels the program's window that has the control once it shows; false
// when none came.
inline bool CancelWindowWithControl(DWORD processId, int control, DWORD milliseconds) {
    const HWND window = WaitForDialogWithControl(processId, control, milliseconds);
    return window && ClickButton(window, IDCANCEL);
}

// Polls until the file holds the text (or the time is up).
inline bool WaitForContent(const std::wstring& path, const std::string& text, DWORD milliseconds) {
    return WaitUntil([&] { return Read(path) == text; }, milliseconds, 100);
}

inline std::size_t Count(const std::vector<std::wstring>& lines, const std::wstring& text) {
    std::size_t n = 0;
    for (const auto& line : lines) n += line.find(text) != std::wstring::npos;
    return n;
}

// Tests that need other settings override SetUp, call this one first and
// change the registry and the environment before the program starts.
class MirrorFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(WaitForNoWindow(kClass, 5000)) << "a copy of the program from an earlier test still runs";
        ASSERT_TRUE(monitor.IsActive());
        m_disk = "/tmp/tvx-e2e-disk-" + std::to_string(::GetCurrentProcessId());
        testdisks::DeleteDiskFolder(m_disk);
        ASSERT_EQ(0u, testdisks::MakeDiskFolder(m_disk, 0x7E2E0001, L"MIRROR"));
        ASSERT_EQ(0u, testdisks::InsertDisk(L'E', m_disk));
        m_mirror = testdisks::WindowsPathOf(m_disk) + L"\\tvx-e2e-src";
        m_revisions = testdisks::WindowsPathOf(m_disk) + L"\\Tavrix Dovetrak 3 Revisions\\tvx-e2e-src";
        RemoveTree(kSource);
        Write(kSource + L"\\Letter.doc", "first letter");
        Write(kSource + L"\\Work\\Plan.txt", "plan 1");
        Write(kSource + L"\\Work\\Deep\\Notes", "notes");

        ASSERT_EQ(reg::DeleteTree(HKEY_CURRENT_USER, kOptions), ERROR_SUCCESS);
        ASSERT_TRUE(reg::Import(ExecutableFolder() + L"\\e2e-settings.reg"));
        reg::SetString(HKEY_CURRENT_USER, kOptions, L"DiskID", L"NotTavrix");
        reg::SetMultiString(HKEY_CURRENT_USER, kOptions, L"Source", {kSource});
        reg::SetDword(HKEY_CURRENT_USER, kOptions, L"Scheduler TYP", 0);
        reg::SetDword(HKEY_CURRENT_USER, kOptions, L"Icon Status", 0);
        ::SetEnvironmentVariableW(L"TVX_TIME_DIVISOR", L"10");
    }

    void TearDown() override {
        // What the program said, for the reader of a failed run.
        if (HasFailure())
            for (const std::wstring& line : monitor.Lines(program.Id())) printf("trace: %ls\n", line.c_str());
        if (program.IsRunning()) {
            if (const HWND hwnd = ::FindWindowW(kClass, nullptr)) ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
            if (!program.WaitExit(15000)) program.Terminate();
        }
        ::SetEnvironmentVariableW(L"TVX_TIME_DIVISOR", nullptr);
        reg::DeleteTree(HKEY_CURRENT_USER, kOptions);
        testdisks::RemoveDisk(L'E');
        testdisks::DeleteDiskFolder(m_disk);
        RemoveTree(kSource);
        RemoveTree(kStaging);
    }

    bool Start() { return program.Start(ExecutableFolder() + L"\\Dovetrak3.exe", L"StartUp"); }

    // Starts the program with "StartUp"; its first pass (start stamp 0)
    // copies everything. Returns the main window.
    HWND StartAndWaitForTheFirstCopy() {
        if (!Start()) return nullptr;
        const HWND hwnd = WaitForWindow(kClass, nullptr, kStartsWithin);
        EXPECT_TRUE(WaitForContent(m_mirror + L"\\Work\\Deep\\Notes", "notes", kLandsWithin))
            << "the first complete copy did not land";
        EXPECT_EQ("first letter", Read(m_mirror + L"\\Letter.doc"));
        // The first pass ends after its pause.
        EXPECT_TRUE(monitor.WaitFor(L"pass: done", program.Id(), kLandsWithin));
        return hwnd;
    }

    // What the program stored (99 or empty when the value is missing).
    static DWORD StoredNumber(const wchar_t* name) {
        DWORD value = 99, size = sizeof(value);
        ::RegGetValueW(HKEY_CURRENT_USER, kOptions, name, RRF_RT_REG_DWORD, nullptr, &value, &size);
        return value;
    }
    static std::wstring StoredText(const wchar_t* name) {
        wchar_t text[256] = {};
        DWORD size = sizeof(text);
        ::RegGetValueW(HKEY_CURRENT_USER, kOptions, name, RRF_RT_REG_SZ, nullptr, text, &size);
        return text;
    }

    // How many trace lines of the program hold the text.
    std::size_t Seen(const std::wstring& text) { return Count(monitor.Lines(program.Id()), text); }
    std::size_t Passes() { return Seen(L"pass: done"); }
    bool WaitForCount(const std::wstring& text, std::size_t count, DWORD milliseconds = kLandsWithin) {
        return WaitUntil([&] { return Seen(text) >= count; }, milliseconds);
    }

    DebugMonitor monitor;
    ProgramProcess program;
    std::string m_disk;
    std::wstring m_mirror;
    std::wstring m_revisions;
};

}  // namespace tvx::test
