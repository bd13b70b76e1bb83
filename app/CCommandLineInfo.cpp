#include "app/CCommandLineInfo.h"

#include "model/CTextString.h"
#include "platform/desktop/ModuleVersion.h"

void CCommandLineInfo::ParseCommandLine(const QStringList& arguments)
{
    bool switches = true;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (switches && argument == QLatin1String("--"))
            switches = false;
        else if (switches && (argument == QLatin1String("--help") || argument == QLatin1String("-h")))
            m_bShowHelp = true;
        else if (switches && argument == QLatin1String("--version"))
            m_bShowVersion = true;
        else if (switches && argument.startsWith(QLatin1Char('-')))
            continue;
        else if (m_strFileName.isEmpty() && !argument.isEmpty())
            m_strFileName = argument;
    }
}

QString CCommandLineInfo::SwitchAnswer() const
{
    if (m_bShowHelp)
        return QStringLiteral(
            "Usage: pelmora [NOTEBOOK]\n"
            "Mass note taking: opens the notebook file NOTEBOOK (.pelm), or starts with none.\n"
            "\n"
            "  --help     print this text and exit\n"
            "  --version  print the version and exit\n"
            "  --         take the next argument as NOTEBOOK even when it begins with \"-\"\n"
            "\n"
            "Other arguments that begin with \"-\" have no effect. See pelmora(1).\n");
    if (m_bShowVersion) {
        // The same record the about box reads.
        CTextString version;
        if (!GetModuleVersionString(version))
            return QStringLiteral("Pelmora\n");
        return QStringLiteral("Pelmora %1\n").arg(QString::fromUtf8(version.GetData()));
    }
    return {};
}
