// The generic accessors of the options key, by value name: one per kind of
// value. The named functions of Settings.h are one-liners on top of these.
// They follow the same rules (each call opens and closes the key; readers
// leave the caller's data alone on failure unless said otherwise) and are
// declared here so that tests can reach them with names of their own.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tvx::settings::values {

// Read buffer of a text, in characters, terminator included: a stored text
// of this many characters or more cannot be read.
inline constexpr std::size_t kTextBufferChars = 260;

// Number (REG_DWORD). The reader leaves `value` unchanged on failure.
LONG ReadNumberKept(const wchar_t* name, DWORD& value);
LONG WriteNumber(const wchar_t* name, DWORD value);

// Text (REG_SZ). The reader leaves `text` unchanged on failure; the writer
// stores the terminating zero and writes nothing for an empty text.
LONG ReadText(const wchar_t* name, std::wstring& text);
LONG WriteText(const wchar_t* name, const std::wstring& text);

// List of texts (REG_MULTI_SZ). The reader empties `list` first; the writer
// writes nothing for a list without texts.
LONG ReadList(const wchar_t* name, std::vector<std::wstring>& list);
LONG WriteList(const wchar_t* name, const std::vector<std::wstring>& list);

// 64-bit value as two numbers, low half first. The writer stops at the first
// failure; the reader reads the high half only after the low half and sets
// `value` only when both were read.
LONG ReadPair(const wchar_t* lowName, const wchar_t* highName, std::uint64_t& value);
LONG WritePair(const wchar_t* lowName, const wchar_t* highName, std::uint64_t value);

LONG DeleteValue(const wchar_t* name);

}  // namespace tvx::settings::values
