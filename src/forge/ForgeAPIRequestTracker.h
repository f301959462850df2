#pragma once

#include "platform/HttpSession.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QString>

#include <optional>

namespace plimsy {

// Remembers, per Forge account, what the API said about its request allowance and when requests went
// out, and from that computes pauses before requests and waits after HTTP 429. It also counts one
// refresh's requests for the refresh summary. It never waits and never logs: the request core does.
// Thread-safe: every call takes the tracker's lock for a short computation only.
class ForgeAPIRequestTracker
{
public:
    struct Quota
    {
        std::optional<qint64> remaining;
        std::optional<QDateTime> resetAt;
        QList<QDateTime> requestTimestamps; // oldest first, trimmed to the last window

        bool operator==(const Quota &) const = default;
    };

    static constexpr int limit = 60;
    static constexpr double window = 60.0;
    static constexpr qint64 lowRemainingThreshold = 3;
    static constexpr double maxDelay = 60.0;
    static constexpr double defaultRetryDelay = 15.0;
    // The allowance window is a minute; a reset reported further ahead than this is a wrong clock or a
    // wrong header, and trusting it would stall every request of the account.
    static constexpr double maxPlausibleReset = 5 * window;

    // The process's tracker; every controller uses it unless a test hands in its own.
    static ForgeAPIRequestTracker &shared();

    ForgeAPIRequestTracker() = default;

    void recordRequest(const QString &key, const QDateTime &date);
    void recordResponse(const HttpResponse &response, const QString &key, const QDateTime &now);
    // Seconds to pause before the next request of the key; 0 means none. Never above maxDelay.
    double delayBeforeRequest(const QString &key, const QDateTime &now);
    // Seconds to wait before retrying after HTTP 429, from 1 to maxDelay. Changes nothing.
    double retryDelay(const std::optional<QByteArray> &retryAfter, const QString &key, const QDateTime &now) const;
    // "429" counts a throttled retry, any other reason a connection retry.
    void noteRefreshRetry(const QString &reason);
    void resetRefreshCounters();
    QString refreshSummary() const;

    std::optional<Quota> quota(const QString &key) const;
    int refreshRequestCount() const;

private:
    mutable QMutex m_mutex;
    QHash<QString, Quota> m_quotas;
    int m_refreshRequestCount = 0;
    std::optional<qint64> m_refreshLowestRemaining;
    int m_refreshThrottleCount = 0;
    int m_refreshRetryCount = 0;

    Q_DISABLE_COPY_MOVE(ForgeAPIRequestTracker)
};

} // namespace plimsy
