#include "crashreporter/client/KXInternalErrorReporter.h"

#include "crashreporter/client/KXEventUploader.h"
#include "crashreporter/support/KXLogger.h"
#include "crashreporter/support/KXPersistentDeviceID.h"
#include "crashreporter/support/KX_SystemInfo.h"

#include <QJsonArray>
#include <QSysInfo>

#include <cxxabi.h>

#include <mutex>
#include <typeinfo>

namespace kestrix {

namespace {

std::mutex s_mutex;
std::shared_ptr<KXInternalErrorReporter> s_shared;
std::function<void(KXInternalErrorReporter &)> s_waitingBlock;

QString demangled(const char *name)
{
    int status = 0;
    char *readable = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    const QString result = QString::fromUtf8(status == 0 && readable != nullptr ? readable : name);
    free(readable);
    return result;
}

} // namespace

KXInternalErrorReporter::KXInternalErrorReporter(QString apiKey, QUrl endpoint, KXDeliveryQueue &queue)
    : m_apiKey(std::move(apiKey))
    , m_endpoint(std::move(endpoint))
    , m_queue(queue)
{
}

std::shared_ptr<KXInternalErrorReporter> KXInternalErrorReporter::sharedInstance()
{
    std::lock_guard lock(s_mutex);
    return s_shared;
}

void KXInternalErrorReporter::setSharedInstance(std::shared_ptr<KXInternalErrorReporter> reporter)
{
    std::function<void(KXInternalErrorReporter &)> block;
    {
        std::lock_guard lock(s_mutex);
        s_shared = reporter;
        if (reporter) {
            block = std::exchange(s_waitingBlock, {});
        }
    }
    if (block) {
        block(*reporter);
    }
}

void KXInternalErrorReporter::performBlock(std::function<void(KXInternalErrorReporter &)> block)
{
    std::shared_ptr<KXInternalErrorReporter> reporter;
    {
        std::lock_guard lock(s_mutex);
        reporter = s_shared;
        if (!reporter) {
            s_waitingBlock = std::move(block);
            return;
        }
    }
    block(*reporter);
}

KestrixEvent KXInternalErrorReporter::eventWithErrorClass(const QString &errorClass,
                                                          const QString &message,
                                                          std::vector<KestrixStackframe> stacktrace,
                                                          const QJsonObject &diagnostics,
                                                          const std::optional<QString> &groupingHash) const
{
    KestrixDeviceWithState device;
    device.id = KXPersistentDeviceID::current().internal();
    device.manufacturer = KestrixDevice::currentManufacturer();
    device.osName = QSysInfo::productType();
    device.osVersion = QSysInfo::productVersion();
    device.model = KX_SystemInfo::model().left(31);

    KestrixError error;
    error.errorClass = errorClass;
    error.errorMessage = message;
    error.stacktrace = std::move(stacktrace);

    KestrixMetadata metadata;
    QJsonObject section = diagnostics;
    section.insert(QStringLiteral("apiKey"), m_apiKey);
    metadata.addMetadata(section, QStringLiteral("KestrixDiagnostics"));

    KestrixEvent event(KestrixAppWithState(),
                       device,
                       KestrixHandledState::withReason(KestrixSeverityReason::HandledError),
                       KestrixUser(),
                       metadata,
                       {},
                       {std::move(error)},
                       {},
                       std::nullopt);
    event.groupingHash = groupingHash;
    return event;
}

void KXInternalErrorReporter::reportErrorWithClass(const QString &errorClass,
                                                   const std::optional<QString> &context,
                                                   const QString &message,
                                                   const QJsonObject &diagnostics)
{
    KestrixEvent event = eventWithErrorClass(errorClass, message, {}, diagnostics, std::nullopt);
    event.context = context;
    send(event);
}

void KXInternalErrorReporter::reportException(const std::exception &exception,
                                              const QJsonObject &diagnostics,
                                              const QString &groupingHash)
{
    send(eventWithErrorClass(
        demangled(typeid(exception).name()), QString::fromUtf8(exception.what()), {}, diagnostics, groupingHash));
}

void KXInternalErrorReporter::reportRecrash(const QJsonObject &recrashReport)
{
    if (auto event = eventWithRecrashReport(recrashReport)) {
        send(*event);
    }
}

std::optional<KestrixEvent> KXInternalErrorReporter::eventWithRecrashReport(const QJsonObject &report) const
{
    if (report.value(QStringLiteral("report")).toObject().value(QStringLiteral("type")).toString()
        != QLatin1String("minimal")) {
        return std::nullopt;
    }
    const QJsonObject crash = report.value(QStringLiteral("crash")).toObject();
    const KXBinaryImageIndex images(report.value(QStringLiteral("binary_images")).toArray());
    std::vector<KestrixStackframe> frames =
        KestrixStacktrace::fromCrashReport(crash.value(QStringLiteral("crashed_thread"))
                                               .toObject()
                                               .value(QStringLiteral("backtrace"))
                                               .toObject()
                                               .value(QStringLiteral("contents"))
                                               .toArray(),
                                           images);
    const KestrixError crashError = KestrixError::fromCrashReport(report, {});
    KestrixEvent event = eventWithErrorClass(QStringLiteral("Crash handler crashed"),
                                             crashError.errorClass.value_or(QString()),
                                             std::move(frames),
                                             report,
                                             std::nullopt);
    event.handledState = KestrixHandledState::withReason(KestrixSeverityReason::Signal);
    return event;
}

void KXInternalErrorReporter::send(const KestrixEvent &event)
{
    if (!m_endpoint.isValid() || m_endpoint.isEmpty()) {
        kxLogError(QStringLiteral("Could not send an internal error report: no endpoint"));
        return;
    }
    QByteArray body = kxEventPayloadBody(m_apiKey, event.toJsonData({}), KestrixNotifier());
    const KXHeaderList headers = kxEventHeaders(m_apiKey, event);
    // The queue outlives every reporter; the reporter may go before its report is sent.
    auto post = [queue = &m_queue, endpoint = m_endpoint, body = std::move(body), headers] {
        queue->post(endpoint, body, headers);
    };
    if (m_queue.isCurrent()) {
        post();
    } else {
        m_queue.async(std::move(post));
    }
}

} // namespace kestrix
