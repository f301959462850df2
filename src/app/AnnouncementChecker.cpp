#include "app/AnnouncementChecker.h"

#include "core/NotificationNames.h"
#include "platform/Clock.h"
#include "platform/HttpSession.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <QStringDecoder>

namespace plimsy {

AnnouncementChecker::AnnouncementChecker(QString endPointURL,
                                         HttpSession *session,
                                         UserDefaults &defaults,
                                         const Clock *clock)
    : m_endPointURL(std::move(endPointURL))
    , m_session(session ? session : &HttpSession::shared())
    , m_defaults(defaults)
    , m_clock(clock ? clock : &Clock::system())
{
}

qint64 AnnouncementChecker::now() const
{
    return m_clock->now().toSecsSinceEpoch();
}

bool AnnouncementChecker::shouldCheck() const
{
    const qint64 last = m_defaults.integer(QLatin1String(LastCheckKey));
    const qint64 elapsed = now() - last;
    // A check "in the future" would otherwise hold every announcement back until that date.
    return last == 0 || elapsed < 0 || elapsed > CheckInterval;
}

QCoro::Task<> AnnouncementChecker::check()
{
    const QUrl url(m_endPointURL, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty()) {
        return []() -> QCoro::Task<> { co_return; }();
    }
    QCoro::Task<> request = fetch(url, m_session);
    // Recorded whatever the outcome: a failed check waits a week like any other.
    m_defaults.setValue(QLatin1String(LastCheckKey), now());
    return request;
}

QCoro::Task<> AnnouncementChecker::fetch(QUrl url, HttpSession *session)
{
    HttpResponse response;
    try {
        response = co_await session->send(QNetworkRequest(url));
    } catch (const std::exception &) {
        co_return;
    }
    if (response.statusCode != 200 || response.body.isEmpty()) {
        co_return;
    }
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(response.body);
    if (decoder.hasError() || !text.startsWith(QLatin1String("https://"))) {
        co_return;
    }
    NotificationCenter::defaultCenter().post(
        NotificationNames::announcementAvailable, nullptr, {{QStringLiteral("URL"), text.trimmed()}});
}

} // namespace plimsy
