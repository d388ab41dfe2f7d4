// The index's change marker: bytes 256..259 of the first header read "TVX!"
// from before the first index page of a cycle reaches the file until index
// and table are both written, and the table decides when it is found set.
#include "StorageTestSupport.h"

#include "storage/Check.h"

namespace tvx::db::test {
namespace {

constexpr std::size_t kMarkerAt = 256;
const std::string kMarker = "TVX!";

// One transfer seen by the recording file layer.
struct Op {
    std::string file;  // file name
    char kind;         // 'W' write, 'T' truncate, 'F' flush
    std::uint64_t offset = 0;
    std::size_t count = 0;
    std::string atMarker;  // the written bytes at 256..259, when covered
};

// The real file system, logging every change made through it.
class RecordingFileSystem final : public DbFileSystem {
public:
    std::vector<Op> ops;

    std::unique_ptr<DbFile> Open(const char* path, int accessMode, bool readOnly) override {
        auto f = RealFileSystem().Open(path, accessMode, readOnly);
        return f ? std::make_unique<File>(*this, fs::path(path).filename().string(), std::move(f)) : nullptr;
    }
    std::unique_ptr<DbFile> Create(const char* path, int accessMode) override {
        auto f = RealFileSystem().Create(path, accessMode);
        return f ? std::make_unique<File>(*this, fs::path(path).filename().string(), std::move(f)) : nullptr;
    }
    bool Exists(const char* path) override { return RealFileSystem().Exists(path); }

private:
    class File final : public DbFile {
    public:
        File(RecordingFileSystem& owner, std::string name, std::unique_ptr<DbFile> inner)
            : m_owner(owner), m_name(std::move(name)), m_inner(std::move(inner)) {}
        int Read(std::uint64_t o, void* b, std::size_t c) override { return m_inner->Read(o, b, c); }
        int Write(std::uint64_t o, const void* b, std::size_t c) override {
            Op op{m_name, 'W', o, c, {}};
            if (o <= kMarkerAt && o + c >= kMarkerAt + 4)
                op.atMarker.assign(static_cast<const char*>(b) + (kMarkerAt - o), 4);
            m_owner.ops.push_back(op);
            return m_inner->Write(o, b, c);
        }
        int Size(std::uint64_t& s) override { return m_inner->Size(s); }
        int Truncate(std::uint64_t s) override {
            m_owner.ops.push_back({m_name, 'T', s, 0, {}});
            return m_inner->Truncate(s);
        }
        int Flush() override {
            m_owner.ops.push_back({m_name, 'F', 0, 0, {}});
            return m_inner->Flush();
        }

