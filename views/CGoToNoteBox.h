#pragma once

#include "text/CTitleFinder.h"

#include <QFrame>
#include <QPointer>

#include <cstdint>

class CNoteBook;
class QLineEdit;
class QListWidget;

// Go to Note: a small box over the note list. What is typed narrows the titles to the best few
// fuzzy matches; Up and Down choose one, Enter opens it, Escape goes back where the keys were.
class CGoToNoteBox : public QFrame
{
    Q_OBJECT

public:
    CGoToNoteBox(const CNoteBook& book, QWidget* parent);

    // Shows the box, empty, over this rectangle of its parent and takes the keys.
    void Open(const QRect& over);
    QLineEdit* GetEdit() const { return m_edit; }
    QListWidget* GetResults() const { return m_results; }

signals:
    void NoteChosen(int serial);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Narrow(const QString& text);
    void Step(int rows);
    void Choose();
    void Close();
    // The titles taken for the keys go with the box: the notebook may change once it is gone.
    void HideAndRelease();
    std::size_t VisibleRows() const;

    const CNoteBook& m_book;
    CTitleFinder m_finder;
    QLineEdit* m_edit;
    QListWidget* m_results;
    QPointer<QWidget> m_returnFocus;
    std::uint64_t m_loadedAt = 0; // the notebook's change count when its titles were taken
};
