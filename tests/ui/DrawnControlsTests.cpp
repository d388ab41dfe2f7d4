// Pure rules of the drawn controls: how long paths are shortened for display
// and where the pie's filled share ends.
#include "ui/DrawnControls.h"

#include <gtest/gtest.h>

namespace tvx::ui {
namespace {

TEST(ShortenPath, KeepsTheRootTheFirstFolderAndAsMuchOfTheEndAsFits) {
    EXPECT_EQ(L"C:\\Documents\\...\\Quarter.doc", ShortenPath(L"C:\\Documents\\Reports\\2001\\Quarter.doc", 30, true));
    EXPECT_EQ(L"C:\\Documents\\...\\2001\\Quarter.doc",
              ShortenPath(L"C:\\Documents\\Reports\\2001\\Quarter.doc", 33, true));
    // Short enough: unchanged.
    EXPECT_EQ(L"C:\\a\\b.txt", ShortenPath(L"C:\\a\\b.txt", 42, true));
    // A network path keeps \\server and its share.
    EXPECT_EQ(L"\\\\server\\share\\...\\file.txt",
              ShortenPath(L"\\\\server\\share\\one\\two\\three\\file.txt", 30, true));
    for (size_t limit = 21; limit < 50; ++limit) {  // the name alone is 21
        EXPECT_LE(ShortenPath(L"C:\\Documents\\Reports\\2001\\Quarterly figures.doc", limit, true).size(), limit)
            << limit;
    }
}

TEST(ShortenPath, FallsBackToTheFileNameOrNothing) {
    // Root + "\...\" + name does not fit: the name alone.
    EXPECT_EQ(L"Quarter.doc", ShortenPath(L"C:\\Documents\\Reports\\2001\\Quarter.doc", 20, true));
    // The name alone is too long: the name when it must stay, else nothing.
    EXPECT_EQ(L"A very long file name.doc", ShortenPath(L"C:\\x\\y\\A very long file name.doc", 10, true));
    EXPECT_EQ(L"", ShortenPath(L"C:\\x\\y\\A very long file name.doc", 10, false));
}

TEST(PieEdgePoint, TheShareGrowsClockwiseFromTwelveOClock) {
    const RECT box = {0, 0, 100, 100};
    const POINT zero = PieEdgePoint(box, 0);
    EXPECT_EQ(50, zero.x);
    EXPECT_EQ(0, zero.y);
    const POINT quarter = PieEdgePoint(box, 25);  // three o'clock
    EXPECT_NEAR(100, quarter.x, 1);
    EXPECT_NEAR(50, quarter.y, 1);
    const POINT half = PieEdgePoint(box, 50);  // six o'clock
    EXPECT_NEAR(50, half.x, 1);
    EXPECT_NEAR(100, half.y, 1);
    const POINT more = PieEdgePoint(box, 250);  // counts as 100: back at the top
    EXPECT_NEAR(50, more.x, 1);
    EXPECT_NEAR(0, more.y, 1);
}

}  // namespace
}  // namespace tvx::ui