    private:
        RecordingFileSystem& m_owner;
        std::string m_name;
        std::unique_ptr<DbFile> m_inner;
    };
};

class MarkerTest : public StorageTest {
protected:
    void SetUp() override {
        StorageTest::SetUp();
        DbTable* t = DbTable::Create(m_context, Path("dests").c_str(), kDestsFields, kPathTag);
        ASSERT_NE(t, nullptr);
        for (int i = 0; i < 10; ++i) ASSERT_EQ(AppendValues(t, {std::to_string(i), "p" + std::to_string(i)}), kOk);
        ASSERT_EQ(t->Close(), kOk);
    }
    std::string MarkerBytes() {
        const auto cdx = Bytes(Path("DESTS.CDX"));
        return std::string(cdx.begin() + kMarkerAt, cdx.begin() + kMarkerAt + 4);
    }
    void PutMarkerBytes(const std::string& value) {
        auto cdx = Bytes(Path("DESTS.CDX"));
        std::copy(value.begin(), value.end(), cdx.begin() + kMarkerAt);
        PutBytes(Path("DESTS.CDX"), cdx);
    }
    // Opens with the production index and returns the check's findings.
    std::vector<std::string> Problems(std::size_t* keys = nullptr) {
        DbTable* t = DbTable::Open(m_context, Path("dests").c_str());
        if (!t) return {"open failed " + std::to_string(m_context.ErrorCode())};
        auto problems = CheckTable(*t);
        if (keys) {
            *keys = 0;
            t->SelectTag(t->Tag("PATH_TAG"));
            for (int rc = t->Top(); rc == kOk; rc = t->Skip(1)) ++*keys;
        }
        t->Close();
        return problems;
    }
    std::vector<Op> Ops(const std::vector<Op>& all, const std::string& file) {
        std::vector<Op> out;
        for (const Op& op : all)
            if (op.file == file) out.push_back(op);
        return out;
    }
};

TEST_F(MarkerTest, MarkerIsPushedBeforeTheFirstIndexPageAndClearedAsTheCyclesLastWrite) {
    RecordingFileSystem recording;
    m_context.SetFileSystem(&recording);
    DbTable* t = DbTable::Open(m_context, Path("dests").c_str());
    ASSERT_NE(t, nullptr);
    for (int i = 0; i < 5; ++i) ASSERT_EQ(AppendValues(t, {"n" + std::to_string(i), "q" + std::to_string(i)}), kOk);
    // Nothing reaches either file before the cycle ends.
    EXPECT_TRUE(recording.ops.empty());
    ASSERT_EQ(t->Close(), kOk);
    m_context.SetFileSystem(nullptr);

    const auto& ops = recording.ops;
    const auto cdx = Ops(ops, "DESTS.CDX");
    ASSERT_GE(cdx.size(), 5u);
    // Raised on its own and pushed before anything else of the index.
    EXPECT_EQ(cdx[0].kind, 'W');
    EXPECT_EQ(cdx[0].offset, kMarkerAt);
    EXPECT_EQ(cdx[0].count, 4u);
    EXPECT_EQ(cdx[0].atMarker, kMarker);
    EXPECT_EQ(cdx[1].kind, 'F');
    // Cleared by the very last write of all, after the table's writes and a
    // push of the pages, and pushed itself.
    std::size_t lastWrite = 0, firstTable = ops.size(), lastTable = 0;
    for (std::size_t i = 0; i < ops.size(); ++i) {
        if (ops[i].kind == 'W') lastWrite = i;
        if (ops[i].file == "DESTS.DBF" && ops[i].kind != 'F') {
            firstTable = std::min(firstTable, i);
            lastTable = i;
        }
    }
    EXPECT_EQ(ops[lastWrite].file, "DESTS.CDX");
    EXPECT_EQ(ops[lastWrite].offset, kMarkerAt);
    EXPECT_EQ(ops[lastWrite].atMarker, std::string(4, '\0'));
    EXPECT_EQ(ops[lastWrite - 1].kind, 'F');
    ASSERT_LT(lastWrite + 1, ops.size());
    EXPECT_EQ(ops[lastWrite + 1].kind, 'F');
    EXPECT_LT(firstTable, lastWrite);
    EXPECT_LT(lastTable, lastWrite);
    // Every other index write covering the marker (the header page) keeps it
    // set; the marker is written twice in the whole cycle, however many keys.
    int markerWrites = 0, headerPages = 0;
    for (std::size_t i = 0; i < lastWrite; ++i) {
        const Op& op = ops[i];
        if (op.file != "DESTS.CDX" || op.kind != 'W' || op.atMarker.empty()) continue;
        if (op.offset == kMarkerAt && op.count == 4) {
            ++markerWrites;
        } else {
            ++headerPages;
        }
        EXPECT_EQ(op.atMarker, kMarker) << "write " << i;
    }
    EXPECT_EQ(markerWrites, 1);
    EXPECT_GE(headerPages, 1);
    EXPECT_EQ(MarkerBytes(), std::string(4, '\0'));
}

TEST_F(MarkerTest, CycleThatChangesNoKeyLeavesTheIndexFileAlone) {
    RecordingFileSystem recording;
    m_context.SetFileSystem(&recording);
    DbTable* t = DbTable::Open(m_context, Path("dests").c_str());
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(t->Go(3), kOk);
    t->Field("ID")->AssignText("x");  // not part of any key
    ASSERT_EQ(t->Flush(), kOk);
    ASSERT_EQ(t->Close(), kOk);
    m_context.SetFileSystem(nullptr);
    EXPECT_FALSE(Ops(recording.ops, "DESTS.DBF").empty());
    for (const Op& op : Ops(recording.ops, "DESTS.CDX")) EXPECT_EQ(op.kind, 'F');
}

TEST_F(MarkerTest, SetMarkerRefusesReadOnlyOpenAndMakesWritableOpenRebuildFromTheTable) {
    // An index left behind by a cycle that never finished: it knows 10
    // records while the table holds 13, one of them changed.
    const auto stale = Bytes(Path("DESTS.CDX"));
    DbTable* t = DbTable::Open(m_context, Path("dests").c_str());
    ASSERT_NE(t, nullptr);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(AppendValues(t, {"n", "late" + std::to_string(i)}), kOk);
    ASSERT_EQ(t->Go(2), kOk);
    t->Field("PATH")->AssignText("renamed");
    ASSERT_EQ(t->Close(), kOk);
    const auto table = Bytes(Path("DESTS.DBF"));
    PutBytes(Path("DESTS.CDX"), stale);
    EXPECT_FALSE(Problems().empty());  // without the marker nothing tells
    PutMarkerBytes(kMarker);

    m_context.readOnly = true;
    EXPECT_EQ(DbTable::Open(m_context, Path("dests").c_str()), nullptr);
    EXPECT_EQ(m_context.ErrorCode(), kErrIndex);
    m_context.SetErrorCode(0);
    // Opening the index on its own is refused the same way.
    m_context.openProductionIndex = false;
    t = DbTable::Open(m_context, Path("dests").c_str());
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->OpenIndex(Path("DESTS.CDX").c_str()), kErrIndex);
    m_context.SetErrorCode(0);
    t->Close();
    m_context.openProductionIndex = true;
    m_context.readOnly = false;

