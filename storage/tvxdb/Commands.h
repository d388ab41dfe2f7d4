// The tvxdb tool as a callable function, so tests can run its commands.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace tvx::db {

// args excludes the program name. Exit code: 0 done (check: sound), 1 check
// found problems, 2 error.
int RunTvxdb(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace tvx::db
