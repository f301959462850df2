#include "notifications/SiteMonitor.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QProcess>
#include <QRegularExpression>

#include <coroutine>

namespace plimsy {

namespace {

const QString NoURL = QStringLiteral("Could not construct URL for site");

// "http://2001:db8::1" names no host: an IPv6 literal needs its brackets.
QString hostForAddress(const QString &address)
{
    QHostAddress parsed;
    if (parsed.setAddress(address) && parsed.protocol() == QAbstractSocket::IPv6Protocol) {
        return QLatin1Char('[') + address + QLatin1Char(']');
    }
    return address;
}

// curl expands "[1-9]" and "{a,b}" into many requests: after the host those characters go encoded.
QString curlURL(const QUrl &url)
{
    const QString text = url.toString(QUrl::FullyEncoded);
    const qsizetype pathStart = url.scheme().size() + 3 + url.authority(QUrl::FullyEncoded).size();
    QString rest = text.mid(pathStart);
    rest.replace(QLatin1Char('['), QLatin1String("%5B"))
        .replace(QLatin1Char(']'), QLatin1String("%5D"))
        .replace(QLatin1Char('{'), QLatin1String("%7B"))
        .replace(QLatin1Char('}'), QLatin1String("%7D"));
    return text.left(pathStart) + rest;
}

// Resumes the awaiting coroutine once the process has left `state`. The resumption is queued, so the
// coroutine never ends (and destroys its process) inside one of the process's own signals. A stop
// kills the process and resumes at once, even when the process had already ended: whoever stops a
// check finds it over.
class ProcessLeaves
{
public:
    ProcessLeaves(QProcess &process, QProcess::ProcessState state, const SiteCheckStop *stop)
        : m_process(process)
        , m_state(state)
        , m_stop(stop)
    {
    }
    // A frame destroyed while waiting must not leave the process or the stop calling into it.
    ~ProcessLeaves()
    {
        QObject::disconnect(m_connection);
        QObject::disconnect(m_stopConnection);
    }

    bool wasStopped() const { return m_wasStopped; }

