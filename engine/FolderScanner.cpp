#include "engine/FolderScanner.h"

#include "engine/Exclusion.h"
#include "engine/FileQueries.h"
#include "framework/Handle.h"

namespace tvx::engine {

namespace {

// What the scan keeps of one directory entry; the name lives in the
// folder's name buffer.
struct FolderEntry {
    std::size_t nameOffset;
    std::size_t nameLength;
    DWORD attributes;
    FILETIME creation;
    FILETIME lastWrite;
    DWORD sizeHigh;
    DWORD sizeLow;
};

bool IsDotsEntry(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

}  // namespace

DWORD CTVXFolderScanner::Scan(const std::wstring& source, const std::wstring& destination,
                              const std::vector<std::wstring>& exclusions, catalogue::CTVXCatalog& catalog,
                              CTVXChangedFileList& list) {
    m_stop.store(0);
    m_destinationRoot = destination;
    if (!m_destinationRoot.empty() && m_destinationRoot.back() == L'\\') m_destinationRoot.pop_back();
    m_catalog = &catalog;
    return ScanFolder(source, exclusions, list);
}

// A folder is read whole and its handle closed before any of its entries is
// looked up or descended into, in the order the entries came. The look-ups
// of a folder's files then run back to back (the catalogue's pages for them
// stay in the processor's cache between one and the next), and only one
// directory handle is open at a time however deep the tree.
DWORD CTVXFolderScanner::ScanFolder(const std::wstring& folder, const std::vector<std::wstring>& exclusions,
                                    CTVXChangedFileList& list) {
    if (folder.empty()) return 0;
    std::wstring path = folder;
    if (path.back() != L'\\') path.push_back(L'\\');
    const std::size_t prefixLength = path.size();

    std::vector<FolderEntry> entries;
    std::wstring names;
    {
        WIN32_FIND_DATAW entry{};
        // Only the directory entries are read: attributes, times and size
        // come with the enumeration, no source file is opened here.
        UniqueFindHandle find(FindFirstFileExW(ExtendedPath(path + L"*.*").c_str(), FindExInfoBasic, &entry,
                                               FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
        if (!find) return 0;  // no such folder, or no access: nothing from here
        do {
            if (m_stop.load()) return ERROR_OPERATION_ABORTED;
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsDotsEntry(entry.cFileName)) continue;
            const std::size_t length = std::wcslen(entry.cFileName);
            entries.push_back({names.size(), length, entry.dwFileAttributes, entry.ftCreationTime,
                               entry.ftLastWriteTime, entry.nFileSizeHigh, entry.nFileSizeLow});
            names.append(entry.cFileName, length);
        } while (FindNextFileW(find.Get(), &entry));
    }

    for (const FolderEntry& e : entries) {
        path.resize(prefixLength);
        path.append(names, e.nameOffset, e.nameLength);
        if (e.attributes & FILE_ATTRIBUTE_DIRECTORY) {
            ScanFolder(path, exclusions, list);
        } else if (!IsExcluded(path, exclusions)) {
            const DWORD attributes = e.attributes == FILE_ATTRIBUTE_NORMAL ? 0 : e.attributes;
            const std::uint64_t lastWrite = std::uint64_t{e.lastWrite.dwHighDateTime} << 32 | e.lastWrite.dwLowDateTime;
            int needsCopy = 1;
            m_catalog->IsUpToDate(path, m_destinationRoot, attributes, lastWrite, needsCopy);
            if (needsCopy == 1) {
                // Size and stamp from the entry in hand.
                WIN32_FIND_DATAW found{};
                found.dwFileAttributes = e.attributes;
                found.ftCreationTime = e.creation;
                found.ftLastWriteTime = e.lastWrite;
                found.nFileSizeHigh = e.sizeHigh;
                found.nFileSizeLow = e.sizeLow;
                list.Add(path, found);
            }
        }
        if (m_stop.load()) return ERROR_OPERATION_ABORTED;
    }
    return 0;
}

}  // namespace tvx::engine
