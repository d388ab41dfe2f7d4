// The changed-file list: the files a mirror pass found new or changed, in the
// order it found them, with the copy order the copy engine works through.
//
// One list per mirror controller. The pass fills it on the worker thread;
// CopyAll orders it, copies it and clears it. TotalBytes may be read from
// another thread (the progress window) at any time.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace tvx::engine {

struct ChangedFile {
    std::wstring path;
    std::uint64_t stamp = 0;  // file stamp when the file was added
};

class CTVXChangedFileList {
public:
    CTVXChangedFileList() = default;
    CTVXChangedFileList(const CTVXChangedFileList&) = delete;
    CTVXChangedFileList& operator=(const CTVXChangedFileList&) = delete;

    // Adds a file with what its directory entry says: its size (all 64 bits)
    // to the total, the file with its stamp (the later of creation and
    // last-write time) to the entries, its index to the order. Returns 0.
    // The folder scanner holds the entry already, so nothing is asked of
    // the file system.
    DWORD Add(const std::wstring& path, const WIN32_FIND_DATAW& entry);
    // Looks the file's directory entry up and adds it as above; when it
    // cannot be found, returns the Windows error and adds nothing.
    DWORD Add(const std::wstring& path);
    // No entries, empty order, total 0.
    void Clear();

    std::uint32_t Count() const noexcept { return static_cast<std::uint32_t>(m_entries.size()); }
    std::uint32_t OrderCount() const noexcept { return static_cast<std::uint32_t>(m_order.size()); }
    std::uint64_t TotalBytes() const noexcept { return m_totalBytes.load(); }

    // The entry at a position of the copy order (a copy: the list may change).
    ChangedFile EntryAt(std::uint32_t position) const { return m_entries.at(m_order.at(position)); }
    // The entry with an index in found order.
    const ChangedFile& Entry(std::uint32_t index) const { return m_entries.at(index); }

    // Inserts an entry index into the copy order at a position (at most
    // OrderCount()).
    void InsertOrder(std::uint32_t index, std::uint32_t position);
    // Replaces the whole copy order.
    void SetOrder(std::vector<std::uint32_t> order) { m_order = std::move(order); }

private:
    std::vector<ChangedFile> m_entries;
    std::vector<std::uint32_t> m_order;
    std::atomic<std::uint64_t> m_totalBytes{0};
};

}  // namespace tvx::engine
