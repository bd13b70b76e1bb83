#include "model/CTextString.h"
#include "platform/desktop/ModuleVersion.h"
#include "tools/CTool.h"

#include <CLI/CLI.hpp>

#include <exception>
#include <iostream>

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
    import->add_option("PATH", paths, "Text files; each file name without extension is a title")->required();
    std::string pattern;
    CTextMatcher::Options grepOptions;
    CLI::App* grep = app.add_subcommand("grep", "Every occurrence of a pattern: note number:title:line");
    grep->add_flag("--regex", grepOptions.regex, "The pattern is a regular expression (PCRE2)");
    grep->add_flag("--match-case", grepOptions.matchCase, "Letter case must match");
    grep->add_flag("--words", grepOptions.wholeWords, "Only whole words");
    grep->add_option("PATTERN", pattern)->required();
    grep->add_option("FILE", file)->required();

    CLI::App* encrypt = app.add_subcommand("encrypt", "An encrypted copy (.pelmx) of a notebook");
    encrypt->add_option("FILE", file)->required();
    encrypt->add_option("OUT", target, "The encrypted notebook, named .pelmx")->required();
    CLI::App* decrypt = app.add_subcommand("decrypt", "A plain copy (.pelm) of an encrypted notebook");
    decrypt->add_option("FILE", file)->required();
    decrypt->add_option("OUT", target, "The plain notebook")->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int status = app.exit(e);
        return status == 0 ? 0 : 2;
    }

    try {
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
        if (*encrypt)
            return tool.Encrypt(file, target);
        if (*decrypt)
            return tool.Decrypt(file, target);
        return tool.Import(file, paths);
    } catch (const std::exception& e) {
        std::cerr << "pelmora-tool: " << e.what() << '\n';
        return 1;
    }
}
