// Command-line parsing in the usual Windows application way: words that begin
// with '/' or '-' are switches; the first plain word is the "file name", which
// this program uses as its start word.
#pragma once

#include <string>
#include <vector>

namespace tvx {

struct CommandLineInfo {
    std::wstring fileName;               // first plain word, or empty
    std::vector<std::wstring> switches;  // without their '/' or '-'
    std::vector<std::wstring> others;    // later plain words
};

// args are the words after the program name, already split.
CommandLineInfo ParseCommandLine(const std::vector<std::wstring>& args);

// Splits the process's own command line (GetCommandLineW) and parses it.
CommandLineInfo ParseProcessCommandLine();

}  // namespace tvx
