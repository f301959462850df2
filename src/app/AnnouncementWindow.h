#pragma once

#include "app/TrackedWindow.h"

#include <QUrl>

#include <optional>

namespace plimsy {

class UserDefaults;

// The "New Version" window: the announcement's web page and a "Don't show again" button, which turns
// announcements off for good.
class AnnouncementWindow final : public TrackedWindow
{
    Q_OBJECT

public:
    static constexpr auto URLKey = "announcementURL";
    static constexpr auto DontShowKey = "DontShowAnnouncements";

    // `defaults` must outlive the window; empty takes the standard ones.
    explicit AnnouncementWindow(UserDefaults *defaults = nullptr, QObject *parent = nullptr);

    // The stored announcement address, trimmed; none when missing or no valid URL.
    static std::optional<QUrl> announcementURL(const UserDefaults &defaults);

protected:
    std::unique_ptr<QWidget> makeWindow() override;

private:
    UserDefaults &m_defaults;
};

} // namespace plimsy
