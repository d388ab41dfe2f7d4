// The disk check before a pass copies: only the program's own disk is
// written to, it is followed to another drive letter, a first disk is adopted
// after asking, and a wrong or missing disk is asked for (or, with warnings
// off, silently not copied to). The prompts are answered by a script.
#include "media/DiskCheck.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "framework/ProcessFlags.h"
#include "framework/Prompts.h"
#include "media/Praxon.h"
#include "settings/Settings.h"
#include "tests/disks/VirtualDisk.h"

namespace tvx::media {
namespace {

class DiskCheckTest : public ::testing::Test {
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
            return answer();
        });
        Flags().keepRunning.store(1);
    }
    void TearDown() override {
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

    std::string m_folder;
    std::wstring m_one, m_destination;
    std::vector<int> m_asked;
    std::deque<std::function<INT_PTR()>> m_answers;
    PromptSink m_previous;
};

TEST_F(DiskCheckTest, OnlyTheProgramsDiskIsWrittenToWhereverItIs) {
    settings::WriteDiskID(m_one);
    EXPECT_EQ(1, Check(1));
    EXPECT_TRUE(m_asked.empty());

    // The disk went to F: the pass copies there, and the setting follows.
    ASSERT_EQ(0u, testdisks::RemoveDisk(L'E'));
    ASSERT_EQ(0u, testdisks::InsertDisk(L'F', m_folder + "/one"));
    EXPECT_EQ(1, Check(1, L"E:\\Backup"));
    EXPECT_EQ(L"F:\\Backup", m_destination);
    std::wstring stored;
    settings::ReadDestination(stored);
    EXPECT_EQ(L"F:\\Backup", stored);

    // Another disk in the drive: silently nothing with warnings off; asked
    // for with them on, until the user takes it as the program's disk.
    ASSERT_EQ(0u, testdisks::RemoveDisk(L'F'));
    ASSERT_EQ(0u, testdisks::InsertDisk(L'E', m_folder + "/two"));
    EXPECT_EQ(0, Check(0));
    EXPECT_TRUE(m_asked.empty());
    EXPECT_EQ(0, Check(1));
    EXPECT_EQ(std::vector<int>{115}, m_asked);
    m_answers.push_back([] { return kMakeCurrentDisk; });
    EXPECT_EQ(1, Check(1));
    EXPECT_EQ(Praxon::Drive(L'E').getDisk().identity, DiskId());
}

TEST_F(DiskCheckTest, AFirstDiskIsAdoptedAfterAskingAndAMissingOneIsAskedFor) {
    settings::WriteDiskID(L"0");
    m_answers.push_back([] { return INT_PTR{IDOK}; });
    EXPECT_EQ(1, Check(1));
    EXPECT_EQ(std::vector<int>{136}, m_asked);
    EXPECT_EQ(m_one, DiskId());

    // No disk: the user inserts it and says so; or chooses to disable.
    ASSERT_EQ(0u, testdisks::RemoveDisk(L'E'));
    m_answers.push_back([this] {
        testdisks::InsertDisk(L'E', m_folder + "/one");
        return INT_PTR{IDOK};
    });
    EXPECT_EQ(1, Check(1));
    EXPECT_EQ(std::vector<int>{160}, m_asked);
    ASSERT_EQ(0u, testdisks::RemoveDisk(L'E'));
    m_answers.push_back([] {
        Flags().keepRunning.store(0);
        return INT_PTR{IDCANCEL};
    });
    EXPECT_EQ(0, Check(1));
    EXPECT_EQ(0, Flags().keepRunning.load());

    // A destination that is no drive of the program has no disk to check.
    settings::WriteDiskID(L"NotTavrix");
    EXPECT_EQ(1, Check(1, L"C:\\Backup"));
}

}  // namespace
}  // namespace tvx::media
