#pragma once

#include <QUrl>
#include <QWebEnginePage>

namespace plimsy {

class UrlOpener;

// The editor page's web page: it stays on the editor page. Links the user follows, in place or in a new
// window, go to the desktop through the URL opener.
class MonacoPage : public QWebEnginePage
{
    Q_OBJECT

public:
    MonacoPage(QUrl pageUrl, UrlOpener &urlOpener, QObject *parent = nullptr);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage *createWindow(WebWindowType type) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level,
                                  const QString &message,
                                  int lineNumber,
                                  const QString &sourceID) override;

private:
    QUrl m_pageUrl;
    UrlOpener &m_urlOpener;

    Q_DISABLE_COPY_MOVE(MonacoPage)
};

} // namespace plimsy
