#pragma once

#include <string>
#include <vector>

// The program's command line: at most one notebook to open; arguments that begin with "-" are
// switches and are never opened. --help and --version are answered without a window, every other
// switch has no effect, and after "--" each argument is a path again. Arguments are bytes: a file
// name need not be UTF-8.
class CCommandLineInfo
{
public:
    // The arguments as the program got them, its own name first.
    void ParseCommandLine(const std::vector<std::string>& arguments);

    // What --help or --version prints; empty when neither was given.
    std::string SwitchAnswer() const;

    std::string m_strFileName;
    bool m_bShowHelp = false;
    bool m_bShowVersion = false;
};
