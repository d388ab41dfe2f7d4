#include "engine/FolderScanner.h"

#include "engine/Exclusion.h"
#include "framework/Handle.h"

namespace tvx::engine {

DWORD CTVXFolderScanner::Scan(const std::wstring& source, const std::wstring& destination,
                              const std::vector<std::wstring>& exclusions, catalogue::CTVXCatalog& catalog,
                              CTVXChangedFileList& list) {
    m_stop.store(0);
    m_destinationRoot = destination;
    if (!m_destinationRoot.empty() && m_destinationRoot.back() == L'\\') m_destinationRoot.pop_back();
    m_catalog = &catalog;
    return ScanFolder(source, exclusions, list);
}

DWORD CTVXFolderScanner::ScanFolder(const std::wstring& folder, const std::vector<std::wstring>& exclusions,
                                    CTVXChangedFileList& list) {
    if (folder.empty()) return 0;
    const bool endsWithSlash = folder.back() == L'\\';
    const std::wstring prefix = endsWithSlash ? folder : folder + L'\\';
    WIN32_FIND_DATAW entry{};
    // Only the directory entries are read: attributes and last-write time
    // come with the enumeration, no source file is opened here.
    UniqueFindHandle find(FindFirstFileExW((prefix + L"*.*").c_str(), FindExInfoBasic, &entry,
                                           FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!find) return 0;  // no such folder, or no access: nothing from here
    do {
        const std::wstring full = prefix + entry.cFileName;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (std::wcscmp(entry.cFileName, L".") != 0 && std::wcscmp(entry.cFileName, L"..") != 0)
                ScanFolder(full, exclusions, list);
        } else if (!IsExcluded(full, exclusions)) {
            DWORD attributes = entry.dwFileAttributes;
            if (attributes == FILE_ATTRIBUTE_NORMAL) attributes = 0;
            const std::uint64_t lastWrite =
                std::uint64_t{entry.ftLastWriteTime.dwHighDateTime} << 32 | entry.ftLastWriteTime.dwLowDateTime;
            int needsCopy = 1;
            m_catalog->IsUpToDate(full, m_destinationRoot, attributes, lastWrite, needsCopy);
            if (needsCopy == 1) list.Add(full, entry);  // size and stamp from the entry in hand
        }
        if (m_stop.load()) break;
    } while (FindNextFileW(find.Get(), &entry));
    return m_stop.load() ? ERROR_OPERATION_ABORTED : 0;
}

}  // namespace tvx::engine
