#pragma once

#include "core/Site.h"
#include "notifications/SiteMonitorError.h"

#include <QCoro/QCoroTask>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <chrono>
#include <optional>
#include <variant>

namespace plimsy {

// curl's own limits for one probe.
struct CurlLimits
{
    std::chrono::seconds connect{10};
    std::chrono::seconds transfer{15};
};

// Ends the checks it was given to, at once: each one's curl is killed and reaped, and the check returns
// before stop() does. What a stopped check returns is no result and is dropped. GUI thread.
class SiteCheckStop : public QObject
{
    Q_OBJECT

public:
    void stop();
    bool isStopped() const { return m_isStopped; }

Q_SIGNALS:
    void stopped(QPrivateSignal);

private:
    bool m_isStopped = false;
};

// One check of one site: probes its address with curl as a child process and turns the final HTTP
// status, or curl's error text, into up (no error) or the error that says why it is down. GUI thread;
// the GUI thread never waits for curl.
class SiteMonitor
{
public:
    static constexpr char DefaultCurlPath[] = "/usr/bin/curl";

    using Limits = CurlLimits;

    // Exactly one of the two is present.
    struct CurlResult
    {
        std::optional<int> statusCode;
        std::optional<SiteCheckError> error;
    };

    // `stop`, when given, is not owned and must outlive the check.
    SiteMonitor(Site site,
                std::optional<QString> serverIPForDefaultSite,
                QString curlPath = QString::fromLatin1(DefaultCurlPath),
                Limits limits = {},
                const SiteCheckStop *stop = nullptr);

    // None when the site is up. Never throws.
    QCoro::Task<std::optional<SiteCheckError>> checkSite();

    // The address to probe, or why there is none.
    std::variant<QUrl, SiteCheckError> siteURL() const;
    QCoro::Task<CurlResult> check(QUrl url) const;
    // curl's output: the header blocks of every response ("-D -") and its error text.
    static CurlResult readCurlOutput(const QByteArray &standardOutput, const QByteArray &standardError);
    static std::optional<SiteCheckError> mapResult(std::optional<int> statusCode, std::optional<SiteCheckError> error);

    // curl's arguments: an argument list, never a shell line; "-q" first so that no ~/.curlrc changes
    // what is asked or printed.
    QStringList curlArguments(const QUrl &url) const;

    const Site &site() const { return m_site; }

private:
    Site m_site;
    QString m_curlPath;
    std::optional<QString> m_serverIPForDefaultSite;
    Limits m_limits;
    const SiteCheckStop *m_stop;
};

// The first sentence of a message, trimmed, up to its first line end.
QString shortErrorText(const QString &text);

} // namespace plimsy
