#include "app/CCommandLineInfo.h"
#include "app/CPelmoraApp.h"

#include <QApplication>

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    // --help and --version need no display, so they are answered before the toolkit starts.
    CCommandLineInfo command;
    command.ParseCommandLine(std::vector<std::string>(argv, argv + argc));
    if (const std::string answer = command.SwitchAnswer(); !answer.empty()) {
        std::fputs(answer.c_str(), stdout);
        return 0;
    }

    // The images live in a static library; nothing else would pull them in.
    Q_INIT_RESOURCE(pelmora);
    QApplication application(argc, argv);
    CPelmoraApp pelmora;
    // The bytes as given, less the toolkit's own options: QApplication::arguments() would turn a name
    // that is not UTF-8 into another.
    if (!pelmora.InitInstance(std::vector<std::string>(argv, argv + argc)))
        return 1;
    return pelmora.Run();
}
