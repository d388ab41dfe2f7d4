// The settings windows' rules that need no window: number ranges, day bits,
// the stored revisions value, and the sources a destination refuses.
#include "ui/SettingsRules.h"

#include <gtest/gtest.h>

namespace tvx::ui {
namespace {

TEST(SettingsRules, NumbersAreKeptInTheirRanges) {
    EXPECT_EQ(1u, ClampRevisionLimit(L"0"));
    EXPECT_EQ(1u, ClampRevisionLimit(L""));
    EXPECT_EQ(42u, ClampRevisionLimit(L"42"));
    EXPECT_EQ(99u, ClampRevisionLimit(L"150"));
    EXPECT_EQ(99u, ClampRevisionLimit(L"99999999999999999999")) << "no overflow";
    EXPECT_EQ(999u, ClampInterval(L"1000"));
    EXPECT_EQ(120u, ClampInterval(L"120"));
}

TEST(SettingsRules, RevisionsAreStoredAsNoneAllOrTheLimitAndShownBack) {
    EXPECT_EQ(0u, RevisionsValue(RevisionChoice::kNone, 7));
    EXPECT_EQ(0xFFFFFFFFu, RevisionsValue(RevisionChoice::kUnlimited, 7));
    EXPECT_EQ(99u, RevisionsValue(RevisionChoice::kLimited, 150));
    EXPECT_EQ(RevisionChoice::kUnlimited, RevisionChoiceOf(0xFFFFFFFFu));
    EXPECT_EQ(5u, RevisionLimitOf(0xFFFFFFFFu)) << "unlimited shows the limit 5, greyed";
    EXPECT_EQ(RevisionChoice::kLimited, RevisionChoiceOf(3));
    EXPECT_EQ(3u, RevisionLimitOf(3));
}

TEST(SettingsRules, ADayBoxSetsItsBitWhenCheckedAndFlipsItWhenCleared) {
    EXPECT_EQ(0x41u, DayBitsAfterClick(0x01, 6, true));   // Saturday added to Sunday
    EXPECT_EQ(0x01u, DayBitsAfterClick(0x41, 6, false));
    EXPECT_EQ(0x03u, DayBitsAfterClick(0x01, 1, false)) << "a clear box flips a bit it did not hold";
}

TEST(SettingsRules, ABackupCannotGoOntoItsOwnSourceOrIntoIt) {
    EXPECT_EQ(L"E:\\", DestinationRoot(L"E:"));
    EXPECT_EQ(L"E:\\", DestinationRoot(L"E:\\Backup"));
    EXPECT_EQ(SourceConflict::kNoConflict, CheckSource(L"C:\\Documents", L"E:\\"));
    EXPECT_EQ(SourceConflict::kSameDrive, CheckSource(L"e:\\Documents", L"E:\\"));
    EXPECT_EQ(SourceConflict::kSameDrive, CheckSource(L"\\\\Server\\Share\\Docs", L"\\\\server\\share\\"));
    EXPECT_EQ(SourceConflict::kNoConflict, CheckSource(L"\\\\server\\other\\Docs", L"\\\\server\\share\\"));
    // The destination's volume also mounted on a folder of C:.
    const std::vector<std::wstring> mounted{L"E:\\", L"C:\\Mnt\\Usb\\"};
    EXPECT_EQ(SourceConflict::kHoldsBackup, CheckSource(L"C:\\", L"E:\\", mounted));
    EXPECT_EQ(SourceConflict::kHoldsBackup, CheckSource(L"C:\\mnt", L"E:\\", mounted));
    EXPECT_EQ(SourceConflict::kInsideBackup, CheckSource(L"C:\\Mnt\\Usb\\Old", L"E:\\", mounted));
    EXPECT_EQ(SourceConflict::kNoConflict, CheckSource(L"C:\\Mnt\\Usb2", L"E:\\", mounted)) << "a longer name";
    EXPECT_EQ(SourceConflict::kSameDrive,
              CheckSource(L"F:\\Docs", L"E:\\", {}, L"\\\\?\\Volume{1}\\", L"\\\\?\\VOLUME{1}\\"));
}

}  // namespace
}  // namespace tvx::ui
