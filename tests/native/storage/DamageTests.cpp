// Damaged files give negative codes: never a crash, a hang or a read outside
// the file (the tests run under AddressSanitizer).
#include "StorageTestSupport.h"

#include "storage/Check.h"

namespace tvx::db::test {
namespace {

class DamageTest : public StorageTest {
protected:
    void SetUp() override {
        StorageTest::SetUp();
        DbTable* t = DbTable::Create(m_context, Path("dests").c_str(), kDestsFields, kPathTag);
        ASSERT_NE(t, nullptr);
        for (int i = 0; i < 12; ++i)
            ASSERT_EQ(AppendValues(t, {std::to_string(i), "c:\\some\\longer\\folder\\" + std::to_string(i * 7 % 5) + "?"}),
                      kOk);
        ASSERT_EQ(t->Close(), kOk);
        m_dbf = Bytes(Path("DESTS.DBF"));
        m_cdx = Bytes(Path("DESTS.CDX"));
    }

    // Opens and uses the damaged table every way; returns the open's code.
    int Exercise() {
        m_context.SetErrorCode(0);
        DbTable* t = DbTable::Open(m_context, Path("dests").c_str());
        if (!t) {
            EXPECT_LT(m_context.ErrorCode(), 0);
            return m_context.ErrorCode();
        }
        CheckTable(*t);
        t->SelectTag(t->Tag("PATH_TAG"));
        int steps = 0;
        for (int rc = t->Top(); rc == kOk && steps < 100; rc = t->Skip(1)) ++steps;
        m_context.SetErrorCode(0);
        for (int rc = t->Bottom(); rc == kOk && steps < 200; rc = t->Skip(-1)) ++steps;
        m_context.SetErrorCode(0);
        t->Seek("c:\\some\\longer\\folder\\3?");
        m_context.SetErrorCode(0);
        t->Close();
        return kOk;
    }

    std::vector<std::uint8_t> m_dbf, m_cdx;
};

TEST_F(DamageTest, TruncatedFilesNeverCrash) {
    for (std::size_t size = 0; size < m_cdx.size(); size += 97) {
        PutBytes(Path("DESTS.CDX"), std::vector<std::uint8_t>(m_cdx.begin(), m_cdx.begin() + static_cast<long>(size)));
        Exercise();
    }
    PutBytes(Path("DESTS.CDX"), m_cdx);
    for (std::size_t size = 0; size < m_dbf.size(); size += 61) {
        PutBytes(Path("DESTS.DBF"), std::vector<std::uint8_t>(m_dbf.begin(), m_dbf.begin() + static_cast<long>(size)));
        Exercise();
    }
}

TEST_F(DamageTest, FlippedBytesNeverCrash) {
    for (std::size_t at = 0; at < m_cdx.size(); ++at) {
        // Zero runs of the free area are skipped but for a sample.
        if (m_cdx[at] == 0 && at % 16 != 0) continue;
        auto damaged = m_cdx;
        damaged[at] ^= 0xFF;
        PutBytes(Path("DESTS.CDX"), damaged);
        Exercise();
    }
    PutBytes(Path("DESTS.CDX"), m_cdx);
    for (std::size_t at = 0; at < 200; ++at) {
        auto damaged = m_dbf;
        damaged[at] ^= 0x5A;
        PutBytes(Path("DESTS.DBF"), damaged);
        Exercise();
    }
}

TEST_F(DamageTest, NodeThatLeadsBackToItselfEndsWithAnError) {
    // Rebuild with enough keys for an interior root, then point its first
    // child at the root itself.
    DbTable* t = DbTable::Open(m_context, Path("dests").c_str());
    ASSERT_NE(t, nullptr);
    for (int i = 0; i < 40; ++i) ASSERT_EQ(AppendValues(t, {"x", std::string(230, 'a' + i % 26) + std::to_string(i)}), kOk);
    ASSERT_EQ(t->Close(), kOk);
    auto cdx = Bytes(Path("DESTS.CDX"));
    const std::uint32_t root = cdx[1024] | (cdx[1025] << 8) | (cdx[1026] << 16);
    ASSERT_EQ(cdx[root] & 2, 0) << "root is expected to be interior";
    const std::size_t child = root + 12 + 240 + 4;  // first entry's child, big-endian
    cdx[child] = static_cast<std::uint8_t>(root >> 24);
    cdx[child + 1] = static_cast<std::uint8_t>(root >> 16);
    cdx[child + 2] = static_cast<std::uint8_t>(root >> 8);
    cdx[child + 3] = static_cast<std::uint8_t>(root);
    PutBytes(Path("DESTS.CDX"), cdx);
    t = DbTable::Open(m_context, Path("dests").c_str());
    ASSERT_NE(t, nullptr);
    t->SelectTag(t->Tag("PATH_TAG"));
    EXPECT_EQ(t->Top(), kErrIndex);
    EXPECT_EQ(m_context.ErrorCode(), kErrIndex);
    EXPECT_EQ(t->Skip(1), kErrPending);
    m_context.SetErrorCode(0);
    EXPECT_FALSE(CheckTable(*t).empty());
}

}  // namespace
}  // namespace tvx::db::test
