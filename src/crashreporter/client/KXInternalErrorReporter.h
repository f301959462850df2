#pragma once

#include "crashreporter/client/KXDeliveryQueue.h"
#include "crashreporter/model/KestrixEvent.h"

#include <QJsonObject>
#include <QString>
#include <QUrl>

#include <exception>
#include <functional>
#include <memory>
#include <optional>

namespace kestrix {

// Reports the crash reporter's own faults (a stored report it cannot read, a crash of its crash
// handler) to the event endpoint as ordinary events. Nothing is stored or retried.
class KXInternalErrorReporter
{
public:
    KXInternalErrorReporter(QString apiKey, QUrl endpoint, KXDeliveryQueue &queue);

    static std::shared_ptr<KXInternalErrorReporter> sharedInstance();
    // Runs the latest block handed to performBlock() before it.
    static void setSharedInstance(std::shared_ptr<KXInternalErrorReporter> reporter);
    // Runs the block with the shared instance; before there is one, keeps the latest block.
    static void performBlock(std::function<void(KXInternalErrorReporter &)> block);

    void reportErrorWithClass(const QString &errorClass,
                              const std::optional<QString> &context,
                              const QString &message,
                              const QJsonObject &diagnostics);
    void reportException(const std::exception &exception, const QJsonObject &diagnostics, const QString &groupingHash);
    void reportRecrash(const QJsonObject &recrashReport);

    // For a minimal report only: "Crash handler crashed", the crash's class as message, its stack.
    std::optional<KestrixEvent> eventWithRecrashReport(const QJsonObject &recrashReport) const;
    KestrixEvent eventWithErrorClass(const QString &errorClass,
                                     const QString &message,
                                     std::vector<KestrixStackframe> stacktrace,
                                     const QJsonObject &diagnostics,
                                     const std::optional<QString> &groupingHash) const;

private:
    void send(const KestrixEvent &event);

    QString m_apiKey;
    QUrl m_endpoint;
    KXDeliveryQueue &m_queue;
};

} // namespace kestrix
