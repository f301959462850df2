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

QPushButton *addSheetButton(QBoxLayout *row, const QString &text, const QString &objectName)
{
    auto *button = new QPushButton(text);
    button->setObjectName(objectName);
    button->setAutoDefault(false);
    row->addWidget(button);
    return button;
}

} // namespace plimsy
