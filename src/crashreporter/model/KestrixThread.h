#pragma once

#include "crashreporter/model/KestrixStackframe.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace kestrix {

// One thread with its stack.
struct KestrixThread
{
    static constexpr size_t MaxLiveFrames = 150;

    bool errorReportingThread = false;
    std::optional<QString> id;
    std::optional<QString> name;
    std::optional<QString> state;
    std::vector<KestrixStackframe> stacktrace;
    // 0 "cocoa"; anything else is written as "reactnativejs".
    uint64_t type = 0;
    std::optional<QString> crashInfoMessage;

    // None for anything but an object.
    static std::optional<KestrixThread> fromJson(const QJsonValue &json);
    QJsonObject toDictionary() const;
    void writeJson(KXJSONWriter &writer, const char *key = nullptr) const;
    static void serializeThreads(KXJSONWriter &writer, const char *key, const std::vector<KestrixThread> &threads);

    // The report's "crash.threads", placed with its "binary_images".
    static std::vector<KestrixThread> threadsFromArray(const QJsonArray &threads, const QJsonArray &binaryImages);
    static KestrixThread fromCrashReport(const QJsonObject &thread, const KXBinaryImageIndex &images);
    // Marks the crashed thread's frames at its program counter and link register.
    static QJsonObject enhanceThreadInfo(const QJsonObject &thread);

    // The live threads: every thread of the process (stopped briefly to read their stacks; one that
    // does not answer gets an empty stack) or only the caller's. The caller's stack is the given
    // return addresses (at most 150), and it is the error-reporting thread.
    static std::vector<KestrixThread> allThreads(bool all, const std::vector<uintptr_t> &callStackReturnAddresses);
    // The main thread's stack as the error-reporting thread; none when called on the main thread.
    static std::optional<KestrixThread> mainThread();
    // Every thread, the main thread first as the error-reporting thread (the caller's own stack
    // walked in place); none when called on the main thread.
    static std::vector<KestrixThread> allThreadsFromMainThread();
};

} // namespace kestrix
