#pragma once

#include "MassNoteBook.h"
#include "app/CMainFrame.h"
#include "app/CommandIds.h"
#include "views/CNotePanel.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <memory>

// The real main frame, offscreen, with a mass notebook open: for the benchmarks of commands.
inline std::unique_ptr<CMainFrame>& MassFrame()
{
    static std::unique_ptr<CMainFrame> frame;
    return frame;
}

inline void OpenMassFrame()
{
    std::unique_ptr<CMainFrame>& frame = MassFrame();
    frame = std::make_unique<CMainFrame>();
    frame->Create();
    frame->resize(1000, 800);
    frame->show();
    frame->GetRouter().Run(ID_FILE_NEW);
    FillMassNoteBook(*frame->GetNoteBook());
    frame->GetNotePanel()->ReloadNoteList();
    QApplication::processEvents();
}

// The main of such a benchmark program; the frame goes before the application.
inline int RunMassFrameBenchmarks(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    OpenMassFrame();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    MassFrame().reset();
    return 0;
}
