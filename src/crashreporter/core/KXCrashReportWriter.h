#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrix {

struct KXCrashCoreContext;

// The operations a crash report is written with. The client's crash-time callback gets the same
// table to add its own section. Every operation is async-signal-safe.
struct KXCrashReportWriter
{
    void (*addBooleanElement)(const KXCrashReportWriter *writer, const char *key, bool value);
    void (*addFloatingPointElement)(const KXCrashReportWriter *writer, const char *key, double value);
    void (*addIntegerElement)(const KXCrashReportWriter *writer, const char *key, int64_t value);
    void (*addUIntegerElement)(const KXCrashReportWriter *writer, const char *key, uint64_t value);
    void (*addStringElement)(const KXCrashReportWriter *writer, const char *key, const char *value);
    void (*addTextFileElement)(const KXCrashReportWriter *writer, const char *key, const char *filePath);
    void (*addJSONFileElement)(const KXCrashReportWriter *writer, const char *key, const char *filePath);
    void (*addDataElement)(const KXCrashReportWriter *writer, const char *key, const char *value, size_t length);
    void (*beginDataElement)(const KXCrashReportWriter *writer, const char *key);
    void (*appendDataElement)(const KXCrashReportWriter *writer, const char *value, size_t length);
    void (*endDataElement)(const KXCrashReportWriter *writer);
    void (*addUUIDElement)(const KXCrashReportWriter *writer, const char *key, const unsigned char *uuid);
    void (*addJSONElement)(const KXCrashReportWriter *writer, const char *key, const char *jsonElement);
    void (*beginObject)(const KXCrashReportWriter *writer, const char *key);
    void (*beginArray)(const KXCrashReportWriter *writer, const char *key);
    void (*endContainer)(const KXCrashReportWriter *writer);
    void *context;
};

// Writes the section "user_atcrash"; told whether it runs where only async-signal-safe calls are allowed.
using KXCrashUserSectionCallback = void (*)(const KXCrashReportWriter *writer, bool requiresAsyncSafety);

// Writes the report of the crash recorded in the context to a new file at `path` (an existing
// file is never overwritten). The minimal report is for a crash during crash handling.
void kxreportWriteStandard(KXCrashCoreContext *context, const char *path);
void kxreportWriteMinimal(KXCrashCoreContext *context, const char *path);

// For a crash during crash handling, first of all: writes out what the interrupted standard
// report holds and closes it as valid JSON.
void kxreportFinishInterruptedStandard();

} // namespace kestrix
