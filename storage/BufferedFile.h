// A file seen through a write-back cache of fixed-size pages.
//
// Files opened exclusively are read and written through the cache: reads are
// served from it and writes are held back until Flush (on flush or close of
// the table, or when the cache grows past its limit). Shared files write
// through at once, since another process may read them.
//
// Flush order: dirty pages are written from the highest offset down, so the
// bytes at the start of a file (the table header with its record count, the
// index's tag headers) reach the file after the data they describe. The file
// is cut to its logical size after the writes.
//
// After any failed transfer the file is marked failed and refuses every
// later operation: nothing half-done is written afterwards.
#pragma once

#include "storage/Db.h"

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

namespace tvx::db {

class BufferedFile {
public:
    static constexpr std::size_t kPageSize = 8192;

    BufferedFile(std::unique_ptr<DbFile> file, bool writeBack, std::size_t cacheLimit);
    ~BufferedFile();
    BufferedFile(const BufferedFile&) = delete;
    BufferedFile& operator=(const BufferedFile&) = delete;

    int Init();  // reads the file's size; call once after construction
    int Read(std::uint64_t offset, void* buffer, std::size_t count);
    int Write(std::uint64_t offset, const void* buffer, std::size_t count);
    std::uint64_t Size() const noexcept { return m_size; }
    int Truncate(std::uint64_t size);
    int Flush();
    bool Failed() const noexcept { return m_failed; }
    bool Dirty() const noexcept { return m_dirty; }
    // Drops every unwritten change (used when the file is abandoned after a failure).
    void Discard();

private:
    struct Page {
        std::vector<std::uint8_t> bytes;
        bool dirty = false;
    };
    int LoadPage(std::uint64_t index, Page*& page);
    int Trim();
    int Fail(int code);

    std::unique_ptr<DbFile> m_file;
    bool m_writeBack;
    std::size_t m_cacheLimit;
    std::map<std::uint64_t, Page> m_pages;
    std::uint64_t m_size = 0;      // logical size
    std::uint64_t m_diskSize = 0;  // size of the file on disk
    bool m_failed = false;
    bool m_dirty = false;
};

}  // namespace tvx::db
