#pragma once

#include <QUrl>
#include <QWebEnginePage>

#include <functional>

namespace plimsy {

// A page shown in one of the application's own windows, which the user takes for the application: its
// main frame stays on the origin of the address it was opened with, or on its host's https origin where
// the server redirects the first load there. Any other address it is sent to, by
// a link, a script, a form or a new window, goes to `openElsewhere` (the browser) when it is a web or
// mail address, and is dropped otherwise.
class AnnouncementPage final : public QWebEnginePage
{
    Q_OBJECT

public:
    AnnouncementPage(const QUrl &url, std::function<void(const QUrl &)> openElsewhere, QObject *parent = nullptr);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage *createWindow(WebWindowType type) override;

private:
    QUrl m_origin;
    std::function<void(const QUrl &)> m_openElsewhere;
    bool m_hasLoaded = false;
};

} // namespace plimsy
