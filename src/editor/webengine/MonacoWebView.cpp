#include "editor/webengine/MonacoWebView.h"

#include "editor/webengine/MonacoPage.h"

#include <QContextMenuEvent>
#include <QFile>
#include <QWebChannel>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>

namespace plimsy {

namespace {

// Defines window.webkit.messageHandlers.NAME.postMessage for the protocol's five names over the web
// channel, queueing posts until the channel is up. Runs before any script of the page.
constexpr const char *MessageShim = R"JS(
(function () {
    'use strict';
    const names = ['contentChanged', 'save', 'close', 'reload', 'editorReady'];
    const queue = [];
    let host = null;
    function send(name) {
        if (host) {
            host.didReceiveScriptMessage(name);
        } else {
            queue.push(name);
        }
    }
    const handlers = {};
    for (const name of names) {
        handlers[name] = Object.freeze({ postMessage: function () { send(name); } });
    }
    Object.defineProperty(window, 'webkit', { value: Object.freeze({ messageHandlers: Object.freeze(handlers) }) });
    new QWebChannel(qt.webChannelTransport, function (channel) {
        host = channel.objects.plimsyHost;
        for (const name of queue.splice(0)) {
            host.didReceiveScriptMessage(name);
        }
    });
})();
)JS";

QString channelScriptSource()
{
    QFile channelScript(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
    if (!channelScript.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(channelScript.readAll()) + QString::fromLatin1(MessageShim);
}

} // namespace

MonacoChannelHost::MonacoChannelHost(EditorPageClient &client, QObject *parent)
    : QObject(parent)
    , m_client(client)
{
}

void MonacoChannelHost::didReceiveScriptMessage(const QString &name)
{
    m_client.pageMessage(name);
}

MonacoWebView::MonacoWebView(const QUrl &pageUrl, EditorPageClient &client, QWidget *parent)
    : QWebEngineView(parent)
    , m_client(client)
    , m_page(new MonacoPage(pageUrl, client, this))
{
    m_page->settings()->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, true);
    m_page->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    QWebEngineScript shim;
    shim.setName(QStringLiteral("plimsy-message-handlers"));
    shim.setSourceCode(channelScriptSource());
    shim.setInjectionPoint(QWebEngineScript::DocumentCreation);
    shim.setWorldId(QWebEngineScript::MainWorld);
    shim.setRunsOnSubFrames(false);
    m_page->scripts().insert(shim);
    auto *channel = new QWebChannel(m_page);
    channel->registerObject(QString::fromLatin1(MonacoChannelHost::ChannelName),
                            new MonacoChannelHost(client, channel));
    m_page->setWebChannel(channel, QWebEngineScript::MainWorld);
    setPage(m_page);

    m_pageConnections[0] =
        connect(m_page, &QWebEnginePage::loadFinished, this, [this](bool ok) { m_client.pageLoadFinished(ok); });
    m_pageConnections[1] = connect(m_page,
                                   &QWebEnginePage::renderProcessTerminated,
                                   this,
                                   [this](QWebEnginePage::RenderProcessTerminationStatus status, int exitCode) {
                                       if (status != QWebEnginePage::NormalTerminationStatus) {
                                           m_client.pageProcessEnded(exitCode);
                                       }
                                   });
}

MonacoWebView::~MonacoWebView()
{
    releasePage();
}

void MonacoWebView::loadPage(const QUrl &url)
{
    if (m_page) {
        m_page->load(url);
    }
}

void MonacoWebView::runScript(const QString &script, std::function<void(const QVariant &)> answer)
{
    if (!m_page) {
        return;
    }
    if (answer) {
        m_page->runJavaScript(script, std::move(answer));
    } else {
        m_page->runJavaScript(script);
    }
}

void MonacoWebView::setPageBackground(const QColor &color)
{
    if (m_page) {
        m_page->setBackgroundColor(color);
    }
}

void MonacoWebView::triggerEditAction(EditAction action)
{
    if (!m_page) {
        return;
    }
    switch (action) {
    case EditAction::Cut:
        m_page->triggerAction(QWebEnginePage::Cut);
        break;
    case EditAction::Copy:
        m_page->triggerAction(QWebEnginePage::Copy);
        break;
    case EditAction::Paste:
        m_page->triggerAction(QWebEnginePage::Paste);
        break;
    }
}

qint64 MonacoWebView::renderProcessPid() const
{
    return m_page ? m_page->renderProcessPid() : 0;
}

void MonacoWebView::releasePage()
{
    // The page's signals stop reaching the client first: it may already be on its way out.
    for (const QMetaObject::Connection &connection : m_pageConnections) {
        disconnect(connection);
    }
    delete m_page.data();
}

void MonacoWebView::contextMenuEvent(QContextMenuEvent *event)
{
    m_client.pageContextMenuRequested(event->globalPos());
}

} // namespace plimsy
