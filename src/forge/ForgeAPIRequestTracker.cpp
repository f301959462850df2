#include "forge/ForgeAPIRequestTracker.h"

#include "forge/ForgeNumbers.h"

#include <QMutexLocker>

#include <algorithm>

namespace plimsy {

namespace {

double secondsBetween(const QDateTime &from, const QDateTime &to)
{
    return double(from.msecsTo(to)) / 1000.0;
}

QDateTime addSeconds(const QDateTime &date, double seconds)
{
    return date.addMSecs(qint64(std::llround(seconds * 1000.0)));
}

} // namespace

ForgeAPIRequestTracker &ForgeAPIRequestTracker::shared()
{
    static ForgeAPIRequestTracker s_shared;
    return s_shared;
}

void ForgeAPIRequestTracker::recordRequest(const QString &key, const QDateTime &date)
{
    QMutexLocker lock(&m_mutex);
    Quota &quota = m_quotas[key];
    quota.requestTimestamps.append(date);
    ++m_refreshRequestCount;
    const QDateTime oldestKept = addSeconds(date, -window);
    quota.requestTimestamps.removeIf([&oldestKept](const QDateTime &time) { return time < oldestKept; });
}

void ForgeAPIRequestTracker::recordResponse(const HttpResponse &response, const QString &key, const QDateTime &now)
{
    const std::optional<qint64> remaining = response.hasHeader("x-ratelimit-remaining")
                                                ? parseForgeInteger(response.header("x-ratelimit-remaining"))
                                                : std::nullopt;
    const std::optional<double> resetEpoch = response.hasHeader("x-ratelimit-reset")
                                                 ? parseForgeSeconds(response.header("x-ratelimit-reset"))
                                                 : std::nullopt;
    const std::optional<double> retryAfter =
        response.hasHeader("retry-after") ? parseForgeSeconds(response.header("retry-after")) : std::nullopt;

    std::optional<QDateTime> newReset;
    if (resetEpoch) {
        newReset = QDateTime::fromMSecsSinceEpoch(qint64(std::llround(*resetEpoch * 1000.0)), Qt::UTC);
    } else if (retryAfter) {
        newReset = addSeconds(now, *retryAfter);
    }
    if (newReset && secondsBetween(now, *newReset) > maxPlausibleReset) {
        newReset.reset();
    }

    QMutexLocker lock(&m_mutex);
    Quota quota = m_quotas.value(key);
    if (remaining) {
        m_refreshLowestRemaining = std::min(*remaining, m_refreshLowestRemaining.value_or(*remaining));
    }
    if (quota.resetAt && *quota.resetAt > now && !newReset) {
        return;
    }
    if (remaining) {
        quota.remaining = remaining;
        quota.resetAt = newReset;
    } else if (newReset) {
        quota.resetAt = newReset;
    }
    m_quotas.insert(key, quota);
}

double ForgeAPIRequestTracker::delayBeforeRequest(const QString &key, const QDateTime &now)
{
    QMutexLocker lock(&m_mutex);
    const auto found = m_quotas.find(key);
    if (found == m_quotas.end()) {
        return 0;
    }
    Quota &quota = found.value();
    if (!quota.remaining) {
        return 0;
    }
    if (*quota.remaining > lowRemainingThreshold) {
        --*quota.remaining;
        return 0;
    }
    if (quota.resetAt && now >= *quota.resetAt) {
        quota.remaining.reset();
        quota.resetAt.reset();
        return 0;
    }
    std::optional<QDateTime> waitUntil = quota.resetAt;
    if (!waitUntil && !quota.requestTimestamps.isEmpty()) {
        waitUntil = addSeconds(quota.requestTimestamps.first(), window);
    }
    if (!waitUntil || *waitUntil <= now) {
        quota.remaining.reset();
        return 0;
    }
    return std::min(secondsBetween(now, *waitUntil), maxDelay);
}

double ForgeAPIRequestTracker::retryDelay(const std::optional<QByteArray> &retryAfter,
                                          const QString &key,
                                          const QDateTime &now) const
{
    double delay = defaultRetryDelay;
    const std::optional<double> stated = retryAfter ? parseForgeSeconds(*retryAfter) : std::nullopt;
    if (stated) {
        delay = *stated;
    } else {
        QMutexLocker lock(&m_mutex);
        const auto found = m_quotas.constFind(key);
        if (found != m_quotas.constEnd() && found->resetAt && *found->resetAt > now) {
            delay = secondsBetween(now, *found->resetAt);
        }
    }
    return std::clamp(delay, 1.0, maxDelay);
}

void ForgeAPIRequestTracker::noteRefreshRetry(const QString &reason)
{
    QMutexLocker lock(&m_mutex);
    if (reason == QLatin1String("429")) {
        ++m_refreshThrottleCount;
    } else {
        ++m_refreshRetryCount;
    }
}

void ForgeAPIRequestTracker::resetRefreshCounters()
{
    QMutexLocker lock(&m_mutex);
    m_refreshRequestCount = 0;
    m_refreshThrottleCount = 0;
    m_refreshRetryCount = 0;
    m_refreshLowestRemaining.reset();
}

QString ForgeAPIRequestTracker::refreshSummary() const
{
    QMutexLocker lock(&m_mutex);
    const QString lowest = m_refreshLowestRemaining ? QStringLiteral("%1/%2").arg(*m_refreshLowestRemaining).arg(limit)
                                                    : QStringLiteral("unknown");
    return QStringLiteral("Refresh done: %1 requests, lowest remaining %2, %3 throttled, %4 retried")
        .arg(m_refreshRequestCount)
        .arg(lowest)
        .arg(m_refreshThrottleCount)
        .arg(m_refreshRetryCount);
}

std::optional<ForgeAPIRequestTracker::Quota> ForgeAPIRequestTracker::quota(const QString &key) const
{
    QMutexLocker lock(&m_mutex);
    const auto found = m_quotas.constFind(key);
    return found == m_quotas.constEnd() ? std::nullopt : std::optional<Quota>(*found);
}

int ForgeAPIRequestTracker::refreshRequestCount() const
{
    QMutexLocker lock(&m_mutex);
    return m_refreshRequestCount;
}

} // namespace plimsy
