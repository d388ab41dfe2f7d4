// Random appends, changes, deletions and packs against an in-memory model:
// record contents, tag order and one key per record must always agree.
#include "StorageTestSupport.h"

#include "storage/Check.h"

#include <algorithm>
#include <random>

namespace tvx::db::test {
namespace {

using ModelTest = StorageTest;

struct Row {
    std::string path;  // 240 bytes, blank padded
    bool deleted = false;
};

void Verify(DbTable* t, const std::vector<Row>& model) {
    ASSERT_EQ(t->RecordCount(), model.size());
    const auto problems = CheckTable(*t);
    ASSERT_TRUE(problems.empty()) << problems.front();
    std::vector<std::pair<std::string, std::uint32_t>> expected;
    for (std::uint32_t n = 1; n <= model.size(); ++n) expected.emplace_back(model[n - 1].path, n);
    std::sort(expected.begin(), expected.end());
    t->SelectTag(t->Tag("PATH_TAG"));
    std::vector<std::pair<std::string, std::uint32_t>> seen;
    for (int rc = t->Top(); rc == kOk; rc = t->Skip(1)) {
        seen.emplace_back(std::string(t->Field("PATH")->Ptr(), 240), t->RecordNumber());
        ASSERT_EQ(t->IsDeleted(), model[t->RecordNumber() - 1].deleted);
    }
    ASSERT_EQ(seen, expected);
    // Backwards as well.
    std::vector<std::pair<std::string, std::uint32_t>> back;
    for (int rc = t->Bottom(); rc == kOk; rc = t->Skip(-1))
        back.emplace_back(std::string(t->Field("PATH")->Ptr(), 240), t->RecordNumber());
    std::reverse(back.begin(), back.end());
    ASSERT_EQ(back, expected);
    t->SelectTag(nullptr);
}

TEST_F(ModelTest, RandomChangesKeepTableAndTagInStep) {
    std::mt19937 random(20240601);
    DbTable* t = DbTable::Create(m_context, Path("dests").c_str(), kDestsFields, kPathTag);
    ASSERT_NE(t, nullptr);
    std::vector<Row> model;
    auto randomPath = [&] {
        // Few distinct prefixes and lengths: duplicates, shared prefixes and
        // both short and nearly full keys.
        std::string p = "c:\\" + std::string(1 + random() % 3, static_cast<char>('a' + random() % 3));
        if (random() % 4 == 0) p += std::string(150 + random() % 80, static_cast<char>('k' + random() % 2));
        p += "\\" + std::to_string(random() % 40) + "?";
        p.resize(240, ' ');
        return p;
    };
    for (int step = 1; step <= 1500; ++step) {
        const unsigned op = random() % 100;
        if (op < 45 || model.empty()) {
            Row r{randomPath(), false};
            ASSERT_EQ(AppendValues(t, {"id", r.path}), kOk);
            model.push_back(r);
        } else if (op < 80) {
            const std::uint32_t n = 1 + random() % model.size();
            ASSERT_EQ(t->Go(n), kOk);
            model[n - 1].path = randomPath();
            t->Field("PATH")->AssignBytes(model[n - 1].path.data(), 240);
        } else if (op < 95) {
            const std::uint32_t n = 1 + random() % model.size();
            ASSERT_EQ(t->Go(n), kOk);
            ASSERT_EQ(t->MarkDeleted(), kOk);
            model[n - 1].deleted = true;
        } else if (op < 98) {
            ASSERT_EQ(t->Pack(), kOk);
            std::erase_if(model, [](const Row& r) { return r.deleted; });
        } else {
            ASSERT_EQ(t->Close(), kOk);
            t = DbTable::Open(m_context, Path("dests").c_str());
            ASSERT_NE(t, nullptr);
        }
        if (step % 150 == 0) {
            ASSERT_EQ(t->Top(), model.empty() ? kEof : kOk);  // writes back a pending change
            Verify(t, model);
            if (HasFatalFailure()) return;
        }
    }
}

}  // namespace
}  // namespace tvx::db::test
