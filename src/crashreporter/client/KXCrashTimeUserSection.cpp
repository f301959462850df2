#include "crashreporter/client/KXCrashTimeUserSection.h"

#include "crashreporter/client/KestrixBreadcrumbs.h"
#include "crashreporter/core/KXRunContextData.h"
#include "crashreporter/model/KXCrashTimeText.h"
#include "crashreporter/model/KestrixSession.h"
#include "crashreporter/support/KXAtomicFeatureFlagStore.h"

#include <QFile>
#include <QJsonDocument>

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace kestrix {

std::atomic<char *> KXCrashTimeUserSection::metadataBuffer{nullptr};
std::atomic<char *> KXCrashTimeUserSection::stateBuffer{nullptr};

namespace {

std::atomic<char *> s_configuration{nullptr};
std::atomic<char *> s_usage{nullptr};
std::atomic<KestrixOnCrashHandler> s_crashHandler{nullptr};
char s_handledCrashFlagPath[PATH_MAX];

void replace(std::atomic<char *> &buffer, const QByteArray &text)
{
    char *copy = nullptr;
    if (!text.isEmpty()) {
        copy = static_cast<char *>(malloc(static_cast<size_t>(text.size()) + 1));
        if (copy == nullptr) {
            return;
        }
        memcpy(copy, text.constData(), static_cast<size_t>(text.size()) + 1);
    }
    kxReplaceCrashTimeText(buffer, copy);
}

void addJSON(const KXCrashReportWriter *writer, const char *key, const std::atomic<char *> &buffer)
{
    if (const char *json = kxBeginReadingCrashTimeText(buffer)) {
        writer->addJSONElement(writer, key, json);
    }
    kxEndReadingCrashTimeText();
}

} // namespace

void KXCrashTimeUserSection::setConfiguration(const KestrixConfiguration &configuration)
{
    replace(s_configuration, QJsonDocument(configuration.dictionaryRepresentation()).toJson(QJsonDocument::Compact));
}

void KXCrashTimeUserSection::setUsage(const QJsonObject &usage)
{
    replace(s_usage, usage.isEmpty() ? QByteArray() : QJsonDocument(usage).toJson(QJsonDocument::Compact));
}

void KXCrashTimeUserSection::setHandledCrashFlagPath(const QString &path)
{
    const QByteArray encoded = QFile::encodeName(path);
    const size_t length = std::min(static_cast<size_t>(encoded.size()), sizeof(s_handledCrashFlagPath) - 1);
    memcpy(s_handledCrashFlagPath, encoded.constData(), length);
    s_handledCrashFlagPath[length] = 0;
}

void KXCrashTimeUserSection::setCrashHandler(KestrixOnCrashHandler handler)
{
    s_crashHandler.store(handler);
}

void KXCrashTimeUserSection::write(const KXCrashReportWriter *writer, bool)
{
    KestrixSession::writeCrashTime(writer);
    addJSON(writer, "config", s_configuration);
    addJSON(writer, "metaData", metadataBuffer);
    addJSON(writer, "state", stateBuffer);

    const KXRunContextData *context = kxrunContext();
    writer->beginObject(writer, "app");
    if (context != nullptr) {
        const KXRunMemory memory = kxrunContextMemory(context);
        if (memory.memoryLimit != 0) {
            writer->addUIntegerElement(writer, "freeMemory", memory.memoryAvailable);
            writer->addUIntegerElement(writer, "memoryLimit", memory.memoryLimit);
        }
        if (memory.memoryFootprint != 0) {
            writer->addUIntegerElement(writer, "memoryUsage", memory.memoryFootprint);
        }
    }
    writer->endContainer(writer);
    // No performance library here, so no correlation.
    if (context != nullptr) {
        writer->addBooleanElement(writer, "isLaunching", __atomic_load_n(&context->isLaunching, __ATOMIC_RELAXED));
        writer->addIntegerElement(
            writer, "thermalState", static_cast<int64_t>(__atomic_load_n(&context->thermalState, __ATOMIC_RELAXED)));
    }
    KestrixBreadcrumbs::writeCrashTime(writer);
    KXAtomicFeatureFlagStore::writeCrashTime(writer);

    if (s_handledCrashFlagPath[0] != 0) {
        const int fd = open(s_handledCrashFlagPath, O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd >= 0) {
            close(fd);
        }
    }
    addJSON(writer, "_usage", s_usage);
    if (const KestrixOnCrashHandler handler = s_crashHandler.load()) {
        handler(writer);
    }
}

} // namespace kestrix
