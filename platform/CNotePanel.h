#pragma once

#include "CPaneSplitter.h"

#include <memory>

class CMainFrame;
class CNoteEditCtrl;
class CNoteListCtrl;

// The work area of an open notebook: the note list on the left and the note editor on the right,
// with a bar between them. The panel owns both panes; the frame and the commands reach them
// through the public members.
class CNotePanel : public CPaneSplitter
{
    Q_OBJECT

public:
    CNotePanel();
    ~CNotePanel() override;

    // Builds the panel inside the host, filling it, and gives it the focus.
    bool Create(QWidget* host, CMainFrame* frame);
    // Refills the list from the notebook. No note is active afterwards: the open note's text is
    // stored first.
    void ReloadNoteList();
    CMainFrame* GetMainFrame() const { return m_mainFrame; }
    // Gives the editor the frame's current fonts.
    void UpdateEditorFont();

    std::unique_ptr<CNoteListCtrl> m_listPane;
    std::unique_ptr<CNoteEditCtrl> m_editPane;

private:
    CMainFrame* m_mainFrame = nullptr;
};
