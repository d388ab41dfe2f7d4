// The platform's files through <cstdio> and std::filesystem (reads on POSIX
// hosts through pread on the stream's descriptor).
//
// Sharing: standard C++ cannot lock a file against other processes. Windows
// builds open through _wfsopen with the share flag that matches the access
// mode (exclusive -> deny read and write, 2 -> deny write); host builds
// cannot enforce the mode and open the file normally.
//
// Names: the storage upper-cases table names, as on Windows where names
// match without regard to case. On a case-sensitive file system an open of a
// name that does not exist looks for the one entry of its folder whose name
// matches without regard to case, so files written by other programs
// ("people.dbf") are found under the storage's name ("PEOPLE.DBF").
#include "storage/Db.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#include <share.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tvx::db {
namespace {

namespace fs = std::filesystem;

fs::path ToPath(const char* utf8) {
    std::u8string s;
    for (const char* p = utf8; *p; ++p) s.push_back(static_cast<char8_t>(*p));
    return fs::path(s);
}

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// The existing path for `path`, matching the last component without regard
// to case; empty when there is none.
fs::path Resolve(const char* utf8) {
    fs::path p = ToPath(utf8);
    std::error_code ec;
    if (fs::exists(p, ec)) return p;
    fs::path dir = p.parent_path();
    if (dir.empty()) dir = ".";
    const std::string want = p.filename().string();
    fs::directory_iterator it(dir, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        if (SameNameIgnoringCase(it->path().filename().string(), want)) return it->path();
    }
    return {};
}

std::FILE* OpenStream(const fs::path& p, const char* mode, int accessMode) {
#ifdef _WIN32
    const int share = accessMode == 1 ? _SH_DENYRW : accessMode == 2 ? _SH_DENYWR : _SH_DENYNO;
    std::wstring wmode;
    for (const char* m = mode; *m; ++m) wmode.push_back(static_cast<wchar_t>(*m));
    return _wfsopen(p.c_str(), wmode.c_str(), share);
#else
    (void)accessMode;
    return std::fopen(p.c_str(), mode);
#endif
}

class StdioFile final : public DbFile {
public:
    StdioFile(std::FILE* f, fs::path path) : m_file(f), m_path(std::move(path)) {}
    ~StdioFile() override { std::fclose(m_file); }
    StdioFile(const StdioFile&) = delete;
    StdioFile& operator=(const StdioFile&) = delete;

    int Read(std::uint64_t offset, void* buffer, std::size_t count) override {
        if (count == 0) return kOk;
#ifndef _WIN32
        // One positioned read instead of a seek and a read: the caches above
        // read whole pages at scattered offsets. Bytes still in the stream's
        // buffer go to the file first.
        if (m_written && std::fflush(m_file) != 0) return kErrReadWrite;
        m_written = false;
        auto* out = static_cast<char*>(buffer);
        while (count > 0) {
            if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) return kErrReadWrite;
            const ssize_t n = pread(fileno(m_file), out, count, static_cast<off_t>(offset));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return kErrReadWrite;  // an error, or the end of the file before `count` bytes
            out += n;
            offset += static_cast<std::uint64_t>(n);
            count -= static_cast<std::size_t>(n);
        }
        return kOk;
#else
        if (!Seek(offset)) return kErrReadWrite;
        return std::fread(buffer, 1, count, m_file) == count ? kOk : kErrReadWrite;
#endif
    }
    int Write(std::uint64_t offset, const void* buffer, std::size_t count) override {
        if (count == 0) return kOk;
        if (!Seek(offset)) return kErrReadWrite;
        m_written = true;
        return std::fwrite(buffer, 1, count, m_file) == count ? kOk : kErrReadWrite;
    }
    // Size and truncation go through the open file itself, never through a
    // second open by name: a file opened exclusively refuses that on Windows.
    int Size(std::uint64_t& size) override {
        if (std::fflush(m_file) != 0) return kErrReadWrite;
#ifdef _WIN32
        const long long s = _filelengthi64(_fileno(m_file));
        if (s < 0) return kErrReadWrite;
        size = static_cast<std::uint64_t>(s);
#else
        struct stat st;
        if (fstat(fileno(m_file), &st) != 0 || st.st_size < 0) return kErrReadWrite;
        size = static_cast<std::uint64_t>(st.st_size);
#endif
        return kOk;
    }
    int Truncate(std::uint64_t size) override {
        if (std::fflush(m_file) != 0) return kErrReadWrite;
#ifdef _WIN32
        if (size > static_cast<std::uint64_t>(std::numeric_limits<long long>::max())) return kErrReadWrite;
        return _chsize_s(_fileno(m_file), static_cast<long long>(size)) == 0 ? kOk : kErrReadWrite;
#else
        if (size > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) return kErrReadWrite;
        return ftruncate(fileno(m_file), static_cast<off_t>(size)) == 0 ? kOk : kErrReadWrite;
#endif
    }
    int Flush() override { return std::fflush(m_file) == 0 ? kOk : kErrReadWrite; }

private:
    bool Seek(std::uint64_t offset) {
        // A switch between reading and writing needs a positioning call; one
        // is made before every transfer.
#ifdef _WIN32
        return _fseeki64(m_file, static_cast<long long>(offset), SEEK_SET) == 0;
#else
        if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) return false;
        return fseeko(m_file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
    }
    std::FILE* m_file;
    fs::path m_path;
    bool m_written = false;  // the stream may hold written bytes not yet in the file
};

class RealFiles final : public DbFileSystem {
public:
    std::unique_ptr<DbFile> Open(const char* path, int accessMode, bool readOnly) override {
        fs::path p = Resolve(path);
        if (p.empty()) return nullptr;
        std::FILE* f = OpenStream(p, readOnly ? "rb" : "r+b", accessMode);
        if (!f) return nullptr;
        return std::make_unique<StdioFile>(f, p);
    }
    std::unique_ptr<DbFile> Create(const char* path, int accessMode) override {
        fs::path p = Resolve(path);
        if (p.empty()) p = ToPath(path);
        std::FILE* f = OpenStream(p, "w+b", accessMode);
        if (!f) return nullptr;
        return std::make_unique<StdioFile>(f, p);
    }
    bool Exists(const char* path) override { return !Resolve(path).empty(); }
};

}  // namespace

DbFileSystem& RealFileSystem() {
    static RealFiles files;
    return files;
}

}  // namespace tvx::db
