// Tables and indexes written by other xBase engines, read from the shared
// fixture folder (never copied into the repository). For every character
// tag, moving through the table in tag order must give the key listing an
// independent reader produced (perl-walk.txt), and the tags must be sound.
// (The tag walk and the seeks of the listed keys are checked through tvxdb by
// the interop script fixture_keys.py.)
#include "StorageTestSupport.h"

#include "storage/CdxIndex.h"
#include "storage/Check.h"

#include <map>
#include <regex>
#include <sstream>

namespace tvx::db::test {
namespace {

struct Listing {
    std::vector<std::string> order;
    std::map<std::string, std::vector<std::pair<std::string, std::uint32_t>>> keys;
};

Listing ReadListing(const fs::path& file) {
    Listing l;
    std::ifstream in(file);
    std::string line, tag;
    const std::regex tagLine(R"(^tag (\S+) )");
    const std::regex keyLine(R"(^  \[(.*)\] -> rec (\d+)$)");
    std::smatch m;
    while (std::getline(in, line)) {
        if (std::regex_search(line, m, tagLine)) {
            tag = m[1];
            l.order.push_back(tag);
        } else if (std::regex_match(line, m, keyLine)) {
            l.keys[tag].emplace_back(m[1], static_cast<std::uint32_t>(std::stoul(m[2])));
        }
    }
    return l;
}

std::string Trimmed(const std::uint8_t* key, unsigned length) {
    std::string s(reinterpret_cast<const char*>(key), length);
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

fs::path FindFile(const fs::path& dir, const std::string& extension) {
    for (const auto& e : fs::directory_iterator(dir))
        if (UpperExtension(e.path()) == extension) return e.path();
    return {};
}

TEST(FixtureTest, CharacterTagsOfOtherEnginesSkipAsListedAndAreSound) {
    const fs::path root = TVX_FIXTURES_DIR;
    if (!fs::is_directory(root)) GTEST_SKIP() << "fixture folder " << root << " is absent";
    int characterTags = 0;
    for (const auto& entry : fs::directory_iterator(root)) {
        if (!entry.is_directory() || !fs::exists(entry.path() / "perl-walk.txt")) continue;
        SCOPED_TRACE(entry.path().filename().string());
        const fs::path dbf = FindFile(entry.path(), ".DBF");
        const fs::path cdx = FindFile(entry.path(), ".CDX");
        ASSERT_FALSE(dbf.empty());
        ASSERT_FALSE(cdx.empty());
        const Listing listing = ReadListing(entry.path() / "perl-walk.txt");
        DbContext context;
        context.readOnly = true;
        DbTable* t = DbTable::Open(context, dbf.string().c_str());
        ASSERT_NE(t, nullptr) << "code " << context.ErrorCode();
        if (t->TagCount() == 0) {  // not flagged in the header
            ASSERT_EQ(t->OpenIndex(cdx.string().c_str()), kOk);
        }
        ASSERT_EQ(t->TagCount(), static_cast<int>(listing.order.size()));
        for (const std::string& name : listing.order) {
            SCOPED_TRACE(name);
            DbTag* tag = t->Tag(name.c_str());
            ASSERT_NE(tag, nullptr);
            if (tag->impl().expression.Type() != 'C') continue;
            ++characterTags;
            const auto& expected = listing.keys.at(name);
            t->SelectTag(tag);
            std::vector<std::pair<std::string, std::uint32_t>> skipped;
            for (int rc = t->Top(); rc == kOk; rc = t->Skip(1))
                skipped.emplace_back(Trimmed(tag->impl().KeyOf(reinterpret_cast<const std::uint8_t*>(t->RecordBuffer())).data(),
                                             tag->KeyLength()),
                                     t->RecordNumber());
            EXPECT_EQ(skipped, expected);
        }
        const auto problems = CheckTable(*t);
        // Other engines' files carry no end-of-file promise we rely on; the
        // tags themselves must be sound.
        for (const auto& p : problems) EXPECT_EQ(p.rfind("tag", 0), std::string::npos) << p;
    }
    EXPECT_GE(characterTags, 5);
}

}  // namespace
}  // namespace tvx::db::test
