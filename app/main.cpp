#include "app/CCommandLineInfo.h"
#include "app/CPelmoraApp.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    // --help and --version need no display, so they are answered before the toolkit starts.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    CCommandLineInfo command;
    command.ParseCommandLine(arguments);
    if (const QString answer = command.SwitchAnswer(); !answer.isEmpty()) {
        std::fputs(answer.toLocal8Bit().constData(), stdout);
        return 0;
    }

    // The images live in a static library; nothing else would pull them in.
    Q_INIT_RESOURCE(pelmora);
    QApplication application(argc, argv);
    CPelmoraApp pelmora;
    if (!pelmora.InitInstance(QApplication::arguments()))
        return 1;
    return QApplication::exec();
}
