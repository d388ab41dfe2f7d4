#include "storage/BufferedFile.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace tvx::db {

BufferedFile::BufferedFile(std::unique_ptr<DbFile> file, bool writeBack, std::size_t cacheLimit)
    : m_file(std::move(file)),
      m_writeBack(writeBack),
      m_cacheLimit(std::max(cacheLimit, kPageSize * 4)),
      m_trimAbove(m_cacheLimit) {}

BufferedFile::~BufferedFile() = default;

int BufferedFile::Fail(int code) {
    m_failed = true;
    return code;
}

int BufferedFile::Init() {
    std::uint64_t size = 0;
    if (m_file->Size(size) != kOk) return Fail(kErrReadWrite);
    m_size = m_diskSize = m_diskValid = size;
    return kOk;
}

void BufferedFile::Overlay(std::uint64_t offset, std::uint8_t* bytes, std::size_t count,
                           const std::uint8_t* from) const {
    const std::uint64_t begin = std::max(offset, m_markerAt);
    const std::uint64_t end = std::min(offset + count, m_markerAt + m_markerSize);
    for (std::uint64_t at = begin; at < end; ++at) bytes[at - offset] = from[at - m_markerAt];
}

void BufferedFile::Capture(std::uint64_t offset, const std::uint8_t* bytes, std::size_t count) {
    const std::uint64_t begin = std::max(offset, m_markerAt);
    const std::uint64_t end = std::min(offset + count, m_markerAt + m_markerSize);
    for (std::uint64_t at = begin; at < end; ++at) m_markerLogical[at - m_markerAt] = bytes[at - offset];
}

int BufferedFile::UseMarker(std::uint64_t offset, const std::uint8_t* value, std::size_t count) {
    if (count == 0 || count > kMaxMarker) return kErrParameter;
    m_markerAt = offset;
    m_markerSize = count;
    std::memcpy(m_markerValue, value, count);
    std::memset(m_markerLogical, 0, sizeof m_markerLogical);
    m_markerFound = m_markerUp = false;
    if (m_diskSize < offset + count) return kOk;
    std::uint8_t held[kMaxMarker];
    if (m_file->Read(offset, held, count) != kOk) return Fail(kErrReadWrite);
    if (std::memcmp(held, value, count) == 0) {
        // Left up by a cycle that did not finish: the bytes are zero otherwise.
        m_markerFound = m_markerUp = true;
    } else {
        std::memcpy(m_markerLogical, held, count);
    }
    return kOk;
}

int BufferedFile::RaiseMarker() {
    if (m_failed) return kErrReadWrite;
    if (m_markerSize == 0 || m_markerUp) return kOk;
    // Written and pushed on its own, so that it is in the file before any
    // page of the cycle.
    if (m_file->Write(m_markerAt, m_markerValue, m_markerSize) != kOk || m_file->Flush() != kOk)
        return Fail(kErrReadWrite);
    m_diskSize = std::max(m_diskSize, m_markerAt + m_markerSize);
    m_markerUp = true;
    return kOk;
}

int BufferedFile::LowerMarker() {
    if (m_failed) return kErrReadWrite;
    if (int rc = Flush(); rc != kOk) return rc;
    if (m_markerUp) {
        if (m_markerAt + m_markerSize <= m_size) {
            if (m_file->Write(m_markerAt, m_markerLogical, m_markerSize) != kOk) return Fail(kErrReadWrite);
        } else if (m_file->Truncate(m_size) != kOk) {
            return Fail(kErrReadWrite);
        }
        if (m_file->Flush() != kOk) return Fail(kErrReadWrite);
        m_markerUp = false;
    }
    m_changed = false;
    return kOk;
}

int BufferedFile::FileWrite(std::uint64_t offset, const std::uint8_t* bytes, std::size_t count) {
    if (m_beforeChange)
        if (int rc = m_beforeChange(); rc != kOk) return Fail(rc);
    if (int rc = RaiseMarker(); rc != kOk) return rc;
    int rc;
    if (m_markerUp && offset < m_markerAt + m_markerSize && m_markerAt < offset + count) {
        std::vector<std::uint8_t> copy(bytes, bytes + count);
        Overlay(offset, copy.data(), count, m_markerValue);
        rc = m_file->Write(offset, copy.data(), count);
    } else {
        rc = m_file->Write(offset, bytes, count);
    }
    if (rc != kOk) return Fail(kErrReadWrite);
    m_diskSize = std::max(m_diskSize, offset + count);
    return kOk;
}

