#pragma once

#include "editor/EditorWebPage.h"

#include <QPointer>
#include <QWebEngineView>

#include <array>

namespace plimsy {

class MonacoPage;

// The web view of the editor page, with the page's web channel: the page's messages, its load, its
// process and its context menu requests go to the client.
class MonacoWebView final : public QWebEngineView, public EditorWebPage
{
    Q_OBJECT

public:
    MonacoWebView(const QUrl &pageUrl, EditorPageClient &client, QWidget *parent);
    ~MonacoWebView() override;

    QWidget *widget() override { return this; }
    void loadPage(const QUrl &url) override;
    void runScript(const QString &script, std::function<void(const QVariant &)> answer) override;
    void setPageBackground(const QColor &color) override;
    void triggerEditAction(EditAction action) override;
    qint64 renderProcessPid() const override;
    void releasePage() override;

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    EditorPageClient &m_client;
    QPointer<MonacoPage> m_page;
    std::array<QMetaObject::Connection, 2> m_pageConnections;

    Q_DISABLE_COPY_MOVE(MonacoWebView)
};

// The host object the page reaches over the web channel: every window.webkit.messageHandlers.NAME call
// of the page arrives here with its name.
class MonacoChannelHost final : public QObject
{
    Q_OBJECT

public:
    // The name the page's shim looks the object up by.
    static constexpr const char *ChannelName = "plimsyHost";

    MonacoChannelHost(EditorPageClient &client, QObject *parent);

    // Called by the page.
    Q_INVOKABLE void didReceiveScriptMessage(const QString &name);

private:
    EditorPageClient &m_client;

    Q_DISABLE_COPY_MOVE(MonacoChannelHost)
};

} // namespace plimsy
