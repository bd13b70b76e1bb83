#pragma once

#include <QStringList>

#include <memory>

class CMainFrame;

// Display scale factors: the small-icon size over 16, at least 1.0. Set once before any window
// exists; every pixel size made from them is truncated.
extern double g_scaleX;
extern double g_scaleY;

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

    static void ComputeScaleFactors();
    static double ScaleFromIconSize(int pixels);

private:
    std::unique_ptr<CMainFrame> m_pMainWnd;
};
