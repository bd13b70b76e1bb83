#include "app/CPelmoraApp.h"

#include <QApplication>

int main(int argc, char** argv)
{
    // The images live in a static library; nothing else would pull them in.
    Q_INIT_RESOURCE(pelmora);
    QApplication application(argc, argv);
    CPelmoraApp pelmora;
    if (!pelmora.InitInstance(QApplication::arguments()))
        return 1;
    return QApplication::exec();
}
