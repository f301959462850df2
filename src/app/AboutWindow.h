#pragma once

#include "app/TrackedWindow.h"
#include "platform/Clock.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <optional>

namespace plimsy {

class UrlOpener;

// What the About window shows, read when the window is made.
struct AboutWindowViewModel
{
    QString shortVersion;
    QString build;
    int currentYear = 0;

    // This build's version and build number and the current year.
    static AboutWindowViewModel current(const Clock &clock = Clock::system());

    // "2.1 (57)".
    QString versionLine() const;
    // "Plimsy Support (v2.1 build 57)".
    QString supportSubject() const;
    // A new mail to the support address with that subject; none when it is no valid address.
    std::optional<QUrl> supportURL() const;
    // The privacy page on the web base that "-useDevBackend" selects; none when it is no valid address.
    static std::optional<QUrl> privacyURL(const QStringList &arguments = QCoreApplication::arguments());
    static std::optional<QUrl> websiteURL();
};

// The About window: icon, name, version, notice, privacy link, and the Log Files, Website and Support
// buttons.
class AboutWindow final : public TrackedWindow
{
    Q_OBJECT

public:
    struct Services
    {
        // Browser and mail; the desktop's handlers when empty.
        UrlOpener *urlOpener = nullptr;
        // The "Log Files" button; the application's log folder when empty.
        std::function<void()> showLogFiles;
    };

    // This build's version, the desktop's handlers and the application's log folder.
    AboutWindow();
    AboutWindow(AboutWindowViewModel viewModel, Services services, QObject *parent = nullptr);

    const AboutWindowViewModel &viewModel() const { return m_viewModel; }

protected:
    std::unique_ptr<QWidget> makeWindow() override;

private:
    void openURL(const std::optional<QUrl> &url) const;

    AboutWindowViewModel m_viewModel;
    Services m_services;
};

} // namespace plimsy
