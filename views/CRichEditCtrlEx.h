#pragma once

#include <QPlainTextEdit>

// The note's text box: plain text only, in and out of the clipboard and by drag and drop. The
// typing limit stops typing and pasting beyond it, but a longer text set by the program is kept
// whole.
class CRichEditCtrlEx : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit CRichEditCtrlEx(QWidget* parent = nullptr);

    void SetLimitText(int limit) { m_limit = limit; }
    // Characters in the text; a line end counts one.
    int GetTextLength() const;
    // Selects start to end (editor positions), gives the focus and brings the line of the start
    // to the top, as far as the text can scroll.
    void SelectAndScroll(int startChar, int endChar);

signals:
    void contextMenuRequested(const QPoint& globalPos);

protected:
    QMimeData* createMimeDataFromSelection() const override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // How many characters may still go in in place of the selection.
    int Room() const;

    int m_limit = 0x100000;
};
