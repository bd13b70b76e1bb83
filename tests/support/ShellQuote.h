#pragma once

#include <string>

// An argument quoted for the shell, whatever characters it holds.
inline std::string ShellQuoted(const std::string& arg)
{
    std::string quoted = "'";
    for (char c : arg)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}
