// Stored path bytes: one byte form per name, read back unchanged, and damaged
// bytes refused instead of read as some other name.
#include "catalogue/PathBytes.h"

#include <gtest/gtest.h>

#include <string>

namespace tvx::catalogue {
namespace {

std::u16string RoundTrip(const std::u16string& units) {
    std::u16string back;
    EXPECT_TRUE(FromStoredBytes(ToStoredBytes(units), back));
    return back;
}

TEST(PathBytes, NamesBecomeStandardUtf8) {
    EXPECT_EQ("C:\\a.txt", ToStoredBytes(u"C:\\a.txt"));
    EXPECT_EQ("R\xC3\xA9sum\xC3\xA9", ToStoredBytes(u"R\u00e9sum\u00e9"));
    EXPECT_EQ("\xE6\x97\xA5", ToStoredBytes(u"\u65e5"));
    EXPECT_EQ("\xF0\x9F\x98\x80", ToStoredBytes(u"\U0001F600"));
    EXPECT_EQ("\xEF\xBF\xBF", ToStoredBytes(u"\uFFFF"));
}

TEST(PathBytes, UnpairedSurrogatesKeepTheirOwnBytesAndComeBack) {
    const std::u16string high{u'a', char16_t(0xD83D), u'b'};
    const std::u16string low{u'a', char16_t(0xDE00), u'b'};
    const std::u16string swapped{char16_t(0xDE00), char16_t(0xD83D)};
    const std::u16string trailingHigh{u'x', char16_t(0xDBFF)};
    EXPECT_EQ("a\xED\xA0\xBD" "b", ToStoredBytes(high));
    EXPECT_NE(ToStoredBytes(high), ToStoredBytes(low));
    for (const auto& units : {high, low, swapped, trailingHigh, std::u16string(u"\U0010FFFF\U00010000")})
        EXPECT_EQ(units, RoundTrip(units));
}

TEST(PathBytes, DamagedBytesAreRefused) {
    std::u16string units;
    for (const char* bad : {"\x80", "\xC3", "\xE6\x97", "\xC0\xAF", "\xE0\x80\xAF", "\xF0\x80\x80\x80",
                            "\xF4\x90\x80\x80", "\xF8\x88\x80\x80\x80", "\xFF", "a\xC3(", "\xE6\x97(b"})
        EXPECT_FALSE(FromStoredBytes(bad, units)) << bad;
    EXPECT_TRUE(FromStoredBytes("", units));
    EXPECT_TRUE(units.empty());
}

}  // namespace
}  // namespace tvx::catalogue
