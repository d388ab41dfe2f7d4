// What the tests of the disk steps share: two virtual disks ("one" in E:,
// "two" ready to go in), a fresh options key, and prompts answered by a
// script (each answer a function, so it can also swap disks as a user would
// while the question is up). Every prompt shown is noted by its dialog id.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "framework/ProcessFlags.h"
#include "framework/Prompts.h"
#include "framework/TimeSeam.h"
#include "media/DiskCheck.h"
#include "media/Praxon.h"
#include "settings/Settings.h"
#include "tests/disks/VirtualDisk.h"

namespace tvx::media {

class DiskFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, settings::kOptionsKey);
        settings::WriteDestination(L"E:\\");
        settings::WriteNotCurrentStatus(1);
        m_folder = "/tmp/tvx-diskcheck-tests-" + std::to_string(::GetCurrentProcessId());
        testdisks::DeleteDiskFolder(m_folder);
        ASSERT_EQ(0u, testdisks::MakeDiskFolder(m_folder + "/one", 0x0000AAAA, L"ONE"));
        ASSERT_EQ(0u, testdisks::MakeDiskFolder(m_folder + "/two", 0x0000BBBB, L"TWO"));
        ASSERT_EQ(0u, testdisks::RemoveDisk(L'F'));
        ASSERT_EQ(0u, testdisks::InsertDisk(L'E', m_folder + "/one"));
        m_one = Praxon::Drive(L'E').getDisk().identity;
        ASSERT_FALSE(m_one.empty());
        m_previous = SetPromptSink([this](const PromptRequest& request) {
            m_asked.push_back(request.dialog);
            if (m_answers.empty()) return INT_PTR{IDCANCEL};
            const auto answer = m_answers.front();
            m_answers.pop_front();
            return answer(request);
        });
        Flags().keepRunning.store(1);
        timeseam::SetDivisor(1000);
    }
    void TearDown() override {
        timeseam::SetDivisor(1);
        SetPromptSink(m_previous);
        testdisks::RemoveDisk(L'E');
        testdisks::RemoveDisk(L'F');
        testdisks::DeleteDiskFolder(m_folder);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, settings::kOptionsKey);
    }

    int Check(DWORD warningStatus, std::wstring destination = L"E:\\") {
        m_asked.clear();
        DiskCheckContext context{destination, warningStatus};
        const int go = CheckDestinationDisk(context);
        m_destination = context.destination;
        return go;
    }
    static std::wstring DiskId() {
        std::wstring id;
        settings::ReadDiskID(id);
        return id;
    }

    // An answer that types a password into the password prompt.
    static std::function<INT_PTR(const PromptRequest&)> Typing(std::wstring password) {
        return [password](const PromptRequest& request) {
            if (request.reply) *request.reply = password;
            return INT_PTR{IDOK};
        };
    }
    static std::function<INT_PTR(const PromptRequest&)> Answer(INT_PTR answer) {
        return [answer](const PromptRequest&) { return answer; };
    }

    std::string m_folder;
    std::wstring m_one, m_destination;
    std::vector<int> m_asked;
    std::deque<std::function<INT_PTR(const PromptRequest&)>> m_answers;
    PromptSink m_previous;
};

}  // namespace tvx::media
