#include "editor/MonacoPage.h"

#include "core/Logger.h"
#include "platform/UrlOpener.h"

namespace plimsy {

namespace {

bool isExternal(const QUrl &url)
{
    const QString scheme = url.scheme();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("mailto");
}

// Stands in for the new window a link asks for: hands the link's address to the desktop and goes away.
class ExternalLinkPage final : public QWebEnginePage
{
public:
    ExternalLinkPage(UrlOpener &urlOpener, QObject *parent)
        : QWebEnginePage(parent)
        , m_urlOpener(urlOpener)
    {
    }

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType, bool) override
    {
        if (isExternal(url)) {
            m_urlOpener.openUrl(url);
        }
        deleteLater();
        return false;
    }

private:
    UrlOpener &m_urlOpener;
};

} // namespace

MonacoPage::MonacoPage(QUrl pageUrl, UrlOpener &urlOpener, QObject *parent)
    : QWebEnginePage(parent)
    , m_pageUrl(std::move(pageUrl))
    , m_urlOpener(urlOpener)
{
}

bool MonacoPage::acceptNavigationRequest(const QUrl &url, NavigationType type, bool)
{
    if (url.adjusted(QUrl::RemoveFragment) == m_pageUrl) {
        return true;
    }
    if (type == NavigationTypeLinkClicked && isExternal(url)) {
        m_urlOpener.openUrl(url);
    }
    return false;
}

QWebEnginePage *MonacoPage::createWindow(WebWindowType)
{
    return new ExternalLinkPage(m_urlOpener, this);
}

void MonacoPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level,
                                          const QString &message,
                                          int lineNumber,
                                          const QString &sourceID)
{
    // Only the page's own failures; its messages carry no text of the file being edited.
    if (level == ErrorMessageLevel) {
        printLine(QStringLiteral("MonacoEditorView: page error: %1 (%2:%3)").arg(message, sourceID).arg(lineNumber));
    }
}

} // namespace plimsy
