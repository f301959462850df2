#include "notifications/LogWindowDispatcher.h"

#include "core/NotificationNames.h"
#include "core/RunDetached.h"
#include "core/TextFile.h"
#include "platform/NotificationCenter.h"

#include <QCoro/QCoroFuture>
#include <QFuture>
#include <QPointer>
#include <QPromise>
#include <QThreadPool>
#include <QTimer>

namespace plimsy {

LogWindowDispatcher::LogWindowDispatcher(QString uuid,
                                         QUrl url,
                                         std::unique_ptr<ConfigurationWindowController> configWindow,
                                         QObject *parent)
    : QObject(parent)
    , m_uuid(std::move(uuid))
    , m_url(std::move(url))
    , m_configWindow(configWindow.release())
{
}

LogWindowDispatcher::~LogWindowDispatcher() = default;

void LogWindowDispatcher::show()
{
    if (m_configWindow->refuseToOpen()) {
        // Nothing is shown: the status menu must not keep counting this window as open.
        QTimer::singleShot(0, this, &LogWindowDispatcher::configurationWindowDidClose);
        return;
    }
    m_configWindow->show();
    m_configWindow->beginLoading();
    m_configWindow->setWindowTitle(QStringLiteral("Site monitor log"));
    runDetached(load());
}

void LogWindowDispatcher::reloadConfiguration()
{
    show();
}

QCoro::Task<> LogWindowDispatcher::load()
{
    QPointer self(this);
    const QString path = m_url.toLocalFile();
    const std::optional<QString> text = co_await readTextFile(path);
    if (!self) {
        co_return;
    }
    // Loading ends either way: a window that stays "Loading…" would hide the failure.
    m_configWindow->setContent(ConfigurationType::ReadOnly,
                               text ? *text
                                    : QStringLiteral("Could not read this log file.\n"
                                                     "It is missing, unreadable or not UTF-8 text.\n\n")
                                          + path);
}

QCoro::Task<std::optional<QString>> LogWindowDispatcher::readTextFile(QString path)
{
    // Log files can be large; the GUI thread only waits for the result.
    auto promise = std::make_shared<QPromise<std::optional<QString>>>();
    QFuture<std::optional<QString>> future = promise->future();
    promise->start();
    QThreadPool::globalInstance()->start([promise, path] {
        promise->addResult(readUtf8File(path));
        promise->finish();
    });
    co_return co_await future;
}

void LogWindowDispatcher::configurationWindowDidClose()
{
    // The observer may destroy this dispatcher: nothing may touch it after the post.
    NotificationCenter::defaultCenter().post(NotificationNames::windowClosed, this, {{QStringLiteral("uuid"), m_uuid}});
}

} // namespace plimsy