int BufferedFile::FileTruncate(std::uint64_t size) {
    if (m_beforeChange)
        if (int rc = m_beforeChange(); rc != kOk) return Fail(rc);
    if (int rc = RaiseMarker(); rc != kOk) return rc;
    if (m_file->Truncate(size) != kOk) return Fail(kErrReadWrite);
    m_diskSize = size;
    if (m_markerUp && size < m_markerAt + m_markerSize) m_markerUp = false;  // cut off with the file
    return kOk;
}

int BufferedFile::LoadPage(std::uint64_t index, Page*& page) {
    if (index < m_pages.size() && m_pages[index].bytes) {
        page = &m_pages[index];
        page->used = ++m_clock;
        return kOk;
    }
    // A miss inside or right after the pages read by the previous miss (a
    // table read in record order) reads the following pages too, in the same
    // transfer, as far as they are on disk and not held already (a held page
    // may have changes), and at most half the cache.
    const std::uint64_t start = index * kPageSize;
    std::size_t pages = 1;
    if (index > m_runFirst && index <= m_runLast + 1) {
        const std::size_t most = std::min(kRunPages, std::max<std::size_t>(1, m_cacheLimit / kPageSize / 2));
        while (pages < most && start + pages * kPageSize < m_diskValid) {
            const std::uint64_t next = index + pages;
            if (next < m_pages.size() && m_pages[next].bytes) break;
            ++pages;
        }
    }
    // Only bytes that are on disk and still part of the file are read: a
    // region cut off and grown again reads as zeros.
    std::size_t n = 0;
    if (start < m_diskValid) n = static_cast<std::size_t>(std::min<std::uint64_t>(pages * kPageSize, m_diskValid - start));
    std::uint8_t* bytes = nullptr;
    if (pages > 1) {
        m_run.resize(pages * kPageSize);
        bytes = m_run.data();
    } else {
        bytes = NewPageBytes();
        if (!bytes) return kErrMemory;
    }
    if (n > 0) {
        if (m_file->Read(start, bytes, n) != kOk) {
            if (pages == 1) m_spare.emplace_back(bytes);
            return Fail(kErrReadWrite);
        }
        Overlay(start, bytes, n, m_markerLogical);
    }
    std::memset(bytes + n, 0, pages * kPageSize - n);
    if (index + pages > m_pages.size()) m_pages.resize(static_cast<std::size_t>(index + pages));
    // The farthest page counts as used longest ago: a trim drops the pages
    // read ahead from the far end, and the next ones asked for stay.
    for (std::size_t k = pages; k-- > 0;) {
        Page& slot = m_pages[static_cast<std::size_t>(index + k)];
        if (pages == 1) {
            slot.bytes.reset(bytes);
        } else {
            std::uint8_t* own = NewPageBytes();
            if (!own) return kErrMemory;  // the pages after it stay, complete
            std::memcpy(own, bytes + k * kPageSize, kPageSize);
            slot.bytes.reset(own);
        }
        slot.used = ++m_clock;
        slot.dirty = false;
        ++m_held;
    }
    m_runFirst = index;
    m_runLast = index + pages - 1;
    page = &m_pages[static_cast<std::size_t>(index)];
    return kOk;
}

// A page's memory: a dropped page's buffer when there is one (memory the
// process has used once is cheaper to use again than new memory).
std::uint8_t* BufferedFile::NewPageBytes() {
    if (!m_spare.empty()) {
        std::uint8_t* bytes = m_spare.back().release();
        m_spare.pop_back();
        return bytes;
    }
    return new (std::nothrow) std::uint8_t[kPageSize];
}

void BufferedFile::DropPage(std::uint64_t index) {
    if (index >= m_pages.size() || !m_pages[index].bytes) return;
    if (m_spare.size() <= m_cacheLimit / kPageSize / 2) m_spare.push_back(std::move(m_pages[index].bytes));
    m_pages[index] = Page{};
    --m_held;
}

