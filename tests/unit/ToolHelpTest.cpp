#include "support/ShellQuote.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

// The tool's --help, made from its command-line definition, is the truth the man page and the
// bash completion must agree with; commands added later are checked without touching this.
namespace {

std::string Output(const std::string& command)
{
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char block[4096];
        for (std::size_t n; (n = std::fread(block, 1, sizeof block, pipe)) > 0;)
            out.append(block, n);
        ::pclose(pipe);
    }
    return out;
}

std::string Help(const std::string& command = {})
{
    return Output(ShellQuoted(PELMORA_TOOL) + (command.empty() ? "" : " " + command) + " --help");
}

// The first word of each entry of a section ("Subcommands:"), or every --option of "Options:".
std::vector<std::string> Section(const std::string& help, const std::string& name)
{
    std::istringstream in(help);
    std::vector<std::string> entries;
    bool on = false;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line[0] != ' ') {
            on = line == name + ":";
            continue;
        }
        if (!on || line.size() < 3 || line[2] == ' ')
            continue;
        const std::string first = line.substr(2, line.find(' ', 2) - 2);
        if (name != "Options") {
            entries.push_back(first);
            continue;
        }
        std::istringstream names(first);
        for (std::string option; std::getline(names, option, ',');)
            if (option.rfind("--", 0) == 0)
                entries.push_back(option);
    }
    return entries;
}

std::string Load(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// What the completion offers after these words, the last one being completed.
std::set<std::string> Complete(const std::string& words, const std::string& directory)
{
    const std::string script = "source /usr/share/bash-completion/bash_completion; source \"$1\"; "
                               "eval \"COMP_WORDS=($2)\"; COMP_WORDS[0]=$3; "
                               "COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); COMP_LINE=\"${COMP_WORDS[*]}\"; "
                               "COMP_POINT=${#COMP_LINE}; _pelmora_tool; printf '%s\\n' \"${COMPREPLY[@]}\"";
    const std::string out =
        Output("cd " + ShellQuoted(directory) + " && bash -c " + ShellQuoted(script) + " _ " +
               ShellQuoted(std::string(PELMORA_SOURCE_DIR) + "/res/completion/pelmora-tool") + " " +
               ShellQuoted("pelmora-tool " + words) + " " + ShellQuoted(PELMORA_TOOL));
    std::set<std::string> offered;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            offered.insert(line);
    return offered;
}

// A name as the man page writes it: every hyphen escaped.
std::string Roff(const std::string& name)
{
    return std::regex_replace(name, std::regex("-"), "\\-");
}

} // namespace

TEST(ToolHelp, EveryCommandAndOptionIsInTheManPageAndTheCompletion)
{
    const std::string help = Help();
    const std::vector<std::string> commands = Section(help, "Subcommands");
    ASSERT_GE(commands.size(), 8u) << help;
    const std::string man = Load(std::string(PELMORA_SOURCE_DIR) + "/docs/pelmora-tool.1");
    ASSERT_FALSE(man.empty());
    const std::string readme = Load(std::string(PELMORA_SOURCE_DIR) + "/README.md");
    TempDir dir;
    for (const char* name : {"a.pelm", "b.pelmx", "c.txt"})
        std::ofstream(dir.File(name)) << "";

    std::set<std::string> offeredCommands = Complete("\"\"", dir.Path().string());
    for (const std::string& option : Section(help, "Options")) {
        EXPECT_NE(man.find(Roff(option)), std::string::npos) << option << " is not in the man page";
        EXPECT_EQ(Complete(ShellQuoted(option.substr(0, 3)), dir.Path().string()).count(option), 1u)
            << option;
    }
    for (const std::string& command : commands) {
        const std::regex entry("\n\\.BI? " + Roff(command) + "( |\n)");
        EXPECT_TRUE(std::regex_search(man, entry)) << command << " has no entry in the man page";
        EXPECT_EQ(offeredCommands.count(command), 1u) << command << " is not completed";
        const std::set<std::string> options = Complete(command + " --", dir.Path().string());
        for (const std::string& option : Section(Help(command), "Options")) {
            EXPECT_NE(man.find(Roff(option)), std::string::npos) << command << " " << option;
            EXPECT_NE(readme.find(option), std::string::npos)
                << command << " " << option << " is not in the README";
            EXPECT_EQ(options.count(option), 1u) << command << " " << option << " is not completed";
        }
    }
    // A notebook, plain or encrypted, and nothing else where one is asked for.
    EXPECT_EQ(Complete("info \"\"", dir.Path().string()), (std::set<std::string>{"a.pelm", "b.pelmx"}));
    EXPECT_EQ(Complete("decrypt b.pelmx \"\"", dir.Path().string()),
              (std::set<std::string>{"a.pelm", "b.pelmx"}));
    // An encoding's name after --encoding, not a file's.
    const std::set<std::string> encodings = Complete("import --encoding windows-125", dir.Path().string());
    EXPECT_EQ(encodings.count("windows-1251"), 1u);
    EXPECT_EQ(encodings.count("c.txt"), 0u);
}
