// The File Exclusion dialog: what a typed text adds, which registered file
// types are offered, and the dialog driven as a user drives it, with the
// stored "Filter" list checked afterwards.
#include "ui/FileExclusionDlg.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include "res/resource.h"
#include "settings/Settings.h"
#include "tests/support/Automation.h"
#include "tests/ui/DialogDriver.h"

namespace tvx::ui {
namespace {

using testing::Click;
using testing::DialogThread;
using testing::Text;

constexpr wchar_t kUserDefined[] = L"User Defined Type";

TEST(ExclusionRules, TypedTextGivesWhatFollowsItsFirstDot) {
    EXPECT_EQ(L"MP3", TypedExtension(L".MP3"));
    EXPECT_EQ(L"tar.gz", TypedExtension(L"archive.tar.gz"));
    EXPECT_EQ(L"", TypedExtension(L""));
}

TEST(ExclusionRules, PathCharactersAreSwallowedAndOnlyFiveClearAPastedText) {
    for (wchar_t ch : std::wstring(L"/\\:*?\"<>|")) EXPECT_TRUE(IsRefusedCharacter(ch)) << static_cast<int>(ch);
    EXPECT_FALSE(IsRefusedCharacter(L'.'));
    for (const wchar_t* text : {L"a/b", L"a\\b", L"c:", L"*.doc", L"\"x\""}) EXPECT_TRUE(MustClearTyped(text)) << text;
    for (const wchar_t* text : {L"a?b", L"<x>", L"a|b", L"tar.gz", L""}) EXPECT_FALSE(MustClearTyped(text)) << text;
}

TEST(ExclusionRules, OfferedTypeMatchesWithItsCaseAndNothingIsExcludedTwice) {
    const TypedPlacement doc = PlaceTyped(L"doc", {L"txt", L"doc"}, {});
    EXPECT_EQ(TypedPlacement::kMoveOffered, doc.kind);
    EXPECT_EQ(1u, doc.offeredRow);
    // DOC is not the offered doc: it becomes a type of its own...
    EXPECT_EQ(TypedPlacement::kAddUserDefined, PlaceTyped(L"DOC", {L"txt", L"doc"}, {L"mp3"}).kind);
    // ...unless doc is excluded already, in whatever case.
    EXPECT_EQ(TypedPlacement::kNothing, PlaceTyped(L"DOC", {L"txt"}, {L"mp3", L"doc"}).kind);
    EXPECT_EQ(TypedPlacement::kNothing, PlaceTyped(L"", {L""}, {}).kind);
}

// File types registered under HKEY_CLASSES_ROOT for one test, removed after.
class RegisteredTypes {
public:
    RegisteredTypes() {
        Set(L"TavrixTest.Quill", nullptr, L"Tavrix quill notes");
        Set(L".tvxqu6", nullptr, L"TavrixTest.Quill");   // 6 characters: offered
        Set(L".tvxqu67", nullptr, L"TavrixTest.Quill");  // 7 characters: too long
        Set(L"TavrixTest.Bare", L"Other", L"x");        // no description
        Set(L".tvxbr", nullptr, L"TavrixTest.Bare");
    }
    ~RegisteredTypes() {
        for (const wchar_t* key : {L".tvxqu6", L".tvxqu67", L".tvxbr", L"TavrixTest.Quill", L"TavrixTest.Bare"})
            ::RegDeleteTreeW(HKEY_CLASSES_ROOT, key);
    }

private:
    static void Set(const wchar_t* key, const wchar_t* name, const std::wstring& value) {
        ASSERT_EQ(ERROR_SUCCESS, ::RegSetKeyValueW(HKEY_CLASSES_ROOT, key, name, REG_SZ, value.c_str(),
                                                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))));
    }
};

TEST(ExclusionRules, RegisteredTypesAreOfferedWithADescriptionAndAShortExtension) {
    const RegisteredTypes registered;
    int quills = 0;
    for (const FileType& type : CollectFileTypes()) {
        EXPECT_NE(L"tvxqu67", type.extension);
        EXPECT_NE(L"tvxbr", type.extension);
        EXPECT_FALSE(type.description.empty()) << type.extension;
        if (type.extension == L"tvxqu6") {
            EXPECT_EQ(L"Tavrix quill notes", type.description);
            ++quills;
        }
    }
    EXPECT_EQ(1, quills);
}

std::wstring Cell(HWND list, int row, int column) {
    wchar_t text[512] = {};
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 512;
    ::SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

std::vector<FileType> Rows(HWND list) {
    std::vector<FileType> rows;
    for (int row = 0; row < static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); ++row)
        rows.push_back({Cell(list, row, 0), Cell(list, row, 1)});
    return rows;
}

void Select(HWND list, int row) {
    LVITEMW item = {};
    item.stateMask = item.state = LVIS_SELECTED;
    ::SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

std::vector<std::wstring> StoredFilter() {
    std::vector<std::wstring> list;
    if (settings::ReadFilterList(list) != ERROR_SUCCESS) list.push_back(L"<none>");
    return list;
}

// Presses Enter in a control of the dialog, as the keyboard does: the focus
// moves there first.
void EnterIn(HWND dialog, int id) {
    ::SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(::GetDlgItem(dialog, id)), TRUE);
    ::PostMessageW(::GetDlgItem(dialog, id), WM_KEYDOWN, VK_RETURN, 0);
}

class ExclusionDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, settings::kOptionsKey);
        ASSERT_EQ(ERROR_SUCCESS, settings::WriteFilterList({L"tvxqu6", L"zzq"}));
    }
    void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, settings::kOptionsKey); }

    // Runs the dialog on its own thread and lets `drive` act on it.
    INT_PTR Run(const std::function<void(HWND dialog, HWND offered, HWND excluded)>& drive) {
        DialogThread thread([this] { return RunFileExclusionDialog(nullptr, m_result); });
        const HWND dialog = thread.WaitForDialog(IDC_OFFERED_TYPES);
        EXPECT_NE(nullptr, dialog);
        if (dialog) drive(dialog, ::GetDlgItem(dialog, IDC_OFFERED_TYPES), ::GetDlgItem(dialog, IDC_EXCLUDED_TYPES));
        if (!dialog || HasFailure()) thread.Abandon();
        return thread.Result();
    }

    const RegisteredTypes m_registered;
    std::vector<std::wstring> m_result{L"untouched"};
};

TEST_F(ExclusionDialogTest, StoredListIsShownAndEnterInTheEditAddsWithoutStoring) {
    EXPECT_EQ(IDOK, Run([](HWND dialog, HWND offered, HWND excluded) {
                  // The stored tvxqu6 moved over with its description.
                  EXPECT_EQ((std::vector<FileType>{{L"Tavrix quill notes", L"tvxqu6"}, {kUserDefined, L"zzq"}}),
                            Rows(excluded));
                  for (const FileType& type : Rows(offered)) EXPECT_NE(L"tvxqu6", type.extension);

                  ::SetDlgItemTextW(dialog, IDC_TYPED_EXTENSION, L"archive.tar.gz");
                  EnterIn(dialog, IDC_TYPED_EXTENSION);
                  ASSERT_TRUE(test::WaitUntil([&] { return Rows(excluded).size() == 3; }, 10000));
                  EXPECT_EQ((FileType{kUserDefined, L"tar.gz"}), Rows(excluded)[2]);
                  EXPECT_EQ(L"", Text(dialog, IDC_TYPED_EXTENSION));
                  // ZZQ is zzq excluded already: the edit is cleared, nothing added.
                  ::SetDlgItemTextW(dialog, IDC_TYPED_EXTENSION, L"ZZQ");
                  EnterIn(dialog, IDC_TYPED_EXTENSION);
                  ASSERT_TRUE(test::WaitUntil([&] { return Text(dialog, IDC_TYPED_EXTENSION).empty(); }, 10000));
                  EXPECT_EQ(3u, Rows(excluded).size());

                  EXPECT_TRUE(::IsWindowVisible(dialog));
                  EXPECT_EQ((std::vector<std::wstring>{L"tvxqu6", L"zzq"}), StoredFilter());
                  Click(dialog, IDOK);
              }));
    EXPECT_EQ((std::vector<std::wstring>{L"tvxqu6", L"zzq", L"tar.gz"}), m_result);
    EXPECT_EQ(std::vector<std::wstring>{L"<none>"}, StoredFilter()) << "the caller stores the new list";

    // Stored and shown again whole, not cut at its dot.
    settings::WriteFilterList(m_result);
    EXPECT_EQ(IDCANCEL, Run([](HWND dialog, HWND, HWND excluded) {
                  ASSERT_EQ(3u, Rows(excluded).size());
                  EXPECT_EQ(L"tar.gz", Rows(excluded)[2].extension);
                  Click(dialog, IDCANCEL);
              }));
}

TEST_F(ExclusionDialogTest, EnterInTheRightListRemovesAndAnEmptyListDeletesTheStoredOne) {
    EXPECT_EQ(IDOK, Run([](HWND dialog, HWND offered, HWND excluded) {
                  Select(excluded, -1);  // every row
                  EnterIn(dialog, IDC_EXCLUDED_TYPES);
                  ASSERT_TRUE(test::WaitUntil([&] { return Rows(excluded).empty(); }, 10000));
                  // Both went back to the end of the left list, the typed one too.
                  const std::vector<FileType> rows = Rows(offered);
                  ASSERT_LE(2u, rows.size());
                  EXPECT_EQ((FileType{L"Tavrix quill notes", L"tvxqu6"}), rows[rows.size() - 2]);
                  EXPECT_EQ((FileType{kUserDefined, L"zzq"}), rows.back());
                  EXPECT_TRUE(::IsWindowVisible(dialog));
                  Click(dialog, IDOK);
              }));
    EXPECT_TRUE(m_result.empty());
    EXPECT_EQ(std::vector<std::wstring>{L"<none>"}, StoredFilter());
}

TEST_F(ExclusionDialogTest, CancelStoresNothingAndTheEditRefusesPathCharacters) {
    EXPECT_EQ(IDCANCEL, Run([](HWND dialog, HWND offered, HWND excluded) {
                  const HWND edit = ::GetDlgItem(dialog, IDC_TYPED_EXTENSION);
                  for (wchar_t ch : std::wstring(L"m*p/3")) ::SendMessageW(edit, WM_CHAR, ch, 0);
                  EXPECT_EQ(L"mp3", Text(dialog, IDC_TYPED_EXTENSION));
                  // A paste that brings a colon clears the whole text.
                  ::SendMessageW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"a:b"));
                  EXPECT_EQ(L"", Text(dialog, IDC_TYPED_EXTENSION));

                  // The first offered type goes over with "&Add ->".
                  Select(offered, 0);
                  Click(dialog, IDC_ADD_EXCLUSION);
                  EXPECT_EQ(3u, Rows(excluded).size());
                  Click(dialog, IDCANCEL);
              }));
    EXPECT_EQ(std::vector<std::wstring>{L"untouched"}, m_result);
    EXPECT_EQ((std::vector<std::wstring>{L"tvxqu6", L"zzq"}), StoredFilter());
}

}  // namespace
}  // namespace tvx::ui
