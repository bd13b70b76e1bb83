#include "views/CFindAllDelegate.h"

#include "views/CFindAllModel.h"

#include <QApplication>
#include <QPainter>

void CFindAllDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const
{
    const QVariant range = index.data(CFindAllModel::MatchRole);
    if (!range.isValid()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    const QString text = opt.text;
    opt.text.clear();
    QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);

    const QPoint match = range.toPoint();
    const QString parts[] = {text.left(match.x()), text.mid(match.x(), match.y()),
                             text.mid(match.x() + match.y())};
    QFont bold = opt.font;
    bold.setBold(true);
    const bool selected = opt.state & QStyle::State_Selected;
    const QColor normal = opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);

    QRect area = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, opt.widget).adjusted(3, 0, -3, 0);
    painter->save();
    painter->setClipRect(area);
    for (int i = 0; i < 3 && area.width() > 0; ++i) {
        const QFont& font = i == 1 ? bold : opt.font;
        const int width = QFontMetrics(font).horizontalAdvance(parts[i]);
        const QRect box(area.left(), area.top(), width, area.height());
        if (i == 1)
            painter->fillRect(box, QColor(255, 214, 92));
        painter->setFont(font);
        painter->setPen(i == 1 ? QColor(Qt::black) : normal);
        painter->drawText(box, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, parts[i]);
        area.setLeft(area.left() + width);
    }
    painter->restore();
}