int BufferedFile::Read(std::uint64_t offset, void* buffer, std::size_t count) {
    if (m_failed) return kErrReadWrite;
    if (offset > m_size || count > m_size - offset) return kErrReadWrite;
    auto* out = static_cast<std::uint8_t*>(buffer);
    if (!m_writeBack) {
        if (m_file->Read(offset, buffer, count) != kOk) return Fail(kErrReadWrite);
        Overlay(offset, out, count, m_markerLogical);
        return kOk;
    }
    const int rc = ForEachSpan(offset, count, [&](Page& page, std::size_t at, std::size_t n) {
        std::memcpy(out, page.bytes.get() + at, n);
        out += n;
    });
    return rc != kOk ? rc : Trim();
}

int BufferedFile::ViewSlow(std::uint64_t offset, std::size_t count, std::uint8_t* scratch, const std::uint8_t*& out) {
    if (m_failed) return kErrReadWrite;
    if (offset > m_size || count > m_size - offset) return kErrReadWrite;
    const std::size_t at = static_cast<std::size_t>(offset % kPageSize);
    if (!m_writeBack || at + count > kPageSize) {
        out = scratch;
        return Read(offset, scratch, count);
    }
    // Trimmed first: the page about to be used is then certain to stay.
    if (int rc = Trim(); rc != kOk) return rc;
    Page* page = nullptr;
    if (int rc = LoadPage(offset / kPageSize, page); rc != kOk) return rc;
    out = page->bytes.get() + at;
    return kOk;
}

int BufferedFile::WriteSlow(std::uint64_t offset, const void* buffer, std::size_t count) {
    if (m_failed) return kErrReadWrite;
    const auto* in = static_cast<const std::uint8_t*>(buffer);
    m_changed = true;
    Capture(offset, in, count);
    if (!m_writeBack) {
        if (int rc = FileWrite(offset, in, count); rc != kOk) return rc;
        m_size = std::max(m_size, offset + count);
        return kOk;
    }
    const int rc = ForEachSpan(offset, count, [&](Page& page, std::size_t at, std::size_t n) {
        std::memcpy(page.bytes.get() + at, in, n);
        page.dirty = true;
        m_dirty = true;
        in += n;
        offset += n;
        m_size = std::max(m_size, offset);
    });
    return rc != kOk ? rc : Trim();
}

// Calls use(page, offset in page, byte count) for each page that the range
// [offset, offset + count) touches, in order, loading the pages as needed.
template <typename Use>
int BufferedFile::ForEachSpan(std::uint64_t offset, std::size_t count, Use&& use) {
    while (count > 0) {
        Page* page = nullptr;
        if (int rc = LoadPage(offset / kPageSize, page); rc != kOk) return rc;
        const std::size_t at = static_cast<std::size_t>(offset % kPageSize);
        const std::size_t n = std::min(count, kPageSize - at);
        use(*page, at, n);
        offset += n;
        count -= n;
    }
    return kOk;
}

int BufferedFile::Truncate(std::uint64_t size) {
    if (m_failed) return kErrReadWrite;
    m_changed = true;
    for (std::size_t i = 0; i < m_markerSize; ++i)
        if (m_markerAt + i >= size) m_markerLogical[i] = 0;
    if (!m_writeBack) {
        if (int rc = FileTruncate(size); rc != kOk) return rc;
        m_size = size;
        return kOk;
    }
    if (size < m_size) {
        // Pages past the new end go; the page holding the end keeps zeros
        // after it. What the disk holds beyond the cut is dead from now on
        // (Flush writes over it where the file has grown again).
        const std::uint64_t keep = (size + kPageSize - 1) / kPageSize;
        for (std::uint64_t i = keep; i < m_pages.size(); ++i) DropPage(i);
        if (keep < m_pages.size()) m_pages.resize(static_cast<std::size_t>(keep));
        if (size % kPageSize != 0) {
            const std::uint64_t i = size / kPageSize;
            if (i < m_pages.size() && m_pages[i].bytes)
                std::fill(m_pages[i].bytes.get() + size % kPageSize, m_pages[i].bytes.get() + kPageSize, 0);
        }
        m_diskValid = std::min(m_diskValid, size);
    }
    m_size = size;
    m_dirty = true;
    return kOk;
}

