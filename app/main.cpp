#include "app/CPelmoraApp.h"

#include <QApplication>

#include <string>
#include <vector>

int main(int argc, char** argv)
{
    // The images live in a static library; nothing else would pull them in.
    Q_INIT_RESOURCE(pelmora);
    QApplication application(argc, argv);
    CPelmoraApp pelmora;
    // The bytes as given: QApplication::arguments() would turn a name that is not UTF-8 into another.
    if (!pelmora.InitInstance(std::vector<std::string>(argv, argv + argc)))
        return 1;
    return QApplication::exec();
}
