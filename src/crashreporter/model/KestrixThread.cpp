#include "crashreporter/model/KestrixThread.h"

#include "crashreporter/model/KXJSONFields.h"
#include "crashreporter/support/KXJSONWriter.h"

namespace kestrix {

std::optional<KestrixThread> KestrixThread::fromJson(const QJsonValue &value)
{
    if (!value.isObject()) {
        return std::nullopt;
    }
    const QJsonObject json = value.toObject();
    KestrixThread thread;
    thread.type = kxString(json, "type") == QStringLiteral("cocoa") ? 0 : 2;
    thread.errorReportingThread = kxBool(json, "errorReportingThread").value_or(false);
    thread.stacktrace = KestrixStacktrace::fromJson(json.value(QStringLiteral("stacktrace")).toArray());
    thread.id = kxString(json, "id");
    thread.name = kxString(json, "name");
    thread.state = kxString(json, "state");
    return thread;
}

QJsonObject KestrixThread::toDictionary() const
{
    return kxJsonObject(*this);
}

void KestrixThread::writeJson(KXJSONWriter &writer, const char *key) const
{
    writer.beginObject(key);
    writer.optional("id", id);
    writer.optional("name", name);
    writer.value("errorReportingThread", errorReportingThread);
    writer.value("type", type == 0 ? QStringLiteral("cocoa") : QStringLiteral("reactnativejs"));
    writer.optional("state", state);
    KestrixStacktrace::write(writer, "stacktrace", stacktrace);
    writer.endObject();
}

void KestrixThread::serializeThreads(KXJSONWriter &writer, const char *key, const std::vector<KestrixThread> &threads)
{
    writer.beginArray(key);
    for (const KestrixThread &thread : threads) {
        thread.writeJson(writer);
    }
    writer.endArray();
}

std::vector<KestrixThread> KestrixThread::threadsFromArray(const QJsonArray &threads, const QJsonArray &binaryImages)
{
    const KXBinaryImageIndex images(binaryImages);
    std::vector<KestrixThread> result;
    result.reserve(static_cast<size_t>(threads.size()));
    for (const QJsonValue &thread : threads) {
        result.push_back(fromCrashReport(enhanceThreadInfo(thread.toObject()), images));
    }
    return result;
}

KestrixThread KestrixThread::fromCrashReport(const QJsonObject &json, const KXBinaryImageIndex &images)
{
    KestrixThread thread;
    thread.errorReportingThread = kxBool(json, "crashed").value_or(false);
    if (const auto index = kxInteger(json, "index")) {
        thread.id = QString::number(*index);
    }
    thread.name = kxString(json, "name");
    thread.state = kxString(json, "state");
    thread.crashInfoMessage = kxString(json, "crash_info_message");
    thread.stacktrace = KestrixStacktrace::fromCrashReport(
        kxObject(json, "backtrace").value(QStringLiteral("contents")).toArray(), images);
    return thread;
}

QJsonObject KestrixThread::enhanceThreadInfo(const QJsonObject &thread)
{
    if (!kxBool(thread, "crashed").value_or(false)) {
        return thread;
    }
    const QJsonObject registers = kxObjectAtPath(thread, QStringLiteral("registers.basic"));
    // x86_64 names its program counter "rip" and has no link register.
    const QJsonValue pc = registers.contains(QStringLiteral("rip")) ? registers.value(QStringLiteral("rip"))
                                                                    : registers.value(QStringLiteral("pc"));
    const QJsonValue lr = registers.value(QStringLiteral("lr"));
    QJsonObject backtrace = kxObject(thread, "backtrace");
    QJsonArray contents = backtrace.value(QStringLiteral("contents")).toArray();
    for (qsizetype i = 0; i < contents.size(); i++) {
        QJsonObject frame = contents.at(i).toObject();
        const QJsonValue address = frame.value(QStringLiteral("instruction_addr"));
        if (address.isUndefined()) {
            continue;
        }
        if (address == pc) {
            frame.insert(QStringLiteral("isPC"), true);
        }
        if (address == lr) {
            frame.insert(QStringLiteral("isLR"), true);
        }
        contents.replace(i, frame);
    }
    backtrace.insert(QStringLiteral("contents"), contents);
    QJsonObject enhanced = thread;
    enhanced.insert(QStringLiteral("backtrace"), backtrace);
    return enhanced;
}

} // namespace kestrix
