// tvxdb: create, fill, inspect and check tables from the command line.
#include "storage/tvxdb/Commands.h"

#include <iostream>

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    std::vector<std::string> args(argv + 1, argv + argc);
    return tvx::db::RunTvxdb(args, std::cin, std::cout, std::cerr);
}
