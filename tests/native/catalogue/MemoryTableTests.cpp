// The catalogue's in-memory tables: every path added is found with its
// identity, nothing else is, and a path added twice keeps its first identity,
// however much the table grows; copy records likewise by file identity.
#include "catalogue/CopyRecordTable.h"
#include "catalogue/PathIdTable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tvx::catalogue {
namespace {

// Many paths that share long starts and differ late, as one tree's do.
std::string TreePath(std::uint32_t i) {
    return "C:\\Users\\Ann\\Documents\\Group " + std::to_string(i / 5000) + "\\Folder " + std::to_string(i / 100) +
           "\\Document " + std::to_string(i) + ".txt";
}

TEST(PathIdTable, EveryPathAddedIsFoundWithItsIdentityThroughGrowth) {
    PathIdTable table;
    constexpr std::uint32_t kCount = 50000;
    for (std::uint32_t i = 0; i < kCount; ++i) ASSERT_TRUE(table.Add(TreePath(i), i + 1));
    EXPECT_EQ(kCount, table.Count());
    // In the order added (each the one after the last found), backwards,
    // and skipping about (found through the hash, then onwards from there).
    std::uint32_t id = 0;
    for (int order = 0; order < 3; ++order) {
        for (std::uint32_t n = 0; n < kCount; ++n) {
            const std::uint32_t i = order == 0 ? n : order == 1 ? kCount - 1 - n : n * 7 % kCount;
            ASSERT_TRUE(table.Find(TreePath(i), id)) << TreePath(i);
            ASSERT_EQ(i + 1, id);
        }
    }
    id = 7;
    EXPECT_FALSE(table.Find(TreePath(kCount), id));
    EXPECT_FALSE(table.Find("C:\\Users\\Ann\\Documents\\Group 0\\Folder 0\\Document 0.tx", id));
    EXPECT_FALSE(table.Find("C:\\Users\\Ann\\Documents\\Group 0\\Folder 0\\Document 0.txt ", id));
    EXPECT_EQ(7u, id) << "a miss leaves the identity alone";
}

TEST(PathIdTable, FirstIdentityOfAPathStaysAndIdentityZeroIsAnAnswer) {
    PathIdTable table;
    ASSERT_TRUE(table.Add("C:\\a", 0));
    ASSERT_TRUE(table.Add("C:\\a", 9));
    ASSERT_TRUE(table.Add("", 4));
    ASSERT_TRUE(table.Add(std::string("C:\\a\0b", 6), 5));
    EXPECT_EQ(3u, table.Count());
    std::uint32_t id = 99;
    ASSERT_TRUE(table.Find("C:\\a", id));
    EXPECT_EQ(0u, id);
    ASSERT_TRUE(table.Find("", id));
    EXPECT_EQ(4u, id);
    ASSERT_TRUE(table.Find(std::string("C:\\a\0b", 6), id));
    EXPECT_EQ(5u, id);
}

TEST(PathIdTable, ReservedTableAndClearedTableAnswerRight) {
    PathIdTable table;
    table.Reserve(3000, 3000 * 60);
    for (std::uint32_t i = 0; i < 5000; ++i) ASSERT_TRUE(table.Add(TreePath(i), i));  // past the reservation
    std::uint32_t id = 0;
    ASSERT_TRUE(table.Find(TreePath(4999), id));
    EXPECT_EQ(4999u, id);
    table.Clear();
    EXPECT_EQ(0u, table.Count());
    EXPECT_FALSE(table.Find(TreePath(4999), id));
    ASSERT_TRUE(table.Add(TreePath(1), 77));
    ASSERT_TRUE(table.Find(TreePath(1), id));
    EXPECT_EQ(77u, id);
}

// The copy records of one destination: the first record of a file stays when
// read in, a recorded copy replaces it, identity 0 is never held.
TEST(CopyRecordTable, FirstRecordStaysWhenReadAndACopyReplacesIt) {
    CopyRecordTable table;
    table.Reserve(10);
    for (std::uint32_t file = 1; file <= 20000; ++file) table.Put(file, {file * 3ull, file % 7}, false);
    table.Put(5, {99, 99}, false);
    table.Put(0, {1, 1}, true);
    EXPECT_EQ(20000u, table.Count());
    EXPECT_EQ(nullptr, table.Find(0));
    EXPECT_EQ(nullptr, table.Find(20001));
    for (std::uint32_t file = 1; file <= 20000; ++file) {
        const CopyRecordTable::Record* r = table.Find(file);
        ASSERT_NE(nullptr, r) << file;
        ASSERT_EQ(file * 3ull, r->lastWrite);
        ASSERT_EQ(file % 7, r->attributes);
    }
    table.Put(5, {0x0123456789ABCDEFull, 0x20}, true);
    EXPECT_EQ(0x0123456789ABCDEFull, table.Find(5)->lastWrite);
    EXPECT_EQ(0x20u, table.Find(5)->attributes);
    table.Put(0xFFFFFFFFu, {7, 7}, true);
    ASSERT_NE(nullptr, table.Find(0xFFFFFFFFu));
    table.Clear();
    EXPECT_EQ(0u, table.Count());
    EXPECT_EQ(nullptr, table.Find(5));
}

}  // namespace
}  // namespace tvx::catalogue
