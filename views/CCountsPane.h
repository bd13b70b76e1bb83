#pragma once

#include "text/CWordCounter.h"

#include <QLabel>
#include <QTimer>

#include <vector>

class CRichEditCtrlEx;

// The status bar's pane with the open note's words and characters, or the selection's when there
// is one. The words are counted a slice at a time between events, never on a key's way: a key in a
// note of 50 MB waits for one slice at most, and a count a key made stale is started again.
class CCountsPane : public QLabel
{
    Q_OBJECT

public:
    explicit CCountsPane(QWidget* parent);

    // Counts this text box's text from now on; null hides the pane.
    void Watch(CRichEditCtrlEx* textBox);

private:
    void OnTextChanged();
    void OnSelectionChanged();
    void Restart();
    void CountSlice();
    void ShowCounts();

    void Forget();

    // Dropped when the text box goes: it may go while the focus moves, before this hears of it.
    CRichEditCtrlEx* m_textBox = nullptr;
    std::vector<QMetaObject::Connection> m_connections;
    QTimer m_timer;
    CWordCounter m_counter;
    int m_from = 0; // the characters counted: the selection, or the whole text
    int m_to = 0;
    int m_next = 0;
    bool m_selection = false;
    bool m_textChanged = true; // since the count began
};
