// Consistency check of an open table and its index, as the tvxdb tool's
// "check" command reports it.
#pragma once

#include "storage/Db.h"

#include <string>
#include <vector>

namespace tvx::db {

// One line per problem; empty when the table and every tag agree.
std::vector<std::string> CheckTable(DbTable& table);

}  // namespace tvx::db
