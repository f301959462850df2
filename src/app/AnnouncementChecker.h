#pragma once

#include <QCoro/QCoroTask>
#include <QString>
#include <QUrl>

namespace plimsy {

class Clock;
class HttpSession;
class UserDefaults;

// At most once a week asks the account backend whether there is an announcement, and posts
// "AnnouncementAvailable" with its address (user info "URL") when the answer is an https address.
// GUI thread.
class AnnouncementChecker
{
public:
    static constexpr auto LastCheckKey = "LastAnnouncementCheck";
    // Seven days, in seconds.
    static constexpr qint64 CheckInterval = 604800;

    // `session` and `defaults` must outlive the check's request; empty takes the process's own.
    AnnouncementChecker(QString endPointURL,
                        HttpSession *session,
                        UserDefaults &defaults,
                        const Clock *clock = nullptr);

    // Due when never checked, when the last check lies more than a week back, or when it lies in the
    // future (the clock was set back).
    bool shouldCheck() const;

    // Records the time of the check and sends the request; the answer is handled by the returned task,
    // which needs nothing of this checker. Nothing is sent, recorded or posted for an invalid endpoint.
    QCoro::Task<> check();

private:
    static QCoro::Task<> fetch(QUrl url, HttpSession *session);
    qint64 now() const;

    QString m_endPointURL;
    HttpSession *m_session;
    UserDefaults &m_defaults;
    const Clock *m_clock;
};

} // namespace plimsy
