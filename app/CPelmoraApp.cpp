#include "app/CPelmoraApp.h"

#include "app/CCommandLineInfo.h"
#include "app/CMainFrame.h"
#include "platform/qt/DisplayScale.h"
#include "platform/qt/QtMessageBox.h"

#include <QApplication>
#include <QFont>

#include <cstdio>
#include <cstdlib>

namespace {

// The faces the Windows program names, mapped to fonts Debian ships, so that a stored face keeps
// its name while something close to it is shown.
void AddFontSubstitutes()
{
    QFont::insertSubstitutions("Times New Roman", {"Liberation Serif", "DejaVu Serif"});
    QFont::insertSubstitutions("Arial", {"Liberation Sans", "DejaVu Sans"});
    QFont::insertSubstitutions("Courier New", {"Liberation Mono", "DejaVu Sans Mono"});
    QFont::insertSubstitutions("Lucida Console", {"DejaVu Sans Mono", "Liberation Mono"});
    QFont::insertSubstitutions("Verdana", {"DejaVu Sans", "Liberation Sans"});
    QFont::insertSubstitutions("Tahoma", {"DejaVu Sans", "Liberation Sans"});
    QFont::insertSubstitutions("MS Sans Serif", {"Liberation Sans", "DejaVu Sans"});
    QFont::insertSubstitutions("System", {"DejaVu Sans", "Liberation Sans"});
}

} // namespace

CPelmoraApp::CPelmoraApp() = default;

CPelmoraApp::~CPelmoraApp() = default;

bool CPelmoraApp::InitInstance(const std::vector<std::string>& arguments)
{
    // The per-user store's names; the notebooks keep their own view settings.
    QApplication::setOrganizationName("Orlathwick");
    QApplication::setApplicationName("Pelmora");
    // Lets the desktop match the window with its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.orlathwick.pelmora"));
    AddFontSubstitutes();
    InstallQtMessageBox();
    ComputeScaleFactors();

    m_pMainWnd = std::make_unique<CMainFrame>();
    if (!m_pMainWnd->Create()) {
        m_pMainWnd.reset();
        return false;
    }
    m_pMainWnd->show();

    // The toolkit has taken its own options out; of the rest only the notebook counts.
    CCommandLineInfo command;
    command.ParseCommandLine(arguments);
    if (!command.m_strFileName.empty())
        m_pMainWnd->OpenBook(command.m_strFileName);
    else
        m_pMainWnd->StartWithoutFile();
    return true;
}

int CPelmoraApp::Run()
{
    const int code = QApplication::exec();
    // Ended without the window's close (the session ending): the notebook is let go of all the same,
    // its lock and recovery copies with it. Everything else was written when it changed.
    m_pMainWnd->CloseBook();
    m_end(code);
    return code;
}

void CPelmoraApp::EndAtOnce(int code)
{
    std::fflush(nullptr);
    std::_Exit(code);
}
