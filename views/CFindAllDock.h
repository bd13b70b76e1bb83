#pragma once

#include <QDockWidget>

class CFindAllPane;
class QLineEdit;

// The Find All results below the note panel: a dock the user closes with Escape or its close
// button, and that keeps its height while hidden, for the run only.
class CFindAllDock : public QDockWidget
{
    Q_OBJECT

public:
    // The pane searches for what the search box holds.
    CFindAllDock(QLineEdit& searchBox, QWidget* parent);

    CFindAllPane* GetPane() const { return m_pane; }
    // Shows the dock and lists the notes that hold the search box's text.
    void FindAll();
    // Shows the dock with its Replace row.
    void ShowReplace();

private:
    CFindAllPane* m_pane;
};
