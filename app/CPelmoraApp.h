#pragma once

#include <functional>
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
    // Runs the window until the user quits, then ends the process; returns the exit code only where
    // the end was replaced.
    int Run();
    // What ends the process once the window is done with; tests keep the process going.
    void SetProcessEnd(std::function<void(int)> end) { m_end = std::move(end); }
    CMainFrame* GetMainWnd() const { return m_pMainWnd.get(); }

private:
    // The system takes the process back whole: the widgets, the heap and a million notes' memory
    // taken apart piece by piece would only delay the end.
    static void EndAtOnce(int code);

    std::unique_ptr<CMainFrame> m_pMainWnd;
    std::function<void(int)> m_end = EndAtOnce;
};
