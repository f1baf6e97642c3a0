// Reading a password from standard input.
#pragma once

#include <optional>
#include <string>

namespace pwlevel::tool {

// True when standard input is a terminal.
bool InputIsTerminal();

// Reads one line from standard input, without its line break; on a terminal
// it first shows `prompt` on standard error and turns echo off. No result at
// the end of the input.
std::optional<std::string> ReadPasswordLine(const char* prompt);

}  // namespace pwlevel::tool
