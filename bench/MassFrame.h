#pragma once

#include "MassNoteBook.h"
#include "app/CMainFrame.h"
#include "app/CommandIds.h"
#include "views/CNotePanel.h"

#include <QApplication>

#include <memory>

// The real main frame, shown offscreen, with a new notebook of the mass size listed in it.
inline std::unique_ptr<CMainFrame> OpenMassFrame()
{
    auto frame = std::make_unique<CMainFrame>();
    frame->Create();
    frame->resize(1000, 800);
    frame->show();
    frame->GetRouter().Run(ID_FILE_NEW);
    FillMassNoteBook(*frame->GetNoteBook());
    frame->GetNotePanel()->ReloadNoteList();
    QApplication::processEvents();
    return frame;
}
