// A file seen through a write-back cache of fixed-size pages.
//
// Files opened exclusively are read and written through the cache: reads are
// served from it and writes are held back until Flush (on flush or close of
// the table, or when the cache grows past its limit). Shared files write
// through at once, since another process may read them.
//
// Flush order: dirty pages are written from the highest offset down (runs of
// neighbouring pages in one write each, the first page always alone and
// last), so the bytes at the start of a file (the table header with its
// record count, the index's tag headers) reach the file after the data they
// describe. The file is cut to its logical size after the writes. A file cut and grown again
// between two flushes gets the bytes past the cut written anew (zeros where
// nothing was written since), so that nothing of the old tail survives.
//
// After any failed transfer the file is marked failed and refuses every
// later operation: nothing half-done is written afterwards.
//
// Change marker: a file may name a few bytes as its marker (the index uses
// one in its first header). Before the first change of a cycle reaches the
// file, whether a page written back or a direct write, the marker value is
// written there and pushed to the file on its own, ahead of everything else;
// any page covering it goes out with the marker value in place while the
// marker is up. LowerMarker, called once everything belonging to the cycle is
// in the file, writes the logical bytes back as the last write of the cycle.
// A failure on the way leaves the marker in the file. The cache keeps the
// logical bytes; the marker exists only in the file.
#pragma once

#include "storage/Db.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace tvx::db {

class BufferedFile {
public:
    static constexpr std::size_t kPageSize = 8192;
    static constexpr std::size_t kRunPages = 16;  // pages written in one go at most

    BufferedFile(std::unique_ptr<DbFile> file, bool writeBack, std::size_t cacheLimit);
    ~BufferedFile();
    BufferedFile(const BufferedFile&) = delete;
    BufferedFile& operator=(const BufferedFile&) = delete;

    int Init();  // reads the file's size; call once after construction
    int Read(std::uint64_t offset, void* buffer, std::size_t count);
    // Gives [offset, offset + count) without copying where the cache holds it
    // in one page (`out` then points into the cache and stays valid until the
    // next call on this file); otherwise reads it into `scratch` and points
    // `out` there.
    int View(std::uint64_t offset, std::size_t count, std::uint8_t* scratch, const std::uint8_t*& out) {
        // Held in one page, and the cache within its limit: at hand.
        const std::size_t at = static_cast<std::size_t>(offset % kPageSize);
        const std::uint64_t index = offset / kPageSize;
        if (m_writeBack && !m_failed && offset <= m_size && count <= m_size - offset && at + count <= kPageSize &&
            index < m_pages.size() && m_pages[index].bytes && m_held * kPageSize <= m_trimAbove) {
            Page& page = m_pages[index];
            page.used = ++m_clock;
            out = page.bytes.get() + at;
            return kOk;
        }
        return ViewSlow(offset, count, scratch, out);
    }
    int Write(std::uint64_t offset, const void* buffer, std::size_t count) {
        // Into one held page, clear of the marker, the cache within its limit.
        const std::size_t at = static_cast<std::size_t>(offset % kPageSize);
        const std::uint64_t index = offset / kPageSize;
        if (m_writeBack && !m_failed && count > 0 && at + count <= kPageSize && index < m_pages.size() &&
            m_pages[index].bytes &&
            m_held * kPageSize <= m_trimAbove &&
            (m_markerSize == 0 || offset >= m_markerAt + m_markerSize || m_markerAt >= offset + count)) {
            Page& page = m_pages[index];
            std::memcpy(page.bytes.get() + at, buffer, count);
            page.dirty = true;
            page.used = ++m_clock;
            m_dirty = m_changed = true;
            m_size = std::max(m_size, offset + count);
            return kOk;
        }
        return WriteSlow(offset, buffer, count);
    }
    std::uint64_t Size() const noexcept { return m_size; }
    int Truncate(std::uint64_t size);
    // Writes every held-back change to the file (the marker, if any, is
    // raised first and stays up).
    int Flush();

