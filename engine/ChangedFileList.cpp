#include "engine/ChangedFileList.h"

#include "engine/FileQueries.h"
#include "framework/Handle.h"

namespace tvx::engine {

DWORD CTVXChangedFileList::Add(const std::wstring& path, const WIN32_FIND_DATAW& entry) {
    m_entries.push_back(ChangedFile{path, FileStampOf(entry.ftCreationTime, entry.ftLastWriteTime)});
    m_order.push_back(static_cast<std::uint32_t>(m_entries.size() - 1));
    m_totalBytes.fetch_add((std::uint64_t{entry.nFileSizeHigh} << 32) | entry.nFileSizeLow);
    return 0;
}

DWORD CTVXChangedFileList::Add(const std::wstring& path) {
    WIN32_FIND_DATAW data{};
    UniqueFindHandle find(::FindFirstFileExW(path.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0));
    if (!find) {
        const DWORD error = ::GetLastError();
        return error != 0 ? error : ERROR_FILE_NOT_FOUND;
    }
    return Add(path, data);
}

void CTVXChangedFileList::Clear() {
    m_totalBytes.store(0);
    m_entries.clear();
    m_order.clear();
}

void CTVXChangedFileList::InsertOrder(std::uint32_t index, std::uint32_t position) {
    if (position > m_order.size()) position = static_cast<std::uint32_t>(m_order.size());
    m_order.insert(m_order.begin() + position, index);
}

}  // namespace tvx::engine
