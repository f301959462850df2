#include "app/ApplicationMenu.h"

#include "menu/StatusMenuController.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>

namespace plimsy {

namespace {

// Ctrl+Q quits from any window of the application. A parentless menu bar is never shown, so its own
// shortcuts would not reach the windows.
class QuitKeyFilter final : public QObject
{
public:
    explicit QuitKeyFilter(QObject *parent)
        : QObject(parent)
    {
        qApp->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const auto *key = static_cast<QKeyEvent *>(event);
            if (key->key() == Qt::Key_Q && key->modifiers() == Qt::ControlModifier) {
                QCoreApplication::quit();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

// Runs the slot of that name on the focused widget, when it has one (line edits and text editors do).
void sendToFocusWidget(const char *slot)
{
    QWidget *focus = QApplication::focusWidget();
    if (focus && focus->metaObject()->indexOfSlot(QByteArray(slot) + "()") >= 0) {
        QMetaObject::invokeMethod(focus, slot);
    }
}

void addEditItem(QMenu *menu, const QString &title, const char *slot, const QKeySequence &keys)
{
    QAction *item = menu->addAction(title);
    item->setShortcut(keys);
    item->setShortcutContext(Qt::WidgetShortcut);
    QObject::connect(item, &QAction::triggered, menu, [slot] { sendToFocusWidget(slot); });
}

} // namespace

ApplicationMenu::ApplicationMenu(StatusMenuController *target)
    : m_target(target)
{
}

std::unique_ptr<QMenuBar> ApplicationMenu::build() const
{
    auto bar = std::make_unique<QMenuBar>();
    bar->setObjectName(QStringLiteral("applicationMenuBar"));
    QMenu *application = bar->addMenu(QStringLiteral("Application"));
    StatusMenuController *target = m_target;
    QAction *about = application->addAction(QStringLiteral("About…"));
    QObject::connect(about, &QAction::triggered, target, [target, about] { target->about(about); });
    application->addSeparator();
    QAction *preferences = application->addAction(QStringLiteral("Preferences…"));
    QObject::connect(
        preferences, &QAction::triggered, target, [target, preferences] { target->preferences(preferences); });
    application->addSeparator();
    QAction *quit = application->addAction(QStringLiteral("Quit"));
    QObject::connect(quit, &QAction::triggered, target, [target, quit] { target->quit(quit); });
    return bar;
}

std::unique_ptr<QMenuBar> ApplicationMenu::buildMainMenu()
{
    auto bar = std::make_unique<QMenuBar>();
    bar->setObjectName(QStringLiteral("mainMenuBar"));
    QMenu *application = bar->addMenu(QString());
    QAction *quit = application->addAction(QStringLiteral("Quit Plimsy"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setShortcutContext(Qt::WidgetShortcut);
    QObject::connect(quit, &QAction::triggered, bar.get(), [] { QCoreApplication::quit(); });
    new QuitKeyFilter(bar.get());

    QMenu *edit = bar->addMenu(QStringLiteral("Edit"));
    edit->setObjectName(QStringLiteral("editMenu"));
    addEditItem(edit, QStringLiteral("Undo"), "undo", QKeySequence(Qt::CTRL | Qt::Key_Z));
    addEditItem(edit, QStringLiteral("Redo"), "redo", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    edit->addSeparator();
    addEditItem(edit, QStringLiteral("Cut"), "cut", QKeySequence(Qt::CTRL | Qt::Key_X));
    addEditItem(edit, QStringLiteral("Copy"), "copy", QKeySequence(Qt::CTRL | Qt::Key_C));
    addEditItem(edit, QStringLiteral("Paste"), "paste", QKeySequence(Qt::CTRL | Qt::Key_V));
    addEditItem(edit, QStringLiteral("Select All"), "selectAll", QKeySequence(Qt::CTRL | Qt::Key_A));
    return bar;
}

} // namespace plimsy
