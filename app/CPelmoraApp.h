#pragma once

#include <QStringList>

#include <memory>

class CMainFrame;

// Start-up of the program: names, scale factors, the main frame and the notebook named on the
// command line.
class CPelmoraApp
{
public:
    CPelmoraApp();
    ~CPelmoraApp();

    // False when the main frame could not be made; the program then ends.
    bool InitInstance(const QStringList& arguments);
    CMainFrame* GetMainWnd() const { return m_pMainWnd.get(); }

private:
    std::unique_ptr<CMainFrame> m_pMainWnd;
};