    std::size_t keys = 0;
    const auto problems = Problems(&keys);
    EXPECT_TRUE(problems.empty()) << problems.front();
    EXPECT_EQ(keys, 13u);
    EXPECT_EQ(MarkerBytes(), std::string(4, '\0'));
    EXPECT_EQ(Bytes(Path("DESTS.DBF")), table);  // the table is what holds
    m_context.readOnly = true;
    EXPECT_TRUE(Problems().empty());
}

TEST_F(MarkerTest, OtherBytesAtTheMarkerAreNotTakenForItAndOutliveAChange) {
    PutMarkerBytes("TVX?");
    m_context.readOnly = true;
    EXPECT_TRUE(Problems().empty());
    m_context.readOnly = false;
    DbTable* t = DbTable::Open(m_context, Path("dests").c_str());
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(AppendValues(t, {"n", "another"}), kOk);
    ASSERT_EQ(t->Close(), kOk);
    EXPECT_EQ(MarkerBytes(), "TVX?");
    std::size_t keys = 0;
    EXPECT_TRUE(Problems(&keys).empty());
    EXPECT_EQ(keys, 11u);
}

// Indexes of other engines have the reserved bytes zero: they open writable
// without being rebuilt or touched, and a rebuild of one that fails at any
// point still leaves a table whose index a writable open repairs.
TEST_F(MarkerTest, OtherEnginesIndexesAreUntouchedAndTheirFailedRebuildIsRepaired) {
    const fs::path root = TVX_FIXTURES_DIR;
    if (!fs::is_directory(root)) GTEST_SKIP() << "fixture folder " << root << " is absent";
    int rebuilt = 0;
    for (const auto& entry : fs::directory_iterator(root)) {
        if (!entry.is_directory()) continue;
        SCOPED_TRACE(entry.path().filename().string());
        fs::path dbf, cdx;
        std::vector<std::pair<fs::path, std::vector<std::uint8_t>>> originals;
        for (const auto& f : fs::directory_iterator(entry.path())) {
            const std::string ext = UpperExtension(f.path());
            if (ext != ".DBF" && ext != ".CDX" && ext != ".FPT") continue;
            const fs::path copy = m_dir / f.path().filename();
            originals.emplace_back(copy, Bytes(f.path().string()));
            if (ext == ".DBF") dbf = copy;
            if (ext == ".CDX") cdx = copy;
        }
        if (dbf.empty() || cdx.empty()) continue;
        const auto restore = [&] {
            for (const auto& [p, bytes] : originals) PutBytes(p.string(), bytes);
        };
        const auto open = [&](DbContext& c) -> DbTable* {
            DbTable* t = DbTable::Open(c, dbf.string().c_str());
            if (t && t->TagCount() == 0 && t->OpenIndex(cdx.string().c_str()) != kOk) {
                t->Close();
                return nullptr;
            }
            return t;
        };
        restore();
        const auto before = Bytes(cdx.string());
        ASSERT_GE(before.size(), kMarkerAt + 4);
        EXPECT_EQ(std::string(before.begin() + kMarkerAt, before.begin() + kMarkerAt + 4), std::string(4, '\0'));
        DbTable* t = open(m_context);
        ASSERT_NE(t, nullptr) << "code " << m_context.ErrorCode();
        const int tags = t->TagCount();
        ASSERT_EQ(t->Close(), kOk);
        EXPECT_EQ(Bytes(cdx.string()), before);

        // Our own rebuild changes the layout (headers, then the directory,
        // then the trees); it must never lose the tags' definitions.
        for (long n = 1;; ++n) {
            SCOPED_TRACE("failing operation " + std::to_string(n));
            restore();
            FailingFileSystem failing(n);
            m_context.SetFileSystem(&failing);
            if (DbTable* f = open(m_context)) {
                f->Reindex();
                f->Close();
            }
            m_context.CloseAll();
            m_context.SetFileSystem(nullptr);
            m_context.SetErrorCode(0);
            DbTable* r = open(m_context);
            ASSERT_NE(r, nullptr) << "code " << m_context.ErrorCode();
            EXPECT_EQ(r->TagCount(), tags);
            for (const auto& p : CheckTable(*r)) EXPECT_EQ(p.rfind("tag", 0), std::string::npos) << p;
            r->Close();
            if (!failing.Tripped()) break;
            ASSERT_LT(n, 10000);
        }
        ++rebuilt;
    }
    EXPECT_GE(rebuilt, 5);
}

}  // namespace
}  // namespace tvx::db::test
