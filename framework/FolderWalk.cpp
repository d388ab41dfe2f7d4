#include "framework/FolderWalk.h"

#include <algorithm>

#include "framework/Handle.h"

namespace tvx {
namespace {

// Paths this long or longer go in their "\\?\" form (12 characters below
// MAX_PATH leave room for the 8.3 name CreateDirectory needs).
constexpr std::size_t kLongestPlainPath = MAX_PATH - 12;

// The totals are handed over to readers after this many entries, and at the
// end of every folder.
constexpr unsigned kPublishEvery = 256;

bool IsDots(const wchar_t* name) noexcept {
    return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

// The path without trailing backslashes ("C:\" gives "C:").
std::wstring WithoutTrailingSlash(std::wstring path) {
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

bool StartsWithNoCase(const std::wstring& text, const std::wstring& prefix) {
    return text.size() >= prefix.size() && CompareNoCase(text.substr(0, prefix.size()), prefix) == 0;
}

// A find handle on the folder's entries (ERROR_SUCCESS), or the reason none
// could be had. An empty drive root has no entries at all: that is
// ERROR_FILE_NOT_FOUND, and the folder is still there.
UniqueFindHandle OpenFolder(const std::wstring& folder, WIN32_FIND_DATAW& entry, DWORD& error) {
    UniqueFindHandle find(::FindFirstFileExW(ExtendedLengthPath(folder + L"\\*").c_str(), FindExInfoBasic, &entry,
                                             FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    error = find ? ERROR_SUCCESS : ::GetLastError();
    return find;
}

}  // namespace

std::wstring ExtendedLengthPath(const std::wstring& path) {
    if (path.size() < kLongestPlainPath) return path;
    if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') return L"\\\\?\\" + path;
    if (path.rfind(L"\\\\", 0) == 0 && path.rfind(L"\\\\?\\", 0) != 0 && path.rfind(L"\\\\.\\", 0) != 0)
        return L"\\\\?\\UNC" + path.substr(1);
    return path;
}

int CompareNoCase(const std::wstring& a, const std::wstring& b) noexcept {
    const int result = ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                              static_cast<int>(b.size()), TRUE);
    return result == 0 ? 0 : result - CSTR_EQUAL;
}

std::vector<std::wstring> ListSubfolders(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry{};
    DWORD error = 0;
    UniqueFindHandle find = OpenFolder(WithoutTrailingSlash(folder), entry, error);
    if (!find) return names;
    do {
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !IsDots(entry.cFileName))
            names.emplace_back(entry.cFileName);
    } while (::FindNextFileW(find.Get(), &entry));
    std::sort(names.begin(), names.end(),
              [](const std::wstring& a, const std::wstring& b) { return CompareNoCase(a, b) < 0; });
    return names;
}

}  // namespace tvx

bool CTVXFolderWalk::SetFolders(std::vector<std::wstring> folders) {
    if (IsStarted() && !IsFinished()) return false;
    m_folders = std::move(folders);
    return true;
}

CTVXFolderWalk::Totals CTVXFolderWalk::GetTotals() const {
    std::lock_guard<std::mutex> hold(m_totalsLock);
    return m_totals;
}

void CTVXFolderWalk::Publish(Totals& pending) {
    std::lock_guard<std::mutex> hold(m_totalsLock);
    m_totals.files += pending.files;
    m_totals.folders += pending.folders;
    m_totals.bytes += pending.bytes;
    pending = Totals{};
}

std::int32_t CTVXFolderWalk::Run() {
    {
        std::lock_guard<std::mutex> hold(m_totalsLock);
        m_totals = Totals{};
    }
    std::vector<std::wstring> roots;
    for (const std::wstring& folder : m_folders) {
        std::wstring root = tvx::WithoutTrailingSlash(folder);
        if (!root.empty()) roots.push_back(std::move(root));
    }
    for (std::size_t i = 0; i < roots.size(); ++i) {
        // Walked already as (part of) another listed folder?
        const bool inside = std::any_of(roots.begin(), roots.end(), [&](const std::wstring& other) {
            if (&other == &roots[i]) return false;
            if (tvx::CompareNoCase(other, roots[i]) == 0) return &other < &roots[i];  // the first of equals
            return tvx::StartsWithNoCase(roots[i], other + L"\\");
        });
        if (inside) continue;
        if (!Walk(roots[i])) return ERROR_OPERATION_ABORTED;
    }
    return IsCancelled() ? ERROR_OPERATION_ABORTED : ERROR_SUCCESS;
}

// Depth first with a list of folders still to read, so that the depth of a
// tree (long paths allow thousands of levels) never reaches the thread's
// stack. One directory handle is open at a time.
bool CTVXFolderWalk::Walk(const std::wstring& root) {
    std::vector<std::wstring> toRead{root};
    Totals pending;
    unsigned sincePublish = 0;
    while (!toRead.empty()) {
        const std::wstring folder = std::move(toRead.back());
        toRead.pop_back();
        WIN32_FIND_DATAW entry{};
        DWORD error = 0;
        tvx::UniqueFindHandle find = tvx::OpenFolder(folder, entry, error);
        if (!find) {
            if (error == ERROR_FILE_NOT_FOUND) ++pending.folders;  // an empty drive root
            continue;
        }
        ++pending.folders;
        do {
            if (IsCancelled()) {
                Publish(pending);
                return false;
            }
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (tvx::IsDots(entry.cFileName) || (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) continue;
                toRead.push_back(folder + L"\\" + entry.cFileName);
            } else {
                ++pending.files;
                pending.bytes += std::uint64_t{entry.nFileSizeHigh} << 32 | entry.nFileSizeLow;
            }
            if (++sincePublish == tvx::kPublishEvery) {
                sincePublish = 0;
                Publish(pending);
            }
        } while (::FindNextFileW(find.Get(), &entry));
        Publish(pending);
    }
    return !IsCancelled();
}
