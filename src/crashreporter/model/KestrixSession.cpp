#include "crashreporter/model/KestrixSession.h"

#include "crashreporter/core/KXJSONEncoder.h"
#include "crashreporter/model/KXJSONFields.h"
#include "crashreporter/support/KXJSONWriter.h"
#include "crashreporter/support/KXRunContext.h"
#include "crashreporter/support/KX_RFC3339DateTool.h"

#include <QTimeZone>

#include <cmath>
#include <cstring>

namespace kestrix {

namespace {

// Seconds from 1970 to 1 January 2001, the epoch of the run context's times.
constexpr double AbsoluteTimeEpoch = 978307200.0;
constexpr size_t SessionIdCapacity = sizeof(KXRunContextData::sessionId);

QDateTime dateFromAbsoluteTime(double seconds)
{
    if (!std::isfinite(seconds)) {
        return {};
    }
    return QDateTime::fromMSecsSinceEpoch(std::llround((seconds + AbsoluteTimeEpoch) * 1000), QTimeZone::utc());
}

double absoluteTimeFromDate(const QDateTime &date)
{
    return static_cast<double>(date.toMSecsSinceEpoch()) / 1000.0 - AbsoluteTimeEpoch;
}

// RFC 3339 text, or null when the date cannot be formatted.
void writeStartedAt(KXJSONWriter &writer, const QDateTime &date)
{
    const QString text = KX_RFC3339DateTool::stringFromDate(date);
    if (text.isEmpty()) {
        writer.null("startedAt");
    } else {
        writer.value("startedAt", text);
    }
}

uint64_t count(const QJsonObject &object, const char *key)
{
    const auto value = kxInteger(object, key);
    return value && *value > 0 ? static_cast<uint64_t>(*value) : 0;
}

void storeDouble(double *field, double value)
{
    uint64_t bits;
    memcpy(&bits, &value, sizeof(bits));
    __atomic_store_n(reinterpret_cast<uint64_t *>(field), bits, __ATOMIC_SEQ_CST);
}

double loadDouble(const double *field)
{
    const uint64_t bits = __atomic_load_n(reinterpret_cast<const uint64_t *>(field), __ATOMIC_SEQ_CST);
    double value;
    memcpy(&value, &bits, sizeof(value));
    return value;
}

} // namespace

KestrixSession::KestrixSession(QString id,
                               QDateTime startedAt,
                               std::optional<KestrixUser> user,
                               std::optional<KestrixApp> app,
                               std::optional<KestrixDevice> device)
    : id(std::move(id))
    , startedAt(std::move(startedAt))
    , app(std::move(app))
    , device(std::move(device))
    , user(std::move(user))
{
}

KestrixSession KestrixSession::copy() const
{
    KestrixSession session = *this;
    session.stopped = false;
    return session;
}

void KestrixSession::setUser(const std::optional<QString> &userId,
                             const std::optional<QString> &email,
                             const std::optional<QString> &name)
{
    user = KestrixUser{userId, name, email};
}

QJsonObject KestrixSession::toJson() const
{
    return kxJsonObject(*this);
}

void KestrixSession::writeJson(KXJSONWriter &writer, const char *key) const
{
    writer.beginObject(key);
    if (app) {
        app->writeJson(writer, "app");
    } else {
        writer.value("app", QJsonObject());
    }
    if (device) {
        device->writeJson(writer, "device");
    } else {
        writer.value("device", QJsonObject());
    }
    writer.value("handledCount", static_cast<qint64>(handledCount));
    writer.value("id", id);
    writeStartedAt(writer, startedAt);
    writer.value("unhandledCount", static_cast<qint64>(unhandledCount));
    if (user) {
        user->writeJson(writer, "user");
    } else {
        writer.value("user", QJsonObject());
    }
    writer.endObject();
}

QJsonObject KestrixSession::toEventJson() const
{
    KXJSONWriter writer;
    writeEventJson(writer);
    return writer.object();
}

void KestrixSession::writeEventJson(KXJSONWriter &writer, const char *key) const
{
    writer.beginObject(key);
    writer.beginObject("events");
    writer.value("handled", static_cast<qint64>(handledCount));
    writer.value("unhandled", static_cast<qint64>(unhandledCount));
    writer.endObject();
    writer.value("id", id);
    writeStartedAt(writer, startedAt);
    writer.endObject();
}

std::optional<KestrixSession> KestrixSession::fromJson(const QJsonObject &json)
{
    const auto id = kxString(json, "id");
    const QDateTime startedAt = KX_RFC3339DateTool::dateFromString(kxString(json, "startedAt").value_or(QString()));
    if (!id || !startedAt.isValid()) {
        return std::nullopt;
    }
    KestrixSession session(*id,
                           startedAt,
                           KestrixUser::fromJson(kxObject(json, "user")),
                           KestrixApp::fromJson(kxObject(json, "app")),
                           KestrixDevice::fromJson(kxObject(json, "device")));
    session.handledCount = count(json, "handledCount");
    session.unhandledCount = count(json, "unhandledCount");
    return session;
}

std::optional<KestrixSession> KestrixSession::fromEventJson(const QJsonObject &json,
                                                            const std::optional<KestrixApp> &app,
                                                            const std::optional<KestrixDevice> &device,
                                                            const std::optional<KestrixUser> &user)
{
    const auto id = kxString(json, "id");
    const QDateTime startedAt = KX_RFC3339DateTool::dateFromString(kxString(json, "startedAt").value_or(QString()));
    if (!id || !startedAt.isValid()) {
        return std::nullopt;
    }
    KestrixSession session(*id, startedAt, user, app, device);
    session.handledCount = count(kxObject(json, "events"), "handled");
    session.unhandledCount = count(kxObject(json, "events"), "unhandled");
    return session;
}

std::optional<KestrixSession> KestrixSession::fromCrashReport(const QJsonObject &userSection,
                                                              const std::optional<KestrixApp> &app,
                                                              const std::optional<KestrixDevice> &device,
                                                              const std::optional<KestrixUser> &user)
{
    const auto id = kxString(userSection, "id");
    const QJsonValue started = userSection.value(QStringLiteral("startedAt"));
    QDateTime startedAt;
    if (started.isDouble()) {
        startedAt = dateFromAbsoluteTime(started.toDouble());
    } else if (started.isString()) {
        startedAt = KX_RFC3339DateTool::dateFromString(started.toString());
    }
    if (!id || !startedAt.isValid()) {
        return std::nullopt;
    }
    KestrixSession session(*id, startedAt, user, app, device);
    session.handledCount = count(userSection, "handledCount");
    session.unhandledCount = count(userSection, "unhandledCount");
    return session;
}

std::optional<KestrixSession> KestrixSession::fromRunContext(const KXRunContextData *context,
                                                             const std::optional<KestrixApp> &app,
                                                             const std::optional<KestrixDevice> &device,
                                                             const std::optional<KestrixUser> &user)
{
    if (context == nullptr || context->sessionId[0] == 0 || !(context->sessionStartTime > 0)) {
        return std::nullopt;
    }
    const QString id =
        QString::fromUtf8(context->sessionId, static_cast<qsizetype>(strnlen(context->sessionId, SessionIdCapacity)));
    KestrixSession session(id, dateFromAbsoluteTime(context->sessionStartTime), user, app, device);
    session.handledCount = context->handledCount;
    session.unhandledCount = context->unhandledCount;
    return session;
}

void KestrixSession::updateRunContext(const KestrixSession *session)
{
    KXRunContextData *context = kxrunContext();
    if (context == nullptr) {
        return;
    }
    // A crash between these stores sees no session (start time 0) rather than a half-written one.
    storeDouble(&context->sessionStartTime, 0);
    if (session == nullptr) {
        memset(context->sessionId, 0, SessionIdCapacity);
    } else {
        // Session ids are UUID text (36 bytes); anything longer is cut to fit with its terminator.
        const QByteArray id = session->id.toUtf8();
        char field[SessionIdCapacity] = {};
        memcpy(field, id.constData(), std::min(static_cast<size_t>(id.size()), SessionIdCapacity - 1));
        memcpy(context->sessionId, field, SessionIdCapacity);
        __atomic_store_n(&context->handledCount, session->handledCount, __ATOMIC_SEQ_CST);
        __atomic_store_n(&context->unhandledCount, session->unhandledCount, __ATOMIC_SEQ_CST);
        storeDouble(&context->sessionStartTime, absoluteTimeFromDate(session->startedAt));
    }
    KXRunContext::updateTimestamp();
}

void KestrixSession::writeCrashTime(const KXCrashReportWriter *writer)
{
    const KXRunContextData *context = kxrunContext();
    if (context == nullptr) {
        return;
    }
    const double startedAt = loadDouble(&context->sessionStartTime);
    char id[SessionIdCapacity];
    memcpy(id, context->sessionId, SessionIdCapacity);
    id[SessionIdCapacity - 1] = 0;
    if (id[0] == 0 || !(startedAt > 0)) {
        return;
    }
    writer->addStringElement(writer, "id", id);
    // The writer's doubles keep 7 digits, about 100 seconds here: write the time whole.
    char number[32];
    KXJSONEncoder::formatDouble(startedAt, 15, number);
    writer->addJSONElement(writer, "startedAt", number);
    writer->addUIntegerElement(writer, "handledCount", __atomic_load_n(&context->handledCount, __ATOMIC_SEQ_CST));
    writer->addUIntegerElement(
        writer, "unhandledCount", __atomic_load_n(&context->unhandledCount, __ATOMIC_SEQ_CST) + 1);
}

} // namespace kestrix
