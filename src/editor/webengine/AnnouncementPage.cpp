#include "editor/webengine/AnnouncementPage.h"

#include <QWebEngineSettings>

namespace plimsy {

namespace {

QUrl originOf(const QUrl &url)
{
    QUrl origin;
    origin.setScheme(url.scheme());
    origin.setHost(url.host());
    origin.setPort(url.port(url.scheme() == QLatin1String("https") ? 443 : 80));
    return origin;
}

void handOn(const QUrl &url, const std::function<void(const QUrl &)> &openElsewhere)
{
    const QString scheme = url.scheme();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("mailto")) {
        openElsewhere(url);
    }
}

// Stands in for the new window a link asks for: hands its address on and goes away.
class NewWindowPage final : public QWebEnginePage
{
public:
    NewWindowPage(std::function<void(const QUrl &)> openElsewhere, QObject *parent)
        : QWebEnginePage(parent)
        , m_openElsewhere(std::move(openElsewhere))
    {
    }

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType, bool) override
    {
        handOn(url, m_openElsewhere);
        deleteLater();
        return false;
    }

private:
    std::function<void(const QUrl &)> m_openElsewhere;
};

} // namespace

AnnouncementPage::AnnouncementPage(const QUrl &url, std::function<void(const QUrl &)> openElsewhere, QObject *parent)
    : QWebEnginePage(parent)
    , m_origin(originOf(url))
    , m_openElsewhere(std::move(openElsewhere))
{
    // Windows only for what the user clicks; a script's own go nowhere.
    settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    connect(this, &QWebEnginePage::loadFinished, this, [this] { m_hasLoaded = true; });
}

bool AnnouncementPage::acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame)
{
    if (!isMainFrame || originOf(url) == m_origin) {
        return true;
    }
    // A server that sends its first page on to its own https address: refused, the window would stay blank.
    if (type == NavigationTypeRedirect && !m_hasLoaded && m_origin.scheme() == QLatin1String("http")
        && url.scheme() == QLatin1String("https") && url.host() == m_origin.host()) {
        m_origin = originOf(url);
        return true;
    }
    handOn(url, m_openElsewhere);
    return false;
}

QWebEnginePage *AnnouncementPage::createWindow(WebWindowType)
{
    return new NewWindowPage(m_openElsewhere, this);
}

} // namespace plimsy
