#include "engine/ChangedFileList.h"

#include "engine/FileQueries.h"
#include "framework/Handle.h"

namespace tvx::engine {

DWORD CTVXChangedFileList::Add(const std::wstring& path) {
    WIN32_FIND_DATAW data{};
    UniqueFindHandle find(::FindFirstFileExW(path.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0));
    if (!find) {
        const DWORD error = ::GetLastError();
        return error != 0 ? error : ERROR_FILE_NOT_FOUND;
    }
    const std::uint64_t created = FileTimeValue(data.ftCreationTime);
    const std::uint64_t written = FileTimeValue(data.ftLastWriteTime);
    const std::uint64_t size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;

    m_entries.push_back(ChangedFile{path, created > written ? created : written});
    m_order.push_back(static_cast<std::uint32_t>(m_entries.size() - 1));
    m_totalBytes.fetch_add(size);
    return 0;
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
