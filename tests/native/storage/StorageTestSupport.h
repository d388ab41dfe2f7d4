// Shared pieces of the storage tests: a scratch folder per test, the
// catalogue's table layouts, file helpers and a file layer that fails.
#pragma once

#include "storage/Db.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace tvx::db::test {

namespace fs = std::filesystem;

inline const DbFieldInfo kFilesFields[] = {
    {"ID", 'C', 4, 0, false}, {"PATH", 'C', 240, 0, false}, {"PATHEX", 'C', 22, 0, false}, {nullptr, 0, 0, 0, false}};
inline const DbFieldInfo kDestsFields[] = {
    {"ID", 'C', 4, 0, false}, {"PATH", 'C', 240, 0, false}, {nullptr, 0, 0, 0, false}};
inline const DbFieldInfo kRevnsFields[] = {
    {"ID", 'C', 8, 0, false}, {"MODDATE", 'C', 8, 0, false}, {"ATTR", 'C', 4, 0, false}, {nullptr, 0, 0, 0, false}};
inline const DbTagInfo kPathTag[] = {{"PATH_TAG", "PATH", nullptr, false, false}, {nullptr, nullptr, nullptr, false, false}};
inline const DbTagInfo kIdTag[] = {{"ID_TAG", "ID", nullptr, false, false}, {nullptr, nullptr, nullptr, false, false}};

inline unsigned Le16(const std::vector<std::uint8_t>& b, std::size_t at) { return b[at] | (b[at + 1] << 8); }
inline std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return Le16(b, at) | (static_cast<std::uint32_t>(Le16(b, at + 2)) << 16);
}

// A file's extension in upper case (".DBF"), as other engines spell it either way.
inline std::string UpperExtension(const fs::path& file) {
    std::string ext = file.extension().string();
    for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return ext;
}

// A fresh folder under /tmp for one test, removed afterwards.
class StorageTest : public ::testing::Test {
protected:
    void SetUp() override {
        static std::atomic<int> serial{0};
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_dir = fs::path("/tmp") / ("tvx-storage-" + std::to_string(::getpid()) + "-" + info->name() + "-" +
                                    std::to_string(serial++));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        m_context.Setup();
        m_context.accessMode = 1;
        m_context.createRefusesExisting = false;
    }
    void TearDown() override {
        m_context.CloseAll();
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }
    std::string Path(const std::string& name) const { return (m_dir / name).string(); }

    static std::vector<std::uint8_t> Bytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void PutBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    // Appends one FILES/DESTS-like record: values in field order.
    static int AppendValues(DbTable* t, const std::vector<std::string>& values) {
        if (int rc = t->AppendStart(); rc != kOk) return rc;
        t->Blank();
        for (std::size_t i = 0; i < values.size(); ++i)
            t->FieldAt(static_cast<int>(i))->AssignBytes(values[i].data(), values[i].size());
        return t->Append();
    }

    fs::path m_dir;
    DbContext m_context;
};

// The real file system with a failure injected at the n-th file operation
// (opens and creates included): that one and every one after it fail, as
// when a disk goes away.
class FailingFileSystem final : public DbFileSystem {
public:
    explicit FailingFileSystem(long failAt) : m_failAt(failAt) {}

    long Operations() const { return m_count; }
    bool Tripped() const { return m_failAt > 0 && m_count >= m_failAt; }
    bool Step() { return m_failAt > 0 && ++m_count >= m_failAt; }

    std::unique_ptr<DbFile> Open(const char* path, int accessMode, bool readOnly) override {
        if (Step()) return nullptr;
        auto f = RealFileSystem().Open(path, accessMode, readOnly);
        return f ? std::make_unique<File>(*this, std::move(f)) : nullptr;
    }
    std::unique_ptr<DbFile> Create(const char* path, int accessMode) override {
        if (Step()) return nullptr;
        auto f = RealFileSystem().Create(path, accessMode);
        return f ? std::make_unique<File>(*this, std::move(f)) : nullptr;
    }
    bool Exists(const char* path) override { return RealFileSystem().Exists(path); }

private:
    class File final : public DbFile {
    public:
        File(FailingFileSystem& owner, std::unique_ptr<DbFile> inner) : m_owner(owner), m_inner(std::move(inner)) {}
        int Read(std::uint64_t o, void* b, std::size_t c) override {
            return m_owner.Step() ? kErrReadWrite : m_inner->Read(o, b, c);
        }
        int Write(std::uint64_t o, const void* b, std::size_t c) override {
            return m_owner.Step() ? kErrReadWrite : m_inner->Write(o, b, c);
        }
        int Size(std::uint64_t& s) override { return m_owner.Step() ? kErrReadWrite : m_inner->Size(s); }
        int Truncate(std::uint64_t s) override { return m_owner.Step() ? kErrReadWrite : m_inner->Truncate(s); }
        int Flush() override { return m_owner.Step() ? kErrReadWrite : m_inner->Flush(); }

    private:
        FailingFileSystem& m_owner;
        std::unique_ptr<DbFile> m_inner;
    };

    long m_failAt;
    long m_count = 0;
};

}  // namespace tvx::db::test
