#pragma once

#include <memory>
#include <string>
#include <vector>

class CMainFrame;

// Start-up of the program: names, scale factors, the main frame and the notebook named on the
// command line.
class CPelmoraApp
{
public:
    CPelmoraApp();
    ~CPelmoraApp();

    // False when the main frame could not be made; the program then ends. The arguments are the
    // bytes of the command line: a file name need not be UTF-8.
    bool InitInstance(const std::vector<std::string>& arguments);
    // Runs the window until the user quits; returns the process's exit code.
    int Run();
    CMainFrame* GetMainWnd() const { return m_pMainWnd.get(); }

private:
    std::unique_ptr<CMainFrame> m_pMainWnd;
};
