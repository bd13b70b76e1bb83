#include "views/CNoteItemDelegate.h"

#include <QLineEdit>

#include <limits>

QSize CNoteItemDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    // The list gives each row its full width; a wide title must not widen the rows beyond it.
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setWidth(1);
    return size;
}

QWidget* CNoteItemDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                         const QModelIndex& index) const
{
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    // A title longer than the line edit's default limit must not be cut by a rename.
    if (auto* line = qobject_cast<QLineEdit*>(editor))
        line->setMaxLength(std::numeric_limits<int>::max());
    return editor;
}

void CNoteItemDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    if (option->state & QStyle::State_MouseOver)
        option->font.setUnderline(true);
}
