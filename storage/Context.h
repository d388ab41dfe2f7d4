// The storage context's state: settings live in DbContext itself; this holds
// the error code, the file layer and the open tables.
#pragma once

#include "storage/Db.h"

#include <memory>
#include <vector>

namespace tvx::db {

// Numbers naming the step that set an error code (DbContext::ErrorLocation).
enum Location : int {
    kLocSetup = 10,
    kLocCreate = 100,
    kLocCreateIndex = 150,
    kLocOpen = 200,
    kLocOpenIndex = 250,
    kLocRead = 300,
    kLocWrite = 350,
    kLocAppend = 400,
    kLocPack = 500,
    kLocIndex = 600,
    kLocSeek = 700,
    kLocClose = 800,
    kLocField = 900,
};

struct DbContext::State {
    int error = 0;
    int location = 0;
    DbFileSystem* files = nullptr;
    std::vector<std::unique_ptr<DbTable>> tables;

    int Set(int code, int where) noexcept {
        error = code;
        location = where;
        return code;
    }
};

}  // namespace tvx::db
