#include "model/CTextString.h"
#include "model/ImportedText.h"
#include "platform/desktop/ModuleVersion.h"
#include "tools/CMergeTool.h"
#include "tools/CTool.h"

#include <CLI/CLI.hpp>

#include <exception>
#include <iostream>

namespace {

// Any name ICU knows: windows-1251, Shift_JIS, UTF-16LE...
std::string EncodingName(const std::string& name)
{
    return KnownTextEncoding(name) ? std::string() : "unknown encoding: " + name;
}

} // namespace

// pelmora-tool: notebook files from the command line. Exit status 0 done, 1 failed, 2 usage;
// grep's are grep's own.
int main(int argc, char** argv)
{
    CLI::App app{"Reads and writes Pelmora notebook files, plain (.pelm) and encrypted (.pelmx)."};
    app.require_subcommand(1);
    // The version record of the program file, as the window program's about box shows it.
    CTextString version;
    app.set_version_flag("--version",
                         std::string("pelmora-tool ") +
                             (GetModuleVersionString(version) ? version.GetData() : "?"),
                         "Print the version and exit");
    std::string passwordFile;
    app.add_option("--password-file", passwordFile,
                   "File holding the password of a locked notebook or the passphrase of an encrypted one")
        ->check(CLI::ExistingFile);
    std::string passphraseFile;
    app.add_option("--passphrase-file", passphraseFile,
                   "File holding the passphrase of an encrypted notebook, apart from a locked one's password")
        ->check(CLI::ExistingFile);

    std::string file;
    std::string directory;
    std::string target;
    std::vector<std::string> paths;
    bool headerOnly = false;
    CLI::App* info =
        app.add_subcommand("info", "Reads and checks the notebook; its version, note count, lock and view");
    info->add_flag("--header", headerOnly,
                   "Only the header of a plain notebook: quick, no password, nothing checked");
    info->add_option("FILE", file)->required();
    CLI::App* dump = app.add_subcommand("dump", "The notebook as JSON on standard output");
    dump->add_option("FILE", file)->required();
    CLI::App* load = app.add_subcommand("load", "Writes the notebook from JSON on standard input");
    load->add_option("FILE", file)->required();
    CLI::App* exportCommand = app.add_subcommand("export", "One UTF-8 .txt file per note");
    exportCommand->add_option("FILE", file)->required();
    exportCommand->add_option("DIR", directory)->required();
    CLI::App* import = app.add_subcommand("import", "Adds text files as notes at the end");
    import->add_option("--into", file, "The notebook, created when it does not exist")->required();
    std::string encoding;
    import->add_option("--encoding", encoding, "Read the files in this encoding rather than the one found")
        ->check(EncodingName);
    import->add_option("PATH", paths, "Text files; each file name without extension is a title")->required();
    std::string pattern;
    CTextMatcher::Options grepOptions;
    CLI::App* grep = app.add_subcommand("grep", "Every occurrence of a pattern: note number:title:line");
    grep->add_flag("--regex", grepOptions.regex, "The pattern is a regular expression (PCRE2)");
    grep->add_flag("--match-case", grepOptions.matchCase, "Letter case must match");
    grep->add_flag("--words", grepOptions.wholeWords, "Only whole words");
    grep->add_option("PATTERN", pattern)->required();
    grep->add_option("FILE", file)->required();

    std::string replacement;
    CTextMatcher::Options replaceOptions;
    bool dryRun = false;
    CLI::App* replace = app.add_subcommand(
        "replace", "Replaces a pattern in every title and text, as the window's Replace All");
    replace->add_flag(
        "--regex", replaceOptions.regex,
        "The pattern is a regular expression (PCRE2); $1 in the replacement is its first group");
    replace->add_flag("--match-case", replaceOptions.matchCase, "Letter case must match");
    replace->add_flag("--words", replaceOptions.wholeWords, "Only whole words");
    replace->add_flag("--dry-run", dryRun, "Only say how many occurrences in how many notes");
    replace->add_option("PATTERN", pattern)->required();
    replace->add_option("REPLACEMENT", replacement)->required();
    replace->add_option("FILE", file)->required();

    CLI::App* encrypt = app.add_subcommand("encrypt", "An encrypted copy (.pelmx) of a notebook");
    encrypt->add_option("FILE", file)->required();
    encrypt->add_option("OUT", target, "The encrypted notebook, named .pelmx")->required();
    CLI::App* decrypt = app.add_subcommand("decrypt", "A plain copy (.pelm) of an encrypted notebook");
    decrypt->add_option("FILE", file)->required();
    decrypt->add_option("OUT", target, "The plain notebook")->required();

    std::string base;
    std::string theirs;
    std::string out;
    CLI::App* merge = app.add_subcommand(
        "merge",
        "Three-way merge note by note, as a git merge driver: exit 0 clean, 1 notes kept twice, 2 nothing "
        "written (a file unreadable or damaged)");
    merge
        ->add_option("BASE", base,
                     "The common ancestor; an empty file merges two-way, a missing one is an error")
        ->required();
    merge->add_option("OURS", file, "Our notebook; the result is written here unless -o is given")
        ->required();
    merge->add_option("THEIRS", theirs, "Their notebook")->required();
    merge->add_option("-o,--output", out, "Write the result here instead");
    CLI::App* diff =
        app.add_subcommand("diff", "Notes added, removed, moved and changed: exit 0 same, 1 different");
    diff->add_option("A", file)->required();
    diff->add_option("B", target)->required();
    CLI::App* show = app.add_subcommand("show", "Every note as plain text, for git diff's textconv");
    show->add_option("FILE", file)->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int status = app.exit(e);
        return status == 0 ? 0 : 2;
    }

    try {
        if (*merge)
            return CMergeTool(passwordFile, passphraseFile).Merge(base, file, theirs, out);
        if (*diff)
            return CMergeTool(passwordFile, passphraseFile).Diff(file, target);
        if (*show)
            return CMergeTool(passwordFile, passphraseFile).Show(file);
        CTool tool(passwordFile, passphraseFile);
        if (*info)
            return tool.Info(file, headerOnly);
        if (*dump)
            return tool.Dump(file);
        if (*load)
            return tool.Load(file);
        if (*exportCommand)
            return tool.Export(file, directory);
        if (*grep)
            return tool.Grep(pattern, file, grepOptions);
        if (*replace)
            return tool.Replace(pattern, replacement, file, replaceOptions, dryRun);
        if (*encrypt)
            return tool.Encrypt(file, target);
        if (*decrypt)
            return tool.Decrypt(file, target);
        return tool.Import(file, paths, encoding);
    } catch (const std::exception& e) {
        std::cerr << "pelmora-tool: " << e.what() << '\n';
        // For git, 1 from a merge means conflicts: a failure must not look like one.
        return *merge || *diff ? 2 : 1;
    }
}
