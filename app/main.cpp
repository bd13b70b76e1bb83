#include "CPelmoraApp.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    CPelmoraApp pelmora;
    if (!pelmora.InitInstance(QApplication::arguments()))
        return 1;
    return QApplication::exec();
}
