#include "actionbar/ActionBarCellView.h"

#include <QApplication>
#include <QIcon>
#include <QPainter>

namespace plimsy {

void ActionBarCellView::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    background.icon = QIcon();
    QStyle *style = option.widget ? option.widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &background, painter, option.widget);

    const QRect row = option.rect;
    const QIcon icon = index.data(Qt::DecorationRole).value<QIcon>();
    const bool selected = option.state & QStyle::State_Selected;
    icon.paint(painter,
               QRect(row.left() + 12, row.top() + 8, 20, 20),
               Qt::AlignCenter,
               selected ? QIcon::Selected : QIcon::Normal);

    QFont font = option.font;
    font.setPixelSize(13);
    painter->save();
    painter->setFont(font);
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    const QRect title(row.left() + 40, row.top() + 9, row.width() - 52, 18);
    const QString text =
        QFontMetrics(font).elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, title.width());
    painter->drawText(title, Qt::AlignLeft | Qt::AlignVCenter, text);
    painter->restore();
}

QSize ActionBarCellView::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const
{
    return {option.rect.width(), RowHeight};
}

} // namespace plimsy
