#include "app/CCommandLineInfo.h"

#include "model/CTextString.h"
#include "platform/desktop/ModuleVersion.h"

void CCommandLineInfo::ParseCommandLine(const std::vector<std::string>& arguments)
{
    bool switches = true;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (switches && argument == "--")
            switches = false;
        else if (switches && (argument == "--help" || argument == "-h"))
            m_bShowHelp = true;
        else if (switches && argument == "--version")
            m_bShowVersion = true;
        else if (switches && argument[0] == '-')
            continue;
        else if (m_strFileName.empty() && !argument.empty())
            m_strFileName = argument;
    }
}

std::string CCommandLineInfo::SwitchAnswer() const
{
    if (m_bShowHelp)
        return "Usage: pelmora [NOTEBOOK]\n"
               "Mass note taking: opens the notebook file NOTEBOOK (.pelm or .pelmx), or starts with none\n"
               "(with the notebook used last when Book > Reopen Last NoteBook at Start is chosen).\n"
               "\n"
               "  --help     print this text and exit\n"
               "  --version  print the version and exit\n"
               "  --         take the next argument as NOTEBOOK even when it begins with \"-\"\n"
               "\n"
               "Other arguments that begin with \"-\" have no effect. See pelmora(1).\n";
    if (m_bShowVersion) {
        // The same record the about box reads.
        CTextString version;
        if (!GetModuleVersionString(version))
            return "Pelmora\n";
        return std::string("Pelmora ") + version.GetData() + "\n";
    }
    return {};
}
