// The scan of a mirror pass: walks a source folder depth first and lists
// every file the catalogue does not know in its present state.
#pragma once

#include "catalogue/Catalog.h"
#include "engine/ChangedFileList.h"

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

namespace tvx::engine {

class CTVXFolderScanner {
public:
    CTVXFolderScanner() = default;
    virtual ~CTVXFolderScanner() = default;
    CTVXFolderScanner(const CTVXFolderScanner&) = delete;
    CTVXFolderScanner& operator=(const CTVXFolderScanner&) = delete;

    // Walks `source` (clearing the stop flag first) and adds to `list` every
    // file that is not excluded and that the catalogue says to copy for the
    // destination root. 0, or ERROR_OPERATION_ABORTED when stopped.
    DWORD Scan(const std::wstring& source, const std::wstring& destination, const std::vector<std::wstring>& exclusions,
               catalogue::CTVXCatalog& catalog, CTVXChangedFileList& list);
    DWORD ScanFolder(const std::wstring& folder, const std::vector<std::wstring>& exclusions,
                     CTVXChangedFileList& list);
    // Ends the walk at its next directory entry; may be called from any thread.
    void Stop() noexcept { m_stop.store(1); }

private:
    std::atomic<LONG> m_stop{0};
    std::wstring m_destinationRoot;
    catalogue::CTVXCatalog* m_catalog = nullptr;
};

}  // namespace tvx::engine
