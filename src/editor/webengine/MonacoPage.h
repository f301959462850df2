#pragma once

#include <QUrl>
#include <QWebEnginePage>

namespace plimsy {

class EditorPageClient;

// The editor page's web page: it stays on the editor page. Links the user follows, in place or in a new
// window, go to the client; the page's own script errors too.
class MonacoPage : public QWebEnginePage
{
    Q_OBJECT

public:
    MonacoPage(QUrl pageUrl, EditorPageClient &client, QObject *parent = nullptr);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage *createWindow(WebWindowType type) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level,
                                  const QString &message,
                                  int lineNumber,
                                  const QString &sourceID) override;

private:
    QUrl m_pageUrl;
    EditorPageClient &m_client;

    Q_DISABLE_COPY_MOVE(MonacoPage)
};

} // namespace plimsy
