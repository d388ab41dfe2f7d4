// Support for the catalogue tests: the catalogue's files in the test
// executable's folder, read back through the table storage, damaged on
// purpose, and saved for the interoperability check that runs after.
#pragma once

#include "catalogue/Catalog.h"
#include "settings/Settings.h"
#include "storage/Check.h"
#include "storage/Db.h"
#include "storage/Escape.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace tvx::catalogue::testing {

inline std::wstring CatalogueFile(const wchar_t* name) { return CTVXCatalog::ProgramFolder() + L"\\" + name; }

inline bool FileExists(const wchar_t* name) {
    return GetFileAttributesW(CatalogueFile(name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline std::uint64_t FileSize(const wchar_t* name) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(CatalogueFile(name).c_str(), GetFileExInfoStandard, &data)) return ~0ull;
    return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

inline std::string ReadBytes(const wchar_t* name) {
    std::ifstream in(CatalogueFile(name).c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const wchar_t* name, const std::string& bytes) {
    std::ofstream out(CatalogueFile(name).c_str(), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline void Truncate(const wchar_t* name, std::uint64_t by) {
    std::string bytes = ReadBytes(name);
    ASSERT_GE(bytes.size(), by);
    bytes.resize(bytes.size() - by);
    WriteBytes(name, bytes);
}

inline std::uint32_t Le32(const std::string& bytes, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
    return v;
}

// One record of a catalogue table as stored: deletion mark and field bytes.
struct Row {
    bool deleted = false;
    std::vector<std::string> fields;
    std::uint32_t Id() const { return Le32(fields[0], 0); }
};

// Reads a closed catalogue table ("Files", "Dests", "Revns") in record
// order, and checks it and its index as `tvxdb check` does.
struct TableReading {
    std::vector<Row> rows;
    std::vector<std::string> problems;
    std::string keys;  // the tag's keys in its order, in `tvxdb keys` lines
    bool opened = false;
};

inline TableReading ReadTable(const wchar_t* base) {
    TableReading reading;
    db::DbContext context;
    context.Setup();
    context.readOnly = true;
    std::string name;
    for (wchar_t c : CTVXCatalog::ProgramFolder() + L"\\" + base) {
        // The test folder's path is plain ASCII under the build folder.
        name.push_back(static_cast<char>(c));
    }
    db::DbTable* table = db::DbTable::Open(context, name.c_str());
    if (!table) return reading;
    reading.opened = true;
    reading.problems = db::CheckTable(*table);
    table->SelectTag(nullptr);
    for (int rc = table->Top(); rc == db::kOk; rc = table->Skip(1)) {
        Row row;
        row.deleted = table->IsDeleted();
        for (int i = 0; i < table->FieldCount(); ++i) {
            db::DbField* f = table->FieldAt(i);
            row.fields.emplace_back(f->Ptr(), f->Length());
        }
        reading.rows.push_back(std::move(row));
    }
    // Each catalogue tag's key is its table's first or second field as stored.
    if (db::DbTag* tag = table->TagAt(0)) {
        db::DbField* keyField = table->Field(tag->Expression());
        table->SelectTag(tag);
        for (int rc = table->Top(); keyField && rc == db::kOk; rc = table->Skip(1))
            reading.keys += std::to_string(table->RecordNumber()) + "\t" +
                            db::EscapeBytes(std::string_view(keyField->Ptr(), keyField->Length())) + "\n";
    }
    table->Close();
    return reading;
}

// A field's text up to the end marker.
inline std::string Text(const std::string& field) { return field.substr(0, field.find('?')); }

inline DWORD Counter(const wchar_t* name) {
    DWORD value = 0;
    settings::ReadNumber(name, value);
    return value;
}

inline void ClearCounters() {
    for (const wchar_t* name : {settings::kDBReset, settings::kDBSyncFiles, settings::kDBSyncDests})
        RegDeleteKeyValueW(HKEY_CURRENT_USER, settings::kOptionsKey, name);
}

// Copies the six files into snapshots\<label> beside the test executable, for
// the check with independent xBase readers that runs after this suite.
inline void SaveSnapshot(const std::wstring& label, const std::vector<std::pair<const wchar_t*, std::string>>& keys) {
    const std::wstring root = CTVXCatalog::ProgramFolder() + L"\\snapshots";
    CreateDirectoryW(root.c_str(), nullptr);
    const std::wstring dir = root + L"\\" + label;
    CreateDirectoryW(dir.c_str(), nullptr);
    for (const wchar_t* name : {L"FILES.DBF", L"FILES.CDX", L"DESTS.DBF", L"DESTS.CDX", L"REVNS.DBF", L"REVNS.CDX"})
        CopyFileW(CatalogueFile(name).c_str(), (dir + L"\\" + name).c_str(), FALSE);
    for (const auto& [table, lines] : keys) {
        std::ofstream out((dir + L"\\" + table + L".keys").c_str(), std::ios::binary | std::ios::trunc);
        out << lines;
    }
}

// Every test starts without catalogue files and counters, and ends by
// checking the three tables with their indexes and saving them.
class CatalogueTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(0, CTVXCatalog().DeleteFiles());
        ClearCounters();
    }
    void TearDown() override {
        m_catalog.Close();
        if (HasFatalFailure()) return;
        std::vector<std::pair<const wchar_t*, std::string>> keys;
        for (const auto& [base, file] : {std::pair{L"Files", L"FILES"}, {L"Dests", L"DESTS"}, {L"Revns", L"REVNS"}}) {
            const TableReading reading = ReadTable(base);
            if (!reading.opened) continue;
            for (const std::string& problem : reading.problems) ADD_FAILURE() << "check of " << base << ": " << problem;
            keys.emplace_back(file, reading.keys);
        }
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string label = std::string(info->test_suite_name()) + "." + info->name();
        for (char& c : label)
            if (c == '/') c = '_';
        SaveSnapshot(std::wstring(label.begin(), label.end()), keys);
    }

    CTVXCatalog m_catalog;
};

}  // namespace tvx::catalogue::testing
