#include "preferences/SheetLayout.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace plimsy {

QBoxLayout *makeSheetLayout(QDialog *sheet, const QString &title, int minimumWidth)
{
    sheet->setWindowTitle(title);
    sheet->setMinimumWidth(minimumWidth);
    auto *layout = new QVBoxLayout(sheet);
    layout->setSpacing(12);
    layout->setContentsMargins(20, 20, 20, 20);
    auto *headline = new QLabel(title, sheet);
    headline->setTextFormat(Qt::PlainText);
    QFont font = headline->font();
    font.setBold(true);
    headline->setFont(font);
    layout->addWidget(headline);
    return layout;
}

void placeSheet(QDialog *sheet, const QWidget *tab)
{
    const QWidget *window = tab->window();
    // As showing would size it: a sheet that chose its own size keeps it.
    if (!sheet->testAttribute(Qt::WA_Resized)) {
        sheet->adjustSize();
    }
    const int top = tab->mapTo(window, QPoint(0, 0)).y();
    sheet->move(window->mapToGlobal(QPoint((window->width() - sheet->width()) / 2, top)));
}

QPushButton *addSheetButton(QBoxLayout *row, const QString &text, const QString &objectName)
{
    auto *button = new QPushButton(text);
    button->setObjectName(objectName);
    button->setAutoDefault(false);
    row->addWidget(button);
    return button;
}

} // namespace plimsy