    bool await_ready() const noexcept { return m_process.state() != m_state; }
    void await_suspend(std::coroutine_handle<> waiting)
    {
        m_connection = QObject::connect(
            &m_process, &QProcess::stateChanged, &m_process, [this, waiting](QProcess::ProcessState state) {
                if (state == m_state) {
                    return;
                }
                QObject::disconnect(m_connection);
                // A stop that comes first ends the frame and the process, and this call with them.
                QMetaObject::invokeMethod(
                    &m_process,
                    [this, waiting] {
                        QObject::disconnect(m_stopConnection);
                        waiting.resume();
                    },
                    Qt::QueuedConnection);
            });
        if (m_stop) {
            m_stopConnection = QObject::connect(m_stop, &SiteCheckStop::stopped, &m_process, [this, waiting] {
                QObject::disconnect(m_connection);
                QObject::disconnect(m_stopConnection);
                m_wasStopped = true;
                m_process.blockSignals(true);
                if (m_process.state() != QProcess::NotRunning) {
                    m_process.kill();
                    m_process.waitForFinished();
                }
                waiting.resume();
            });
        }
    }
    void await_resume() const noexcept {}

private:
    QProcess &m_process;
    QProcess::ProcessState m_state;
    const SiteCheckStop *m_stop;
    QMetaObject::Connection m_connection;
    QMetaObject::Connection m_stopConnection;
    bool m_wasStopped = false;
};

} // namespace

void SiteCheckStop::stop()
{
    m_isStopped = true;
    Q_EMIT stopped(QPrivateSignal());
}

SiteMonitor::SiteMonitor(Site site,
                         std::optional<QString> serverIPForDefaultSite,
                         QString curlPath,
                         Limits limits,
                         const SiteCheckStop *stop)
    : m_site(std::move(site))
    , m_curlPath(std::move(curlPath))
    , m_serverIPForDefaultSite(std::move(serverIPForDefaultSite))
    , m_limits(limits)
    , m_stop(stop)
{
}

QCoro::Task<std::optional<SiteCheckError>> SiteMonitor::checkSite()
{
    const std::variant<QUrl, SiteCheckError> address = siteURL();
    if (const auto *error = std::get_if<SiteCheckError>(&address)) {
        co_return *error;
    }
    QCoro::Task<CurlResult> probing = check(std::get<QUrl>(address));
    const CurlResult result = co_await std::move(probing);
    co_return mapResult(result.statusCode, result.error);
}

std::variant<QUrl, SiteCheckError> SiteMonitor::siteURL() const
{
    if (!m_site.name) {
        return ForgeAPIError(ForgeAPIError::Case::NoSitenameDefined);
    }
    QString text;
    const QString alias = m_site.URLAlias.value_or(QString());
    if (!alias.isEmpty()) {
        const bool hasScheme =
            alias.startsWith(QLatin1String("http://")) || alias.startsWith(QLatin1String("https://"));
        text = hasScheme ? alias : QStringLiteral("https://") + alias;
    } else if (*m_site.name == QLatin1String("default")) {
        if (m_serverIPForDefaultSite) {
            text = QStringLiteral("http://") + hostForAddress(*m_serverIPForDefaultSite);
        }
    } else {
        text = QStringLiteral("https://") + *m_site.name;
    }
    const QUrl url(text);
    if (text.isEmpty() || !url.isValid() || url.host().isEmpty()) {
        return ServerConnectionError{NoURL};
    }
    return url;
}

QStringList SiteMonitor::curlArguments(const QUrl &url) const
{
    return {QStringLiteral("-q"),
            QStringLiteral("-sSL"),
            QStringLiteral("--connect-timeout"),
            QString::number(m_limits.connect.count()),
            QStringLiteral("--max-time"),
            QString::number(m_limits.transfer.count()),
            QStringLiteral("-D"),
            QStringLiteral("-"),
            QStringLiteral("-o"),
            QStringLiteral("/dev/null"),
            curlURL(url)};
}

QCoro::Task<SiteMonitor::CurlResult> SiteMonitor::check(QUrl url) const
{
    // curl bounds its own run: no time-out here, which could only cut its answer short.
    if (m_stop && m_stop->isStopped()) {
        co_return CurlResult{};
    }
    QProcess process;
    process.setProgram(m_curlPath);
    process.setArguments(curlArguments(url));
    // A check still running when the application quits is never resumed, so its curl would outlive the
    // application. It ends with it, without a word: no result is read from a killed check.
    if (QCoreApplication *application = QCoreApplication::instance()) {
        QObject::connect(application, &QCoreApplication::aboutToQuit, &process, [&process] {
            process.blockSignals(true);
            process.kill();
        });
    }
    process.start(QIODevice::ReadOnly);
    // A program that cannot be run is reported after start() returns, as a change back to NotRunning.
    // Named awaiters: g++ 12 may destroy a temporary in a co_await twice.
    ProcessLeaves starting(process, QProcess::Starting, m_stop);
    co_await starting;
    if (starting.wasStopped()) {
        co_return CurlResult{};
    }
    if (process.state() != QProcess::Running) {
        co_return CurlResult{std::nullopt, ServerConnectionError{process.errorString()}};
    }
    ProcessLeaves running(process, QProcess::Running, m_stop);
    co_await running;
    if (running.wasStopped()) {
        co_return CurlResult{};
    }
    co_return readCurlOutput(process.readAllStandardOutput(), process.readAllStandardError());
}

SiteMonitor::CurlResult SiteMonitor::readCurlOutput(const QByteArray &standardOutput, const QByteArray &standardError)
{
    const QString headers = QString::fromUtf8(standardOutput);
    const QString errors = QString::fromUtf8(standardError);
    if (!errors.isEmpty()) {
        static const QRegularExpression errorNumber(QStringLiteral("curl: \\([0-9]+\\)"),
                                                    QRegularExpression::CaseInsensitiveOption);
        QString text = errors;
        text.remove(errorNumber);
        return {std::nullopt, ServerConnectionError{shortErrorText(text)}};
    }
    if (headers.isEmpty()) {
        return {std::nullopt, SiteMonitorError::UnKnown};
    }
    // Only a status line opens a response's header block (the first line, or the one after an empty
    // line); a header or trailer such as "HTTP-Status: 200 OK" or "HTTPS: on" never counts. Servers may
    // end lines with LF alone. After redirects the last response counts.
    static const QRegularExpression statusLine(QStringLiteral("^HTTP/[0-9](\\.[0-9])? +([0-9]{3})( |$)"));
    std::optional<int> finalStatus;
    bool opensBlock = true;
    for (QString line : headers.split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r'))) {
            line.chop(1);
        }
        if (line.isEmpty()) {
            opensBlock = true;
            continue;
        }
        if (opensBlock) {
            if (const QRegularExpressionMatch match = statusLine.match(line); match.hasMatch()) {
                finalStatus = match.captured(2).toInt();
            }
        }
        opensBlock = false;
    }
    if (!finalStatus) {
        return {std::nullopt, SiteMonitorError::UnKnown};
    }
    return {finalStatus, std::nullopt};
}

std::optional<SiteCheckError> SiteMonitor::mapResult(std::optional<int> statusCode, std::optional<SiteCheckError> error)
{
    if (error) {
        return error;
    }
    if (!statusCode) {
        return SiteMonitorError::NoResponseCode;
    }
    const int code = *statusCode;
    if ((code >= 200 && code <= 399) || code == 401 || code == 403) {
        return std::nullopt;
    }
    switch (code) {
    case 404:
        return SiteMonitorError::NotFound;
    case 500:
        return SiteMonitorError::InternalServerError;
    case 502:
        return SiteMonitorError::BadGateway;
    case 503:
        return ServerConnectionError{QStringLiteral("503 Service Unavailable")};
    default:
        return ServerConnectionError{QStringLiteral("HTTP ") + QString::number(code)};
    }
}

QString shortErrorText(const QString &text)
{
    QString shortened = text.trimmed();
    if (const qsizetype stop = shortened.indexOf(QLatin1String(". ")); stop >= 0) {
        shortened.truncate(stop);
    }
    if (const qsizetype lineEnd = shortened.indexOf(QLatin1Char('\n')); lineEnd >= 0) {
        shortened.truncate(lineEnd);
    }
    return shortened;
}

} // namespace plimsy
