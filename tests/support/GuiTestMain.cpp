// Runs the widget tests inside one QApplication on the offscreen platform.
#include "support/TempDir.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    // Tests that need the X primary selection run on a display of their own.
    if (qgetenv("QT_QPA_PLATFORM") != "xcb")
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Recovery copies, backups, the registry store and the word list go to folders of the run's
    // own, never the user's.
    TempDir state;
    ::setenv("XDG_STATE_HOME", state.Path().c_str(), 1);
    // So do the recent notebooks and the desktop's recently used files.
    TempDir data;
    ::setenv("XDG_DATA_HOME", data.Path().c_str(), 1);
    Q_INIT_RESOURCE(pelmora);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
