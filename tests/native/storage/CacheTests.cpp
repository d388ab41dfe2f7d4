// The index and table files' page cache: what it holds back, what it gives
// back after pages were dropped past its limit, and how it cuts a file.
#include "storage/BufferedFile.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace tvx::db {
namespace {

// A file in memory that counts what reaches it.
struct MemoryBytes {
    std::vector<std::uint8_t> bytes;
    int reads = 0;
    int writes = 0;
    std::vector<std::pair<std::uint64_t, std::size_t>> written;  // offset and size of each write
};

class MemoryFile final : public DbFile {
public:
    explicit MemoryFile(MemoryBytes& m) : m_m(m) {}
    int Read(std::uint64_t offset, void* buffer, std::size_t count) override {
        ++m_m.reads;
        if (offset + count > m_m.bytes.size()) return kErrReadWrite;
        std::copy_n(m_m.bytes.begin() + static_cast<std::ptrdiff_t>(offset), count, static_cast<std::uint8_t*>(buffer));
        return kOk;
    }
    int Write(std::uint64_t offset, const void* buffer, std::size_t count) override {
        ++m_m.writes;
        m_m.written.emplace_back(offset, count);
        if (offset + count > m_m.bytes.size()) m_m.bytes.resize(offset + count);
        const auto* in = static_cast<const std::uint8_t*>(buffer);
        std::copy(in, in + count, m_m.bytes.begin() + static_cast<std::ptrdiff_t>(offset));
        return kOk;
    }
    int Size(std::uint64_t& size) override {
        size = m_m.bytes.size();
        return kOk;
    }
    int Truncate(std::uint64_t size) override {
        m_m.bytes.resize(size);
        return kOk;
    }
    int Flush() override { return kOk; }

private:
    MemoryBytes& m_m;
};

constexpr std::size_t kPage = BufferedFile::kPageSize;

std::uint8_t Pattern(std::uint64_t at) { return static_cast<std::uint8_t>(at * 7 + at / 251); }

// Past the limit the cache writes everything out and drops the pages used
// longest ago; whatever is read afterwards, held or not, is what was written.
TEST(CacheTest, DroppedPagesReadBackWhatWasWritten) {
    MemoryBytes m;
    BufferedFile file(std::make_unique<MemoryFile>(m), true, 4 * kPage);
    ASSERT_EQ(file.Init(), kOk);
    const std::uint64_t size = 20 * kPage + 100;
    for (std::uint64_t at = 0; at < size; at += 300) {
        std::uint8_t chunk[300];
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(300, size - at));
        for (std::size_t i = 0; i < n; ++i) chunk[i] = Pattern(at + i);
        ASSERT_EQ(file.Write(at, chunk, n), kOk);
        // The first page is used all the while: it is never the one dropped.
        std::uint8_t first = 0;
        ASSERT_EQ(file.Read(5, &first, 1), kOk);
        ASSERT_EQ(first, Pattern(5));
    }
    EXPECT_GT(m.writes, 0) << "the limit forced nothing out";
    const int readsBefore = m.reads;
    std::uint8_t first = 0;
    ASSERT_EQ(file.Read(kPage - 1, &first, 1), kOk);
    EXPECT_EQ(m.reads, readsBefore) << "a page in constant use was dropped";
    for (std::uint64_t at = 0; at < size; at += 997) {
        std::uint8_t b = 0;
        ASSERT_EQ(file.Read(at, &b, 1), kOk);
        ASSERT_EQ(b, Pattern(at)) << "at " << at;
    }
    ASSERT_EQ(file.Flush(), kOk);
    ASSERT_EQ(m.bytes.size(), size);
    for (std::uint64_t at = 0; at < size; ++at) ASSERT_EQ(m.bytes[at], Pattern(at)) << "at " << at;
}

// Pages dropped past the limit are used again for other pages: a page that
// the file never had reads as zeros whatever its buffer held before.
TEST(CacheTest, PagesLoadedIntoReusedBuffersHoldOnlyTheirOwnBytes) {
    MemoryBytes m;
    BufferedFile file(std::make_unique<MemoryFile>(m), true, 4 * kPage);
    ASSERT_EQ(file.Init(), kOk);
    std::vector<std::uint8_t> page(kPage, 0xEE);
    for (std::uint64_t i = 0; i < 12; ++i) ASSERT_EQ(file.Write(i * kPage, page.data(), page.size()), kOk);
    const std::uint8_t one = 1;
    const std::uint64_t far = 20 * kPage + 7;
    ASSERT_EQ(file.Write(far, &one, 1), kOk);
    std::vector<std::uint8_t> back(5 * kPage + 8);
    ASSERT_EQ(file.Read(15 * kPage, back.data(), back.size()), kOk);
    for (std::size_t i = 0; i < back.size(); ++i) ASSERT_EQ(back[i], i + 1 == back.size() ? 1 : 0) << "at " << i;
}

