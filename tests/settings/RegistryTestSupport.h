// Direct registry access for the settings tests: values stored the way other
// programs (or older versions) might have stored them, and checks of what the
// store really wrote. Every test starts from a user without the options key.
#pragma once

#include "settings/Settings.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace tvx::settings::testing {

inline void SetRaw(const wchar_t* name, DWORD type, const void* data, std::size_t bytes) {
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetKeyValueW(HKEY_CURRENT_USER, kOptionsKey, name, type, data,
                                               static_cast<DWORD>(bytes)));
}

inline void SetRawDword(const wchar_t* name, DWORD value) { SetRaw(name, REG_DWORD, &value, sizeof(value)); }

// Stores the characters of `text` as they are: no terminating zero is added.
inline void SetRawText(const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ) {
    SetRaw(name, type, text.data(), text.size() * sizeof(wchar_t));
}

struct RawValue {
    LONG rc = ERROR_FILE_NOT_FOUND;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

// The value's bytes exactly as stored.
inline RawValue GetRaw(const wchar_t* name) {
    RawValue v;
    HKEY key = nullptr;
    v.rc = ::RegOpenKeyExW(HKEY_CURRENT_USER, kOptionsKey, 0, KEY_QUERY_VALUE, &key);
    if (v.rc != ERROR_SUCCESS) return v;
    DWORD size = 0;
    v.rc = ::RegQueryValueExW(key, name, nullptr, &v.type, nullptr, &size);
    if (v.rc == ERROR_SUCCESS) {
        v.data.resize(size);
        v.rc = ::RegQueryValueExW(key, name, nullptr, &v.type, v.data.data(), &size);
        v.data.resize(size);
    }
    ::RegCloseKey(key);
    return v;
}

inline bool OptionsKeyExists() {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kOptionsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    ::RegCloseKey(key);
    return true;
}

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        DeleteOptionsKey();
        ASSERT_FALSE(OptionsKeyExists());
    }
    void TearDown() override { DeleteOptionsKey(); }
};

}  // namespace tvx::settings::testing
