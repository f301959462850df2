#include "editor/webengine/MonacoPage.h"

#include "editor/EditorWebPage.h"

namespace plimsy {

namespace {

bool isExternal(const QUrl &url)
{
    const QString scheme = url.scheme();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("mailto");
}

// Stands in for the new window a link asks for: hands the link's address on and goes away.
class ExternalLinkPage final : public QWebEnginePage
{
public:
    ExternalLinkPage(EditorPageClient &client, QObject *parent)
        : QWebEnginePage(parent)
        , m_client(client)
    {
    }

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType, bool) override
    {
        if (isExternal(url)) {
            m_client.pageLinkActivated(url);
        }
        deleteLater();
        return false;
    }

private:
    EditorPageClient &m_client;
};

} // namespace

MonacoPage::MonacoPage(QUrl pageUrl, EditorPageClient &client, QObject *parent)
    : QWebEnginePage(parent)
    , m_pageUrl(std::move(pageUrl))
    , m_client(client)
{
}

bool MonacoPage::acceptNavigationRequest(const QUrl &url, NavigationType type, bool)
{
    if (url.adjusted(QUrl::RemoveFragment) == m_pageUrl) {
        return true;
    }
    if (type == NavigationTypeLinkClicked && isExternal(url)) {
        m_client.pageLinkActivated(url);
    }
    return false;
}

QWebEnginePage *MonacoPage::createWindow(WebWindowType)
{
    return new ExternalLinkPage(m_client, this);
}

void MonacoPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level,
                                          const QString &message,
                                          int lineNumber,
                                          const QString &sourceID)
{
    // Only the page's own failures; its messages carry no text of the file being edited.
    if (level == ErrorMessageLevel) {
        m_client.pageScriptError(message, lineNumber, sourceID);
    }
}

} // namespace plimsy
