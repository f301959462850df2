#include "crashreporter/client/KXDeliveryQueue.h"

#include "crashreporter/support/KX_RFC3339DateTool.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <atomic>

namespace kestrix {

namespace {

std::atomic<int64_t> s_timeoutMillis{15'000};

KXDeliveryStatus statusForCode(int code)
{
    if (code >= 200 && code <= 299) {
        return KXDeliveryStatus::Delivered;
    }
    if (code >= 400 && code <= 499 && code != 402 && code != 407 && code != 408 && code != 429) {
        return KXDeliveryStatus::Undeliverable;
    }
    return KXDeliveryStatus::Failed;
}

} // namespace

KXDeliveryQueue::KXDeliveryQueue(const QString &name)
{
    setObjectName(name.left(15)); // Linux thread names stop at 15 bytes
    start();
}

KXDeliveryQueue::~KXDeliveryQueue()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_jobs.clear();
        m_delayed.clear();
    }
    m_changed.notify_all();
    wait();
}

void KXDeliveryQueue::async(std::function<void()> job)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping) {
            return;
        }
        m_jobs.push_back(std::move(job));
    }
    m_changed.notify_all();
}

void KXDeliveryQueue::asyncAfter(std::chrono::milliseconds delay, std::function<void()> job)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping) {
            return;
        }
        m_delayed.emplace_back(std::chrono::steady_clock::now() + delay, std::move(job));
    }
    m_changed.notify_all();
}

size_t KXDeliveryQueue::pendingCount() const
{
    std::lock_guard lock(m_mutex);
    return m_jobs.size();
}

bool KXDeliveryQueue::waitUntilIdle(std::chrono::milliseconds limit)
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, limit, [this] { return m_jobs.empty() && !m_busy; });
}

bool KXDeliveryQueue::isCurrent() const
{
    return QThread::currentThread() == this;
}

void KXDeliveryQueue::shutDown(std::chrono::milliseconds limit)
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_jobs.clear();
        m_delayed.clear();
        if (m_currentLoop != nullptr) {
            QMetaObject::invokeMethod(m_currentLoop, "quit", Qt::QueuedConnection);
        }
    }
    m_changed.notify_all();
    wait(QDeadlineTimer(limit));
}

void KXDeliveryQueue::setRequestTimeout(std::chrono::milliseconds timeout)
{
    s_timeoutMillis.store(timeout.count());
}

void KXDeliveryQueue::moveDueJobs()
{
    const auto now = std::chrono::steady_clock::now();
    for (auto it = m_delayed.begin(); it != m_delayed.end();) {
        if (it->first <= now) {
            m_jobs.push_back(std::move(it->second));
            it = m_delayed.erase(it);
        } else {
            ++it;
        }
    }
}

std::chrono::steady_clock::time_point KXDeliveryQueue::nextDeadline() const
{
    auto earliest = m_delayed.front().first;
    for (const auto &[when, job] : m_delayed) {
        earliest = std::min(earliest, when);
    }
    return earliest;
}

void KXDeliveryQueue::run()
{
    QNetworkAccessManager network;
    m_network = &network;
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(m_mutex);
            m_busy = false;
            m_changed.notify_all();
            while (!m_stopping && m_jobs.empty()) {
                moveDueJobs();
                if (!m_jobs.empty()) {
                    break;
                }
                if (m_delayed.empty()) {
                    m_changed.wait(lock);
                } else {
                    m_changed.wait_until(lock, nextDeadline());
                }
            }
            if (m_stopping) {
                break;
            }
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
            m_busy = true;
        }
        job();
    }
    m_network = nullptr;
}

KXDeliveryStatus
KXDeliveryQueue::post(const QUrl &url, const QByteArray &body, const KXHeaderList &headers, QString *error)
{
    Q_ASSERT(isCurrent());
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(static_cast<int>(s_timeoutMillis.load()));
    request.setRawHeader("Content-Type", "application/json");
    if (!body.isEmpty()) {
        request.setRawHeader("Kestrix-Integrity",
                             "sha1 " + QCryptographicHash::hash(body, QCryptographicHash::Sha1).toHex());
    }
    request.setRawHeader("Kestrix-Sent-At",
                         KX_RFC3339DateTool::stringFromDate(QDateTime::currentDateTimeUtc()).toUtf8());
    for (const auto &[name, value] : headers) {
        request.setRawHeader(name, value);
    }

    QNetworkReply *reply = m_network->post(request, body);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    // The transfer time-out covers a silent peer; this covers one that trickles.
    QTimer::singleShot(std::chrono::milliseconds(s_timeoutMillis.load() + 1000), reply, &QNetworkReply::abort);
    {
        std::lock_guard lock(m_mutex);
        m_currentLoop = m_stopping ? nullptr : &loop;
    }
    if (!reply->isFinished() && m_currentLoop != nullptr) {
        loop.exec();
    }
    {
        std::lock_guard lock(m_mutex);
        m_currentLoop = nullptr;
    }
    if (!reply->isFinished()) {
        reply->abort(); // shutting down
    }
    const QVariant code = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    KXDeliveryStatus status = KXDeliveryStatus::Failed;
    QString failure;
    if (code.isValid()) {
        status = statusForCode(code.toInt());
        if (status != KXDeliveryStatus::Delivered) {
            failure = QStringLiteral("Request failed: unacceptable status code %1 (%2)")
                          .arg(code.toInt())
                          .arg(reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString());
        }
    } else {
        failure = reply->error() != QNetworkReply::NoError ? reply->errorString()
                                                           : QStringLiteral("Request failed: no response was received");
    }
    delete reply;
    if (error != nullptr) {
        *error = failure;
    }
    return status;
}

} // namespace kestrix