int BufferedFile::Flush() {
    if (m_failed) return kErrReadWrite;
    if (!m_writeBack) return m_file->Flush() == kOk ? kOk : Fail(kErrReadWrite);
    if (!m_dirty) return kOk;
    // Disk bytes past an earlier cut that the file covers again are written
    // anew, zeros or not, before the file's size is set.
    const std::uint64_t dead = std::min(m_diskSize, m_size);
    for (std::uint64_t i = m_diskValid / kPageSize; i * kPageSize < dead; ++i) {
        Page* page = nullptr;
        if (int rc = LoadPage(i, page); rc != kOk) return rc;
        page->dirty = true;
    }
    // Neighbouring dirty pages go out together, in one write of up to
    // kRunPages pages; the first page (the file's header) always on its own.
    for (std::size_t i = m_pages.size(); i-- > 0;) {
        if (!m_pages[i].bytes || !m_pages[i].dirty) continue;
        const std::uint64_t end = std::min<std::uint64_t>(std::uint64_t{i + 1} * kPageSize, m_size);
        std::size_t first = i;
        while (first > 1 && i - first + 1 < kRunPages && m_pages[first - 1].bytes && m_pages[first - 1].dirty) --first;
        const std::uint64_t start = std::uint64_t{first} * kPageSize;
        if (start < end) {
            const std::size_t n = static_cast<std::size_t>(end - start);
            const std::uint8_t* bytes = m_pages[first].bytes.get();
            if (first < i) {
                m_run.resize(n);
                for (std::size_t k = first; k <= i; ++k) {
                    const std::size_t at = (k - first) * kPageSize;
                    std::memcpy(m_run.data() + at, m_pages[k].bytes.get(), std::min(kPageSize, n - at));
                }
                bytes = m_run.data();
            }
            if (int rc = FileWrite(start, bytes, n); rc != kOk) return rc;
        }
        for (std::size_t k = first; k <= i; ++k) m_pages[k].dirty = false;
        i = first;
    }
    if (m_size != m_diskSize) {
        if (int rc = FileTruncate(m_size); rc != kOk) return rc;
    }
    if (m_file->Flush() != kOk) return Fail(kErrReadWrite);
    m_diskValid = m_diskSize;
    m_dirty = false;
    return kOk;
}

// Past the limit, every held-back change is written and the least recently
// used half of the pages is dropped: the pages in use (the upper levels of an
// index, the end of a table being appended to) stay. While changes are kept
// back (KeepChanges) nothing is written: only pages without changes are
// dropped, and the cache grows by half before it is looked at again.
int BufferedFile::Trim() {
    if (m_held * kPageSize <= m_trimAbove) return kOk;
    if (!m_keep) {
        if (int rc = Flush(); rc != kOk) return rc;
    }
    std::vector<std::uint64_t> uses;
    uses.reserve(m_held);
    for (const Page& page : m_pages)
        if (page.bytes && !page.dirty) uses.push_back(page.used);
    if (!uses.empty()) {
        const auto middle = uses.begin() + static_cast<std::ptrdiff_t>(uses.size() / 2);
        std::nth_element(uses.begin(), middle, uses.end());
        const std::uint64_t cut = *middle;
        for (std::size_t i = 0; i < m_pages.size(); ++i)
            if (m_pages[i].bytes && !m_pages[i].dirty && m_pages[i].used < cut) DropPage(i);
    }
    if (m_keep) m_trimAbove = std::max(m_cacheLimit, m_held * kPageSize + m_held * kPageSize / 2);
    return kOk;
}

void BufferedFile::KeepChanges(bool keep) {
    m_keep = keep;
    m_trimAbove = m_cacheLimit;
}

void BufferedFile::Discard() {
    m_spare.clear();
    m_pages.clear();
    m_held = 0;
    m_dirty = false;
    m_size = m_diskValid = m_diskSize;
}

}  // namespace tvx::db
