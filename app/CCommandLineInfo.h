#pragma once

#include <QString>
#include <QStringList>

// The program's command line: at most one notebook to open; arguments that begin with "-" are
// switches and are never opened. --help and --version are answered without a window, every other
// switch has no effect, and after "--" each argument is a path again.
class CCommandLineInfo
{
public:
    // The arguments as the program got them, its own name first.
    void ParseCommandLine(const QStringList& arguments);

    // What --help or --version prints; empty when neither was given.
    QString SwitchAnswer() const;

    QString m_strFileName;
    bool m_bShowHelp = false;
    bool m_bShowVersion = false;
};
