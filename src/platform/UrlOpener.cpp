#include "platform/UrlOpener.h"

#include <QDesktopServices>
#include <QLoggingCategory>

namespace plimsy {

namespace {

Q_LOGGING_CATEGORY(lcUrlOpener, "plimsy.urlopener")

class DesktopUrlOpener final : public UrlOpener
{
public:
    bool openUrl(const QUrl &url) override
    {
        const bool opened = QDesktopServices::openUrl(url);
        if (!opened) {
            // The address may carry one-time values; the scheme and host say enough.
            qCWarning(lcUrlOpener).noquote() << "No handler opened a" << url.scheme() << "address of" << url.host();
        }
        return opened;
    }
};

} // namespace

UrlOpener &UrlOpener::system()
{
    static DesktopUrlOpener s_system;
    return s_system;
}

} // namespace plimsy