// Writes wait for the flush. A flush writes neighbouring pages together but
// keeps the order that the files' headers rely on: from the end of the file
// down, and the first page (which holds the header) alone and last.
TEST(CacheTest, FlushWritesTheFirstPageLastAndOnItsOwn) {
    MemoryBytes m;
    BufferedFile file(std::make_unique<MemoryFile>(m), true, 64 * kPage);
    ASSERT_EQ(file.Init(), kOk);
    const std::uint64_t size = 40 * kPage + 300;
    std::vector<std::uint8_t> bytes(size);
    for (std::uint64_t i = 0; i < size; ++i) bytes[i] = Pattern(i);
    ASSERT_EQ(file.Write(0, bytes.data(), bytes.size()), kOk);
    EXPECT_EQ(m.writes, 0) << "a write reached the file before the flush";
    EXPECT_EQ(file.Size(), size);
    ASSERT_EQ(file.Flush(), kOk);
    EXPECT_EQ(m.bytes, bytes);
    ASSERT_GE(m.written.size(), 2u);
    EXPECT_LT(m.written.size(), 41u) << "neighbouring pages were not written together";
    EXPECT_EQ(m.written.back(), std::make_pair(std::uint64_t{0}, kPage));
    for (std::size_t i = 1; i < m.written.size(); ++i) EXPECT_LT(m.written[i].first, m.written[i - 1].first);
    // A later change of the header and of a page near the end: the end first.
    m.written.clear();
    ASSERT_EQ(file.Write(3, bytes.data(), 1), kOk);
    ASSERT_EQ(file.Write(size - 2, bytes.data(), 1), kOk);
    ASSERT_EQ(file.Flush(), kOk);
    ASSERT_EQ(m.written.size(), 2u);
    EXPECT_EQ(m.written[0].first, 40 * kPage);
    EXPECT_EQ(m.written[1].first, 0u);
}

// A file cut and grown again: the bytes past the cut read back as zeros and
// reach the file as zeros, whether the cut reached the file before the growth
// or not (the old tail is still on disk then), whether the cut page and the
// page past it were held unchanged or changed (and must be zeroed or dropped)
// or not held, and whatever page the growth writes to.
TEST(CacheTest, CutAndRegrownFileHoldsZerosPastTheCut) {
    static const char* const kHeld[] = {"pages not held", "pages held", "pages held and changed"};
    for (int variant = 0; variant < 12; ++variant) {
        const bool flushed = variant >= 6;
        const int held = variant / 2 % 3;
        const std::uint64_t growTo = variant & 1 ? 4 * kPage - 1 : 2 * kPage + 5;
        SCOPED_TRACE(std::string(flushed ? "cut flushed, " : "cut not flushed, ") + kHeld[held] + ", grown to " +
                     std::to_string(growTo));
        MemoryBytes m;
        m.bytes.assign(4 * kPage, 0xAB);
        BufferedFile file(std::make_unique<MemoryFile>(m), true, 16 * kPage);
        ASSERT_EQ(file.Init(), kOk);
        for (const std::uint64_t at : {kPage + 20, 2 * kPage + 20}) {
            std::uint8_t b = 0xAB;
            ASSERT_EQ(held == 1 ? file.Read(at, &b, 1) : held == 2 ? file.Write(at, &b, 1) : kOk, kOk);
        }
        ASSERT_EQ(file.Truncate(kPage + 10), kOk);
        EXPECT_EQ(file.Size(), kPage + 10);
        if (flushed) {
            ASSERT_EQ(file.Flush(), kOk);
            EXPECT_EQ(m.bytes.size(), kPage + 10);
        }
        const std::uint8_t one = 1;
        ASSERT_EQ(file.Write(growTo - 1, &one, 1), kOk);
        std::vector<std::uint8_t> want(growTo, 0);
        std::fill(want.begin(), want.begin() + kPage + 10, 0xAB);
        want.back() = 1;
        std::vector<std::uint8_t> back(growTo);
        ASSERT_EQ(file.Read(0, back.data(), back.size()), kOk);
        EXPECT_EQ(back, want);
        ASSERT_EQ(file.Flush(), kOk);
        EXPECT_EQ(m.bytes, want);
    }
}

// A table read in record order: after the first two misses the cache reads
// a run of pages per transfer, and a page changed in the cache (not yet
// written) inside such a run keeps the change. With a cache smaller than a
// run the bytes are still the file's.
TEST(CacheTest, ReadInOrderReadsAheadWithoutLosingHeldChanges) {
    for (const std::size_t limitPages : {std::size_t{64}, std::size_t{4}}) {
        SCOPED_TRACE("cache of " + std::to_string(limitPages) + " pages");
        MemoryBytes m;
        const std::uint64_t size = 40 * kPage + 123;
        m.bytes.resize(size);
        for (std::uint64_t i = 0; i < size; ++i) m.bytes[i] = Pattern(i);
        BufferedFile file(std::make_unique<MemoryFile>(m), true, limitPages * kPage);
        ASSERT_EQ(file.Init(), kOk);
        const std::uint64_t changedAt = 5 * kPage + 17;
        const std::uint8_t mark = static_cast<std::uint8_t>(Pattern(changedAt) ^ 0xFF);
        if (limitPages > 4) {
            ASSERT_EQ(file.Write(changedAt, &mark, 1), kOk);
        }
        const int readsBefore = m.reads;
        std::vector<std::uint8_t> record(267);
        for (std::uint64_t at = 0; at < size; at += record.size()) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(record.size(), size - at));
            ASSERT_EQ(file.Read(at, record.data(), n), kOk);
            for (std::size_t i = 0; i < n; ++i) {
                const std::uint8_t want = limitPages > 4 && at + i == changedAt ? mark : Pattern(at + i);
                ASSERT_EQ(record[i], want) << "at " << at + i;
            }
        }
        // 41 pages: one, then runs of 16 (of 2 in the small cache, half of it).
        EXPECT_LE(m.reads - readsBefore, limitPages > 4 ? 8 : 22);
        ASSERT_EQ(file.Flush(), kOk);
        if (limitPages > 4) {
            EXPECT_EQ(m.bytes[changedAt], mark);
        }
    }
}

}  // namespace
}  // namespace tvx::db
