// Texts from the program's string table, and the "%1 %2" inserts of its
// message strings.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

namespace tvx {

// The string with the id from the program's own resources; empty when absent.
std::wstring LoadResourceString(UINT id);

// Replaces %1 to %9 in the pattern by the inserts, in one pass (an insert
// that itself holds "%2" stays as it is). A placeholder without an insert
// becomes empty; "%%" gives one percent sign.
std::wstring FormatInserts(const std::wstring& pattern, std::initializer_list<std::wstring> inserts);

}  // namespace tvx
