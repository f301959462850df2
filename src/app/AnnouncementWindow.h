#pragma once

#include "app/TrackedWindow.h"

#include <QUrl>

#include <optional>

namespace plimsy {

class UrlOpener;
class UserDefaults;

// The "New Version" window: the announcement's web page and a "Don't show again" button, which turns
// announcements off for good. The page stays on the announcement's origin; links and other addresses it
// is sent to open in the browser.
class AnnouncementWindow final : public TrackedWindow
{
    Q_OBJECT

public:
    static constexpr auto URLKey = "announcementURL";
    static constexpr auto DontShowKey = "DontShowAnnouncements";

    // `defaults` and `opener` must outlive the window; empty ones take the process-wide ones.
    explicit AnnouncementWindow(UserDefaults *defaults = nullptr,
                                UrlOpener *opener = nullptr,
                                QObject *parent = nullptr);

    // The stored announcement address, trimmed; none when missing or no valid URL.
    static std::optional<QUrl> announcementURL(const UserDefaults &defaults);

protected:
    std::unique_ptr<QWidget> makeWindow() override;

private:
    UserDefaults &m_defaults;
    UrlOpener &m_opener;
};

} // namespace plimsy
