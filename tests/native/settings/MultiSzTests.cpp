// The list-of-texts layout, parsed from exactly sized heap copies so that
// AddressSanitizer reports any read past the given length.
#include "settings/MultiSz.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace tvx::settings;
using Text = std::u16string;
using List = std::vector<Text>;

// A literal's characters with its embedded zeros (but not the one it ends with).
template <std::size_t N>
Text Data(const char16_t (&chars)[N]) { return Text(chars, N - 1); }

List ParseExact(const Text& data) {
    auto copy = std::make_unique<char16_t[]>(data.size());
    std::memcpy(copy.get(), data.data(), data.size() * sizeof(char16_t));
    return multisz::Parse(copy.get(), data.size());
}

// Texts in stored order up to the first empty one; final zeros may be
// missing, and nothing past the given length is read.
TEST(MultiSzParse, TextsComeBackInStoredOrderUpToTheFirstEmptyOne) {
    const std::pair<Text, List> cases[] = {
        {Data(u"C:\\b\0A:\\a\0D:\\\0\0"), {u"C:\\b", u"A:\\a", u"D:\\"}},
        {Data(u"\0"), {}},
        {Data(u"\0\0"), {}},
        {Data(u"one\0two\0"), {u"one", u"two"}},
        {Data(u"one\0two"), {u"one", u"two"}},
        {Text(300, u'p'), {Text(300, u'p')}},
        {Data(u"a\0\0b\0\0"), {u"a"}},
        {Data(u"\0a\0\0"), {}},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(ParseExact(cases[i].first), cases[i].second) << i;
    EXPECT_TRUE(multisz::Parse<char16_t>(nullptr, 0).empty());
}

TEST(MultiSzParse, OddOrUnalignedBytesAreRead) {
    // Seven bytes: "ab", its zero, and half of 'c', which is dropped.
    auto odd = std::make_unique<unsigned char[]>(7);
    std::memcpy(odd.get(), u"ab\0c", 7);
    EXPECT_EQ(multisz::ParseBytes<char16_t>(odd.get(), 7), (List{u"ab"}));
    EXPECT_TRUE(multisz::ParseBytes<char16_t>(odd.get(), 1).empty());

    std::vector<unsigned char> storage(1 + 6 * sizeof(char16_t));
    std::memcpy(storage.data() + 1, u"ab\0c\0\0", 6 * sizeof(char16_t));
    EXPECT_EQ(multisz::ParseBytes<char16_t>(storage.data() + 1, storage.size() - 1), (List{u"ab", u"c"}));
}

TEST(MultiSzSerialise, EachTextEndsWithZeroAndTheListWithOneMore) {
    EXPECT_EQ(multisz::Serialise(List{u"E:\\", u"xy"}), Data(u"E:\\\0xy\0\0"));
    const List texts{u"C:\\Users\\Ann", u"\u00e9t\u00e9", Text(5000, u'z')};
    EXPECT_EQ(ParseExact(multisz::Serialise(texts)), texts);
}

TEST(MultiSzSerialise, TextsTheLayoutCannotHoldAreLeftOut) {
    EXPECT_TRUE(multisz::Serialise(List{}).empty());  // nothing to write
    EXPECT_TRUE(multisz::Serialise(List{u"", Data(u"\0")}).empty());
    EXPECT_EQ(ParseExact(multisz::Serialise(List{u"a", u"", u"b"})), (List{u"a", u"b"}));
    EXPECT_EQ(ParseExact(multisz::Serialise(List{Data(u"ab\0cd"), u"e"})), (List{u"ab", u"e"}));
}

}  // namespace
