#pragma once

#include <QStyledItemDelegate>

namespace plimsy {

// Draws one 36-pixel row: the command's icon at 12, 8 (20 × 20) and its label from 40, cut at the end.
class ActionBarCellView : public QStyledItemDelegate
{
    Q_OBJECT

public:
    static constexpr int RowHeight = 36;

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    Q_DISABLE_COPY_MOVE(ActionBarCellView)
};

} // namespace plimsy