    // Names the marker bytes (at most 16) and reads what the file holds
    // there; call once after Init.
    int UseMarker(std::uint64_t offset, const std::uint8_t* value, std::size_t count);
    // The file held the marker value when UseMarker read it.
    bool MarkerFound() const noexcept { return m_markerFound; }
    // Writes the marker to the file now unless it is up already.
    int RaiseMarker();
    // Raises the marker if the file has changes since it was last lowered
    // (used before another file's writes that those changes belong with).
    int RaiseMarkerIfChanged() { return m_changed ? RaiseMarker() : kOk; }
    // Flushes, then puts the logical bytes back over the marker: the last
    // write of the cycle. Nothing is written when the marker is down.
    int LowerMarker();
    bool MarkerUp() const noexcept { return m_markerUp; }
    // Called before every change reaches the file; an error refuses it.
    void BeforeChange(std::function<int()> hook) { m_beforeChange = std::move(hook); }

    bool HoldsWrites() const noexcept { return m_writeBack; }
    // While set, changes stay in the cache even past its limit (only pages
    // without changes are dropped) until Flush: used where a half-done
    // change must never reach the file, as when a pack moves records.
    void KeepChanges(bool keep);
    bool Failed() const noexcept { return m_failed; }
    bool Dirty() const noexcept { return m_dirty; }
    // Drops every unwritten change (used when the file is abandoned after a failure).
    void Discard();

private:
    // A slot of m_pages; held when `bytes` is set.
    struct Page {
        std::unique_ptr<std::uint8_t[]> bytes;  // kPageSize bytes
        std::uint64_t used = 0;                 // m_clock at the last use
        bool dirty = false;
    };
    int LoadPage(std::uint64_t index, Page*& page);
    std::uint8_t* NewPageBytes();
    int ViewSlow(std::uint64_t offset, std::size_t count, std::uint8_t* scratch, const std::uint8_t*& out);
    int WriteSlow(std::uint64_t offset, const void* buffer, std::size_t count);
    template <typename Use>
    int ForEachSpan(std::uint64_t offset, std::size_t count, Use&& use);
    int Trim();
    void DropPage(std::uint64_t index);
    int Fail(int code);
    // Every change to the file itself goes through these two.
    int FileWrite(std::uint64_t offset, const std::uint8_t* bytes, std::size_t count);
    int FileTruncate(std::uint64_t size);
    // Copies the part of [offset, offset + count) inside the marker range
    // from `from` (marker-sized) into `bytes`, or the other way round.
    void Overlay(std::uint64_t offset, std::uint8_t* bytes, std::size_t count, const std::uint8_t* from) const;
    void Capture(std::uint64_t offset, const std::uint8_t* bytes, std::size_t count);

    std::unique_ptr<DbFile> m_file;
    bool m_writeBack;
    std::size_t m_cacheLimit;
    std::size_t m_trimAbove;  // the cache is trimmed past this (the limit, or more while changes are kept)
    bool m_keep = false;
    // Pages by index (offset / kPageSize).
    std::vector<Page> m_pages;
    std::size_t m_held = 0;     // entries of m_pages that hold bytes
    // Buffers of dropped pages, for the next pages loaded: memory the
    // process has used once is cheaper to use again than new memory.
    std::vector<std::unique_ptr<std::uint8_t[]>> m_spare;
    std::vector<std::uint8_t> m_run;  // neighbouring pages joined for one write
    std::uint64_t m_clock = 0;  // counts page uses, for eviction
    // The pages read by the last miss: a miss after the first of them, up to
    // the page after the last, reads ahead.
    std::uint64_t m_runFirst = ~std::uint64_t{0};
    std::uint64_t m_runLast = ~std::uint64_t{0} - 1;
    std::uint64_t m_size = 0;      // logical size
    std::uint64_t m_diskSize = 0;  // size of the file on disk
    // The bytes of the file on disk that still belong to the logical file:
    // a cut since the last flush leaves the bytes beyond it dead on disk
    // even when the file grows again before the flush.
    std::uint64_t m_diskValid = 0;
    bool m_failed = false;
    bool m_dirty = false;

    static constexpr std::size_t kMaxMarker = 16;
    std::uint64_t m_markerAt = 0;
    std::size_t m_markerSize = 0;                 // 0: no marker
    std::uint8_t m_markerValue[kMaxMarker] = {};  // what "being changed" looks like
    std::uint8_t m_markerLogical[kMaxMarker] = {};  // what the bytes hold otherwise
    bool m_markerFound = false;
    bool m_markerUp = false;  // the file holds the marker value
    bool m_changed = false;   // changes since the marker was last lowered
    std::function<int()> m_beforeChange;
};

}  // namespace tvx::db
