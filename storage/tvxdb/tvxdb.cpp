// tvxdb: create, fill, inspect and check tables from the command line.
#include "storage/tvxdb/Commands.h"

#include <iostream>

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    // Reading from std::cin would otherwise flush std::cout first: one write
    // per answered key of a seek fed on stdin. RunTvxdb flushes the output
    // itself before an error line and before it returns.
    std::cin.tie(nullptr);
    std::vector<std::string> args(argv + 1, argv + argc);
    return tvx::db::RunTvxdb(args, std::cin, std::cout, std::cerr);
}
