#pragma once

#include "MassNoteBook.h"
#include "app/CMainFrame.h"
#include "app/CRecoveryKeeper.h"
#include "app/CommandIds.h"
#include "platform/MessageBox.h"
#include "views/CNotePanel.h"
#include "views/CSpelling.h"

#include <QApplication>
#include <QEvent>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

// The icons the program loads at its start, so that the frames timed paint what the user's do.
inline void LoadProgramResources()
{
    static const bool loaded = [] {
        Q_INIT_RESOURCE(pelmora);
        return true;
    }();
    (void)loaded;
}

// The real main frame on the offscreen platform, shown at a usual size with a new notebook.
inline std::unique_ptr<CMainFrame> MakeBenchFrame()
{
    LoadProgramResources();
    auto frame = std::make_unique<CMainFrame>();
    frame->Create();
    frame->resize(1000, 800);
    frame->show();
    frame->GetRouter().Run(ID_FILE_NEW);
    QApplication::processEvents();
    // The events delivered here started the dictionary's load, which at start-up waits until the
    // notebook is open: it would take a core from the commands timed.
    CSpelling::Instance().WaitUntilLoaded();
    return frame;
}

// Delivers what a command posted and paints what it left dirty, as the window system's next update
// would: the end of the repaint the user waits for.
inline void FinishRepaint(QWidget& window)
{
    QApplication::processEvents();
    QEvent update(QEvent::UpdateRequest);
    QApplication::sendEvent(&window, &update);
}

// The largest resident size the process has had, in MB.
inline double PeakResidentMB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// A figure of /proc/self/status, such as "RssAnon:", in MB; 0 when it is not there.
inline double ProcStatusMB(const char* field)
{
    FILE* status = std::fopen("/proc/self/status", "r");
    if (!status)
        return 0;
    char line[256];
    double kb = 0;
    const std::size_t length = std::strlen(field);
    while (std::fgets(line, sizeof line, status))
        if (std::strncmp(line, field, length) == 0)
            kb = std::atof(line + length);
    std::fclose(status);
    return kb / 1024.0;
}

// The real frame with a mass notebook open, for the benchmarks of commands.
inline std::unique_ptr<CMainFrame>& MassFrame()
{
    static std::unique_ptr<CMainFrame> frame;
    return frame;
}

// The main of such a benchmark program: message boxes answer at once, and the frame goes before the
// application.
inline int RunMassFrameBenchmarks(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    SetMessageBoxHandler([](const std::string&, unsigned style, const std::string&) {
        return DefaultMessageBoxAnswer(style);
    });
    std::unique_ptr<CMainFrame>& frame = MassFrame();
    frame = MakeBenchFrame();
    FillMassNoteBook(*frame->GetNoteBook());
    frame->GetNotePanel()->ReloadNoteList();
    // Recovery copies have a benchmark of their own; here they would run beside the commands timed.
    frame->GetBookController().GetRecoveryKeeper()->SetDelays(std::chrono::hours(1), std::chrono::hours(1));
    FinishRepaint(*frame);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // A benchmark may leave the frame without a notebook.
    if (frame->IsBookOpen())
        frame->GetNoteBook()->SetModifiedFlag(false);
    frame.reset();
    return 0;
}
