#include "actionbar/ActionBarSearchField.h"

#include <QKeyEvent>

namespace plimsy {

ActionBarSearchField::ActionBarSearchField(QWidget *parent)
    : QLineEdit(parent)
{
    setObjectName(QStringLiteral("actionBarSearchField"));
}

bool ActionBarSearchField::event(QEvent *event)
{
    // Tab reaches QWidget::event, which would move the focus, before keyPressEvent sees it.
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
            Q_EMIT completionRequested();
            event->accept();
            return true;
        }
    }
    return QLineEdit::event(event);
}

void ActionBarSearchField::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        Q_EMIT executeRequested();
        break;
    case Qt::Key_Escape:
        Q_EMIT closeRequested();
        break;
    case Qt::Key_Up:
        Q_EMIT previousRequested();
        break;
    case Qt::Key_Down:
        Q_EMIT nextRequested();
        break;
    default:
        QLineEdit::keyPressEvent(event);
        return;
    }
    event->accept();
}

} // namespace plimsy
