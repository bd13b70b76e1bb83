#pragma once

#include "app/CMainFrame.h"
#include "app/CommandIds.h"

#include <QApplication>
#include <QEvent>

#include <sys/resource.h>

#include <memory>

// The real main frame on the offscreen platform, shown at a usual size with a new notebook.
inline std::unique_ptr<CMainFrame> MakeBenchFrame()
{
    auto frame = std::make_unique<CMainFrame>();
    frame->Create();
    frame->resize(1000, 800);
    frame->show();
    frame->GetRouter().Run(ID_FILE_NEW);
    QApplication::processEvents();
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
