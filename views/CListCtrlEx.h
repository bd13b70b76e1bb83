#pragma once

#include <QListView>

// The note list control: one full-width column without a header, single selection of whole
// rows, the hot row underlined and the selection kept visible when the list has no focus.
// Enter and a double click activate a row; F2 or a click on the selected row edits its label.
// A row dragged onto another asks for the note to be moved there.
class CListCtrlEx : public QListView
{
    Q_OBJECT

public:
    explicit CListCtrlEx(QWidget* parent = nullptr);

    int GetItemCount() const;
    // The selected row, or -1.
    int GetSelectionMark() const;
    // The item data of a row: the serial number of its note, or -1.
    int GetItemSerial(int row) const;
    // Selects only this row and scrolls it fully into view.
    void SelectItem(int row);
    // Starts editing the label of a row.
    void EditLabel(int row);
    // A refill: the grid is fitted to the rows the model now has.
    void reset() override;
    // A row not laid out yet is laid out with every row before it first.
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

signals:
    void itemActivated(int row);
    void contextMenuRequested(const QPoint& globalPos);
    void rowDragged(int from, int to);

protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

protected slots:
    // Rows of one height keep their places whatever their titles say, so a changed title is
    // repainted; QListView would lay every row out again, a million of them for one rename.
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles = QList<int>()) override;

private:
    // Whether every row has its place; a long list is laid out in slices after a refill.
    bool IsLaidOut() const;
    // Lays the rest of the rows out now, for a command that needs a row's place.
    void FinishLayout();
    // The rows stand in a grid of their one height, the height QListView takes from the last row,
    // so that laying a million of them out asks no row its size: the same places, sooner.
    void FitGridToRows();
    // The row a drag would land on: the one under the point, or the last one below the rows.
    int DropRow(const QPoint& pos) const;

    int m_pressRow = -1;
    QPoint m_pressPos;
    bool m_dragging = false;
};
