// Which files the user's list of excluded extensions keeps out of the mirror.
#include "engine/Exclusion.h"

#include <gtest/gtest.h>

namespace tvx::engine {
namespace {

using List = std::vector<std::wstring>;

TEST(Exclusion, OnlyTheLastExtensionCountsWithoutRegardToCase) {
    const List list{L"DOC", L"gz", L"tar.gz"};
    EXPECT_EQ(1, IsExcluded(L"C:\\a\\Letter.doc", list));
    EXPECT_EQ(1, IsExcluded(L"C:\\a\\Letter.Doc", list));
    EXPECT_EQ(1, IsExcluded(L"C:\\a\\report.tar.gz", list)) << "gz matches the last extension";
    EXPECT_EQ(0, IsExcluded(L"C:\\a\\Letter.docx", list));
    EXPECT_EQ(0, IsExcluded(L"C:\\a\\Letter.do", list));
    EXPECT_EQ(0, IsExcluded(L"C:\\a\\tar.gz.txt", list));
    EXPECT_EQ(0, IsExcluded(L"C:\\a\\Letter.doc", {})) << "an empty list excludes nothing";
}

TEST(Exclusion, NonLatinCaseFoldsAndNoDotMeansTheWholePath) {
    EXPECT_EQ(1, IsExcluded(L"C:\\a\\b.\u00c9T\u00c9", {L"\u00e9t\u00e9"}));
    EXPECT_EQ(1, IsExcluded(L"C:\\a\\b.\u0394\u03b1", {L"\u03b4\u0391"}));
    EXPECT_EQ(0, IsExcluded(L"C:\\docs\\README", {L"README"})) << "only the whole path matches";
    EXPECT_EQ(1, IsExcluded(L"C:\\docs\\README", {L"c:\\DOCS\\readme"}));
    EXPECT_EQ(1, IsExcluded(L"C:\\a\\trailing.", {L""})) << "a trailing dot gives an empty extension";
}

}  // namespace
}  // namespace tvx::engine
