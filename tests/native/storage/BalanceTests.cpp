// Shape of a tag's tree under key maintenance: with the catalogue's 240-byte
// keys an interior node holds two entries, so every interior node with a
// single entry is a level that adds depth without adding leaves. Keys added
// and changed one at a time must leave a tree about as shallow as a rebuild
// of the same keys, sound, and with every key found.
#include "StorageTestSupport.h"

#include "storage/CdxIndex.h"
#include "storage/Check.h"

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace tvx::db::test {
namespace {


// A small generator of its own, so that the keys are the same everywhere.
class Random {
public:
    explicit Random(std::uint64_t seed) : m_state(seed * 0x9E3779B97F4A7C15ull + 1) {}
    std::uint32_t Next() {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 7;
        m_state ^= m_state << 17;
        return static_cast<std::uint32_t>(m_state >> 11);
    }
    std::uint32_t Below(std::uint32_t n) { return Next() % n; }

private:
    std::uint64_t m_state;
};

// A FILES path of 20..230 bytes: a drive, folders of common and random
// names, and the end marker the catalogue appends.
std::string RandomPath(Random& random, std::uint32_t serial) {
    static const char* const kNames[] = {"Windows", "Users", "Program Files", "src", "backup", "Pictures", "Musik"};
    const std::size_t length = 20 + random.Below(211);
    std::string p = random.Below(2) ? "C:\\" : "D:\\";
    while (p.size() < length) {
        if (random.Below(4) == 0) {
            p += kNames[random.Below(7)];
        } else {
            const std::size_t n = 3 + random.Below(10);
            for (std::size_t i = 0; i < n; ++i) p += static_cast<char>('a' + random.Below(26));
        }
        p += '\\';
    }
    p.resize(length);
    // Unique whatever the draw: the serial closes the path.
    const std::string tail = "#" + std::to_string(serial);
    p.replace(p.size() - tail.size(), tail.size(), tail);
    return p + "?";
}

cdx::Shape ShapeOf(DbTable* t, const char* tag = "PATH_TAG") {
    cdx::Shape shape;
    EXPECT_EQ(t->Tag(tag)->impl().tree->Inspect(shape), kOk);
    return shape;
}

std::string Describe(const cdx::Shape& s) {
    return "depth " + std::to_string(s.depth) + ", " + std::to_string(s.leaves) + " leaves, " +
           std::to_string(s.interior) + " interior nodes of which " + std::to_string(s.unary) + " with one entry";
}

class BalanceTest : public StorageTest {
protected:
    // Appends n random FILES paths (ID "0"), remembered in record order.
    static void AppendRandomPaths(DbTable* t, Random& random, std::uint32_t n, std::vector<std::string>& paths) {
        for (std::uint32_t i = 0; i < n; ++i) {
            paths.push_back(RandomPath(random, i));
            ASSERT_EQ(AppendValues(t, {"0", paths.back()}), kOk);
        }
    }
};

// Every path is found by a seek on the whole key, on its own record.
void ExpectEveryPathFound(DbTable* t, const std::vector<std::string>& paths) {
    t->SelectTag(t->Tag("PATH_TAG"));
    std::size_t missing = 0;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (t->Seek(paths[i].c_str()) != kOk || t->RecordNumber() != i + 1) ++missing;
    }
    EXPECT_EQ(missing, 0u);
}

// The check of the table includes the tree's own findings (cdx::Shape::problems).
void ExpectSound(DbTable* t) {
    const auto problems = CheckTable(*t);
    EXPECT_TRUE(problems.empty()) << problems.size() << " problems, first: " << problems.front();
}

// Compares the sound tree the keys were maintained in with a rebuild of it.
void ExpectAsShallowAsARebuild(DbTable* t, const char* what) {
    const cdx::Shape kept = ShapeOf(t);
    ASSERT_EQ(t->Reindex(), kOk);
    const cdx::Shape rebuilt = ShapeOf(t);
    ::testing::Test::RecordProperty(what, Describe(kept) + " (rebuilt: " + Describe(rebuilt) + ")");
    std::printf("%s: %s; rebuilt: %s\n", what, Describe(kept).c_str(), Describe(rebuilt).c_str());
    EXPECT_LE(kept.depth, rebuilt.depth + 2) << what << ": " << Describe(kept) << "; rebuilt " << Describe(rebuilt);
}

TEST_F(BalanceTest, KeysAddedInRandomOrderKeepTheTreeWithinTwoLevelsOfARebuild) {
    DbTable* t = DbTable::Create(m_context, Path("files").c_str(), kFilesFields, kPathTag);
    ASSERT_NE(t, nullptr);
    Random random(1);
    std::vector<std::string> paths;
    const std::uint32_t n = 14000;
    for (std::uint32_t i = 0; i < n; ++i) {
        paths.push_back(RandomPath(random, i));
        ASSERT_EQ(AppendValues(t, {std::to_string(i % 10000), paths.back()}), kOk);
        if (i + 1 == 1000) {
            // Where the fault first showed: a thousand keys made 21 levels.
            const cdx::Shape early = ShapeOf(t);
            std::printf("1000 keys: %s\n", Describe(early).c_str());
            EXPECT_LE(early.depth, 13u) << Describe(early);
        }
    }
    ExpectSound(t);
    ExpectEveryPathFound(t, paths);
    ExpectAsShallowAsARebuild(t, "random");
    ASSERT_EQ(t->Close(), kOk);
    t = DbTable::Open(m_context, Path("files").c_str());
    ASSERT_NE(t, nullptr);
    ExpectSound(t);
}

TEST_F(BalanceTest, KeysAddedInRisingAndFallingOrderKeepTheTreeWithinTwoLevelsOfARebuild) {
    for (const bool rising : {true, false}) {
        SCOPED_TRACE(rising ? "rising" : "falling");
        const std::string name = rising ? "rise" : "fall";
        DbTable* t = DbTable::Create(m_context, Path(name).c_str(), kFilesFields, kPathTag);
        ASSERT_NE(t, nullptr);
        std::vector<std::string> paths;
        const std::uint32_t n = 4000;
        for (std::uint32_t i = 0; i < n; ++i) {
            const std::uint32_t k = rising ? i : n - i;
            char digits[16];
            std::snprintf(digits, sizeof digits, "%07u", k);
            paths.push_back("C:\\Users\\backup\\" + std::string(60 + k % 90, 'x') + "\\" + digits + "?");
            ASSERT_EQ(AppendValues(t, {"0", paths.back()}), kOk);
        }
        ExpectSound(t);
        ExpectEveryPathFound(t, paths);
        ExpectAsShallowAsARebuild(t, rising ? "rising" : "falling");
        ASSERT_EQ(t->Close(), kOk);
    }
}

TEST_F(BalanceTest, ChangedKeysThatEmptyWholeRangesKeepTheTreeShallowSoundAndReuseItsNodes) {
    DbTable* t = DbTable::Create(m_context, Path("files").c_str(), kFilesFields, kPathTag);
    ASSERT_NE(t, nullptr);
    Random random(7);
    std::vector<std::string> paths;
    const std::uint32_t n = 5000;
    AppendRandomPaths(t, random, n, paths);
    ASSERT_FALSE(HasFatalFailure());
    // Every key on drive D moves to a short one past all others, a range of
    // leaves empties and its nodes go to the free list; random keys elsewhere
    // change too.
    std::uint32_t serial = n;
    for (std::uint32_t r = 1; r <= n; ++r) {
        std::string& p = paths[r - 1];
        const bool moved = p[0] == 'D';
        if (!moved && random.Below(5) != 0) continue;
        p = moved ? "Z:\\" + std::to_string(serial++) + "?" : RandomPath(random, serial++);
        ASSERT_EQ(t->Go(r), kOk);
        ASSERT_EQ(t->Field("PATH")->AssignText(p.c_str()), kOk);
    }
    ASSERT_EQ(t->Top(), kOk);
    ExpectSound(t);
    ExpectEveryPathFound(t, paths);
    const cdx::Shape changed = ShapeOf(t);
    EXPECT_NE(t->Tag("PATH_TAG")->impl().tree->FreeHead(), cdx::kNone);
    // The moved keys return to drive D: freed nodes are taken again before
    // the file grows by more than the few nodes a change may add.
    ASSERT_EQ(t->Flush(), kOk);
    const auto before = Bytes(Path("FILES.CDX")).size();
    for (std::uint32_t r = 1; r <= n; ++r) {
        std::string& p = paths[r - 1];
        if (p[0] != 'Z') continue;
        p = "D:\\" + p.substr(3);
        ASSERT_EQ(t->Go(r), kOk);
        ASSERT_EQ(t->Field("PATH")->AssignText(p.c_str()), kOk);
    }
    ASSERT_EQ(t->Top(), kOk);
    ASSERT_EQ(t->Flush(), kOk);
    ExpectSound(t);
    ExpectEveryPathFound(t, paths);
    EXPECT_LE(Bytes(Path("FILES.CDX")).size(), before + 64 * 512) << Describe(changed);
    ExpectAsShallowAsARebuild(t, "changed");
}

TEST_F(BalanceTest, ChangingEveryKeyAwayAndBackLeavesASingleLevelAndThenASoundTree) {
    DbTable* t = DbTable::Create(m_context, Path("files").c_str(), kFilesFields, kPathTag);
    ASSERT_NE(t, nullptr);
    Random random(3);
    std::vector<std::string> paths;
    const std::uint32_t n = 600;
    AppendRandomPaths(t, random, n, paths);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_GT(ShapeOf(t).depth, 3u);
    // All keys become one short key: the tree shrinks to a few leaves under
    // a root, or a single leaf, as a rebuild would make it.
    for (std::uint32_t r = 1; r <= n; ++r) {
        ASSERT_EQ(t->Go(r), kOk);
        ASSERT_EQ(t->Field("PATH")->AssignText("a"), kOk);
    }
    ASSERT_EQ(t->Top(), kOk);
    ExpectSound(t);
    const cdx::Shape small = ShapeOf(t);
    EXPECT_LE(small.depth, 4u) << Describe(small);
    for (std::uint32_t r = 1; r <= n; ++r) {
        ASSERT_EQ(t->Go(r), kOk);
        ASSERT_EQ(t->Field("PATH")->AssignText(paths[r - 1].c_str()), kOk);
    }
    ASSERT_EQ(t->Top(), kOk);
    ExpectSound(t);
    ExpectEveryPathFound(t, paths);
    ExpectAsShallowAsARebuild(t, "back");
}

TEST_F(BalanceTest, ShortKeysFillWideInteriorNodes) {
    DbTable* t = DbTable::Create(m_context, Path("revns").c_str(), kRevnsFields, kIdTag);
    ASSERT_NE(t, nullptr);
    Random random(5);
    std::set<std::string> ids;
    for (std::uint32_t i = 0; i < 6000; ++i) {
        char id[16];
        std::snprintf(id, sizeof id, "%08u", random.Below(100000000));
        ids.insert(id);
        ASSERT_EQ(AppendValues(t, {id, "20240101", "A"}), kOk);
    }
    ExpectSound(t);
    const cdx::Shape kept = ShapeOf(t, "ID_TAG");
    // 500 / (8 + 8) = 31 entries to an interior node: three levels suffice.
    EXPECT_LE(kept.depth, 3u) << Describe(kept);
    EXPECT_EQ(kept.unary, 0u) << Describe(kept);
    t->SelectTag(t->Tag("ID_TAG"));
    for (const std::string& id : ids) EXPECT_EQ(t->Seek(id.c_str()), kOk) << id;
}

}  // namespace
}  // namespace tvx::db::test
