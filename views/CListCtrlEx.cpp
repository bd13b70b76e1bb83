#include "views/CListCtrlEx.h"

#include "views/CNoteItemDelegate.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>

#include <cmath>

namespace {

const QColor kBackground(255, 252, 235);

// Rows laid out at a time. A list of a million notes is painted once the first slice stands, and
// the rest follow a slice of a few milliseconds at a time between events; a shorter list is laid
// out whole at once, as before.
constexpr int kRowsPerSlice = 100000;

// Relative luminance and contrast ratio as the accessibility guidelines define them.
double Luminance(const QColor& colour)
{
    auto linear = [](double c) { return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) +
           0.0722 * linear(colour.blueF());
}

double Contrast(const QColor& a, const QColor& b)
{
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The wanted colour when it reads on the background, else black or white, whichever reads better.
// The bar is the guidelines' 3 to 1: the white on blue of the usual selection colours passes it,
// a light theme text on the cream does not.
QColor ReadableOn(const QColor& background, const QColor& wanted)
{
    if (Contrast(wanted, background) >= 3.0)
        return wanted;
    return Contrast(Qt::black, background) >= Contrast(Qt::white, background) ? QColor(Qt::black)
                                                                              : QColor(Qt::white);
}

} // namespace

CListCtrlEx::CListCtrlEx(QWidget* parent) : QListView(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    setDragEnabled(false);
    // Rows of one height let a list of 100,000 notes lay out without asking for every title.
    setUniformItemSizes(true);
    setLayoutMode(QListView::Batched);
    setBatchSize(kRowsPerSlice);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTextElideMode(Qt::ElideRight);
    setItemDelegate(new CNoteItemDelegate(this));
    viewport()->setAttribute(Qt::WA_Hover);
    viewport()->setMouseTracking(true);

    // The cream background stays under every theme, so text that would not read on it (a dark
    // theme's light text) gives way, in the rows and in the rename box alike. The selection keeps
    // the theme's colour, shown as strongly while the list has no focus, with text that reads on it.
    QPalette colours = palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        colours.setColor(QPalette::Inactive, role, colours.color(QPalette::Active, role));
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        colours.setColor(group, QPalette::Base, kBackground);
        colours.setColor(group, QPalette::Text,
                         ReadableOn(kBackground, colours.color(group, QPalette::Text)));
        colours.setColor(group, QPalette::HighlightedText,
                         ReadableOn(colours.color(group, QPalette::Highlight),
                                    colours.color(group, QPalette::HighlightedText)));
    }
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

// Qt's list cannot place a row beyond the slices laid out: it would scroll nowhere, and End or a
// page from the current row would stop at the last row laid out. A step of one row, Home and the
// first row taken when the list gets the focus need no places.
QModelIndex CListCtrlEx::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    const bool byRow = action == MoveUp || action == MoveDown || action == MovePrevious ||
                       action == MoveNext || action == MoveHome;
    if (currentIndex().isValid() && !byRow)
        FinishLayout();
    return QListView::moveCursor(action, modifiers);
}

void CListCtrlEx::scrollTo(const QModelIndex& index, ScrollHint hint)
{
    if (index.isValid() && !rectForIndex(index).isValid())
        FinishLayout();
    QListView::scrollTo(index, hint);
}

bool CListCtrlEx::IsLaidOut() const
{
    const int rows = GetItemCount();
    return rows == 0 || rectForIndex(model()->index(rows - 1, 0)).isValid();
}

void CListCtrlEx::FinishLayout()
{
    if (IsLaidOut())
        return;
    setLayoutMode(QListView::SinglePass);
    executeDelayedItemsLayout();
    if (!IsLaidOut())
        doItemsLayout();
    setLayoutMode(QListView::Batched);
}

void CListCtrlEx::reset()
{
    QListView::reset();
    FitGridToRows();
}

void CListCtrlEx::changeEvent(QEvent* event)
{
    QListView::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        FitGridToRows();
}

void CListCtrlEx::FitGridToRows()
{
    const int rows = GetItemCount();
    if (rows == 0)
        return;
    // A layout without a grid steps each row by its height and twice the spacing; one with a grid
    // by the grid's height alone.
    const QSize grid(1, sizeHintForRow(rows - 1) + 2 * spacing());
    if (grid != gridSize())
        setGridSize(grid);
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

void CListCtrlEx::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                              const QList<int>& roles)
{
    QAbstractItemView::dataChanged(topLeft, bottomRight, roles);
}

void CListCtrlEx::contextMenuEvent(QContextMenuEvent* event)
{
    emit contextMenuRequested(event->globalPos());
    event->accept();
}

void CListCtrlEx::mousePressEvent(QMouseEvent* event)
{
    m_dragging = false;
    m_pressRow = event->button() == Qt::LeftButton ? indexAt(event->position().toPoint()).row() : -1;
    m_pressPos = event->position().toPoint();
    QListView::mousePressEvent(event);
}

// While a row is dragged the selection stays on it; the list shows where it would go.
void CListCtrlEx::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (m_pressRow != -1 && state() != QAbstractItemView::EditingState &&
        (pos - m_pressPos).manhattanLength() >= QApplication::startDragDistance()) {
        m_dragging = true;
        viewport()->setCursor(Qt::DragMoveCursor);
        scrollTo(model()->index(DropRow(pos), 0));
        event->accept();
        return;
    }
    QListView::mouseMoveEvent(event);
}

void CListCtrlEx::mouseReleaseEvent(QMouseEvent* event)
{
    const int from = m_pressRow;
    const int to = m_dragging ? DropRow(event->position().toPoint()) : -1;
    m_pressRow = -1;
    m_dragging = false;
    viewport()->unsetCursor();
    QListView::mouseReleaseEvent(event);
    if (to != -1 && to != from)
        emit rowDragged(from, to);
}

int CListCtrlEx::DropRow(const QPoint& pos) const
{
    const int row = indexAt(pos).row();
    if (row != -1 || GetItemCount() == 0)
        return row;
    return pos.y() < 0 ? 0 : GetItemCount() - 1;
}
