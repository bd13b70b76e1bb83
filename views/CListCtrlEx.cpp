#include "views/CListCtrlEx.h"

#include "views/CNoteItemDelegate.h"

#include <QContextMenuEvent>
#include <QKeyEvent>

CListCtrlEx::CListCtrlEx(QWidget* parent) : QListView(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    setDragEnabled(false);
    // Rows of one height let a list of 100,000 notes lay out without asking for every title.
    setUniformItemSizes(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTextElideMode(Qt::ElideRight);
    setItemDelegate(new CNoteItemDelegate(this));
    viewport()->setAttribute(Qt::WA_Hover);
    viewport()->setMouseTracking(true);

    QPalette colours = palette();
    colours.setColor(QPalette::Base, QColor(255, 252, 235));
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        colours.setColor(QPalette::Inactive, role, colours.color(QPalette::Active, role));
    setPalette(colours);

    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            emit itemActivated(index.row());
    });
}

int CListCtrlEx::GetItemCount() const
{
    return model() ? model()->rowCount() : 0;
}

int CListCtrlEx::GetSelectionMark() const
{
    if (!selectionModel())
        return -1;
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

int CListCtrlEx::GetItemSerial(int row) const
{
    if (!model() || row < 0 || row >= GetItemCount())
        return -1;
    const QVariant serial = model()->index(row, 0).data(Qt::UserRole);
    return serial.isValid() ? serial.toInt() : -1;
}

void CListCtrlEx::SelectItem(int row)
{
    if (!model() || row < 0 || row >= GetItemCount())
        return;
    const QModelIndex index = model()->index(row, 0);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    scrollTo(index, QAbstractItemView::EnsureVisible);
}

void CListCtrlEx::EditLabel(int row)
{
    if (!model() || row < 0 || row >= GetItemCount())
        return;
    const QModelIndex index = model()->index(row, 0);
    setCurrentIndex(index);
    edit(index);
}

void CListCtrlEx::keyPressEvent(QKeyEvent* event)
{
    // Enter opens the selected note; while a label is edited it belongs to the editor.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && state() != QAbstractItemView::EditingState) {
        const int row = GetSelectionMark();
        if (row != -1)
            emit itemActivated(row);
        event->accept();
        return;
    }
    QListView::keyPressEvent(event);
}

void CListCtrlEx::contextMenuEvent(QContextMenuEvent* event)
{
    emit contextMenuRequested(event->globalPos());
    event->accept();
}
