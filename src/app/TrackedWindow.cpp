#include "app/TrackedWindow.h"

#include "core/Logger.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>

namespace plimsy {

TrackedWindow::TrackedWindow(QString name, QObject *parent)
    : QObject(parent)
    , m_name(std::move(name))
{
}

TrackedWindow::~TrackedWindow()
{
    if (m_window) {
        m_window->removeEventFilter(this);
    }
    if (m_tracker.isTrackedAsOpen()) {
        m_tracker.windowClosed();
    }
    printLine(QStringLiteral("Deinit of ") + m_name);
}

void TrackedWindow::showWindow()
{
    if (!m_window) {
        m_window = makeWindow();
        m_window->installEventFilter(this);
        if (const QScreen *screen = QGuiApplication::primaryScreen()) {
            QRect frame = m_window->frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            m_window->move(frame.topLeft());
        }
    }
    m_tracker.windowShown();
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void TrackedWindow::close()
{
    if (m_window) {
        m_window->close();
    }
}

std::unique_ptr<QWidget> TrackedWindow::makeFrame(const QString &objectName, const QString &title)
{
    auto window = std::make_unique<QWidget>(
        nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint);
    window->setObjectName(objectName);
    window->setWindowTitle(title);
    return window;
}

bool TrackedWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window.get() && event->type() == QEvent::Close) {
        m_tracker.windowClosed();
    }
    return QObject::eventFilter(watched, event);
}

} // namespace plimsy
