#pragma once

#include <QStyledItemDelegate>

// Paints a result's line with its match marked: bold on a highlight of its own, so it stands out
// on a selected row as well.
class CFindAllDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
};
