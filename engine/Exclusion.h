// Exclusion of file types from the mirror: the user's list of extensions
// (without the dot) that are never copied.
#pragma once

#include <string>
#include <vector>

namespace tvx::engine {

// 1 when the path's extension (the text after the last dot of the path, or
// the whole path when it has no dot) equals an entry of the list without
// regard to case; 0 otherwise. Only the last extension counts: "gz" excludes
// report.tar.gz, "tar.gz" excludes nothing.
int IsExcluded(const std::wstring& path, const std::vector<std::wstring>& list);

}  // namespace tvx::engine
