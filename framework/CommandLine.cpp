#include "framework/CommandLine.h"

#include <windows.h>
#include <shellapi.h>

namespace tvx {

CommandLineInfo ParseCommandLine(const std::vector<std::wstring>& args) {
    CommandLineInfo info;
    bool haveFileName = false;
    for (const std::wstring& word : args) {
        if (!word.empty() && (word[0] == L'/' || word[0] == L'-')) {
            info.switches.push_back(word.substr(1));
        } else if (!haveFileName) {
            info.fileName = word;
            haveFileName = true;
        } else {
            info.others.push_back(word);
        }
    }
    return info;
}

CommandLineInfo ParseProcessCommandLine() {
    std::vector<std::wstring> args;
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (argv) {
        for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
        ::LocalFree(argv);
    }
    return ParseCommandLine(args);
}

}  // namespace tvx
