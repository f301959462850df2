#include "crashreporter/core/KXCrashReportWriter.h"

#include "crashreporter/core/KXBacktrace.h"
#include "crashreporter/core/KXBinaryImages.h"
#include "crashreporter/core/KXBufferedWriter.h"
#include "crashreporter/core/KXCrashCoreContext.h"
#include "crashreporter/core/KXJSONEncoder.h"
#include "crashreporter/core/KXMemory.h"
#include "crashreporter/core/KXRunContextData.h"
#include "crashreporter/core/KXSignalInfo.h"
#include "crashreporter/core/KXThreads.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/sysinfo.h>
#include <time.h>
#include <unistd.h>

#include <cstring>

namespace kestrix {

namespace {

constexpr int MaxBacktraceFrames = 150;
constexpr int OverflowWalkLength = 200;
constexpr size_t StandardBufferSize = 4096;
constexpr size_t MinimalBufferSize = 512;
constexpr size_t FileChunkSize = 512;
constexpr size_t MaxJSONErrorMessage = 99;

// The writer's state: the encoder and its output, the level below which a callback may not close
// containers, and where the operation under way began.
struct WriterState
{
    KXJSONEncoder *encoder;
    int floorLevel;
    KXBufferedWriter *output;
    KXJSONEncoder::Mark mark;
    size_t markOffset;
    bool inOperation;
};

// Marks where each operation starts, so that one a crash cuts short (a bad pointer handed to the
// user section, say) can be dropped and the report still be closed.
class Operation
{
public:
    explicit Operation(const KXCrashReportWriter *writer)
        : m_state(static_cast<WriterState *>(writer->context))
    {
        m_state->mark = m_state->encoder->mark();
        m_state->markOffset = m_state->output->written();
        m_state->inOperation = true;
    }

    ~Operation() { m_state->inOperation = false; }

    KXJSONEncoder *encoder() const { return m_state->encoder; }

    Operation(const Operation &) = delete;
    Operation &operator=(const Operation &) = delete;

private:
    WriterState *m_state;
};

void addBool(const KXCrashReportWriter *writer, const char *key, bool value)
{
    Operation(writer).encoder()->addBool(key, value);
}

void addDouble(const KXCrashReportWriter *writer, const char *key, double value)
{
    Operation(writer).encoder()->addDouble(key, value);
}

void addInt(const KXCrashReportWriter *writer, const char *key, int64_t value)
{
    Operation(writer).encoder()->addInteger(key, value);
}

void addUInt(const KXCrashReportWriter *writer, const char *key, uint64_t value)
{
    Operation(writer).encoder()->addUInteger(key, value);
}

void addString(const KXCrashReportWriter *writer, const char *key, const char *value)
{
    Operation(writer).encoder()->addString(key, value);
}

// Calls `piece` for each chunk of the file; false when it cannot be opened or read.
template <typename Piece> bool readFileInChunks(const char *path, Piece piece)
{
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    char buffer[FileChunkSize];
    bool ok = true;
    for (;;) {
        const ssize_t length = read(fd, buffer, sizeof(buffer));
        if (length < 0 && errno == EINTR) {
            continue;
        }
        if (length < 0) {
            ok = false;
        }
        if (length <= 0 || !piece(buffer, static_cast<size_t>(length))) {
            break;
        }
    }
    close(fd);
    return ok;
}

void addTextFile(const KXCrashReportWriter *writer, const char *key, const char *path)
{
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    close(fd);
    const Operation operation(writer);
    KXJSONEncoder *encoder = operation.encoder();
    if (encoder->beginString(key) != KXJSONOk) {
        return;
    }
    readFileInChunks(path, [encoder](const char *data, size_t length) {
        return encoder->appendStringElement(data, length) == KXJSONOk;
    });
    encoder->endString();
}

void addJSONFile(const KXCrashReportWriter *writer, const char *key, const char *path)
{
    // Checked whole first, so a damaged file cannot break the report around it.
    KXJSONRawValidator validator;
    if (!readFileInChunks(path,
                          [&validator](const char *data, size_t length) {
                              validator.feed(data, length);
                              return true;
                          })
        || !validator.finish()) {
        return;
    }
    const Operation operation(writer);
    KXJSONEncoder *encoder = operation.encoder();
    if (encoder->beginRawJSON(key) != KXJSONOk) {
        return;
    }
    readFileInChunks(
        path, [encoder](const char *data, size_t length) { return encoder->appendRawJSON(data, length) == KXJSONOk; });
}

void addData(const KXCrashReportWriter *writer, const char *key, const char *value, size_t length)
{
    Operation(writer).encoder()->addData(key, value, length);
}

void beginData(const KXCrashReportWriter *writer, const char *key)
{
    Operation(writer).encoder()->beginData(key);
}

void appendData(const KXCrashReportWriter *writer, const char *value, size_t length)
{
    Operation(writer).encoder()->appendData(value, length);
}

void endData(const KXCrashReportWriter *writer)
{
    Operation(writer).encoder()->endData();
}

void addUUID(const KXCrashReportWriter *writer, const char *key, const unsigned char *uuid)
{
    const Operation operation(writer);
    if (uuid == nullptr) {
        operation.encoder()->addNull(key);
        return;
    }
    static const char hex[] = "0123456789ABCDEF";
    char text[37];
    char *p = text;
    for (int i = 0; i < 16; i++) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            *p++ = '-';
        }
        *p++ = hex[uuid[i] >> 4];
        *p++ = hex[uuid[i] & 0xF];
    }
    *p = 0;
    operation.encoder()->addString(key, text, 36);
}

void addJSON(const KXCrashReportWriter *writer, const char *key, const char *json)
{
    const Operation operation(writer);
    KXJSONEncoder *encoder = operation.encoder();
    const int result = encoder->addRawJSON(key, json);
    if (result == KXJSONOk || result == KXJSONErrorCannotAddData) {
        return;
    }
    char message[MaxJSONErrorMessage + 1] = "Invalid JSON data: ";
    const size_t used = strlen(message);
    strncpy(message + used, kxjsonStringForError(result), sizeof(message) - used - 1);
    message[sizeof(message) - 1] = 0;
    if (encoder->beginObject(key) == KXJSONOk) {
        encoder->addString("error", message);
        encoder->addString("json_data", json);
        encoder->endContainer();
    }
}

void beginObject(const KXCrashReportWriter *writer, const char *key)
{
    Operation(writer).encoder()->beginObject(key);
}

void beginArray(const KXCrashReportWriter *writer, const char *key)
{
    Operation(writer).encoder()->beginArray(key);
}

void endContainer(const KXCrashReportWriter *writer)
{
    const auto *state = static_cast<WriterState *>(writer->context);
    if (state->encoder->containerLevel() > state->floorLevel) {
        Operation(writer).encoder()->endContainer();
    }
}

void prepareWriter(KXCrashReportWriter *writer, WriterState *state)
{
    writer->addBooleanElement = addBool;
    writer->addFloatingPointElement = addDouble;
    writer->addIntegerElement = addInt;
    writer->addUIntegerElement = addUInt;
    writer->addStringElement = addString;
    writer->addTextFileElement = addTextFile;
    writer->addJSONFileElement = addJSONFile;
    writer->addDataElement = addData;
    writer->beginDataElement = beginData;
    writer->appendDataElement = appendData;
    writer->endDataElement = endData;
    writer->addUUIDElement = addUUID;
    writer->addJSONElement = addJSON;
    writer->beginObject = beginObject;
    writer->beginArray = beginArray;
    writer->endContainer = endContainer;
    writer->context = state;
}

// The crashed thread's registers, when the crash came with them, and those of a crash during
// crash handling.
KXMachineContext s_crashedContext;
KXMachineContext s_recrashContext;
uintptr_t s_addresses[MaxBacktraceFrames];
pid_t s_threadList[KXMaxThreads];

struct ThreadInfo
{
    pid_t thread;
    int index;
    uint32_t runState;
    bool writeState;
};

bool contextForThread(const KXCrashCoreContext *context, pid_t thread, KXMachineContext *machine)
{
    const KXCrashSentryContext &sentry = context->sentry;
    if (thread == sentry.offendingThread) {
        if (sentry.registersAreValid && s_crashedContext.isValid) {
            *machine = s_crashedContext;
            return true;
        }
        return false;
    }
    if (thread == kxthreadCurrent()) {
        return false;
    }
    return kxthreadsStoppedContext(thread, machine);
}

// Frame objects for the open "contents" array.
void writeFrames(const KXCrashReportWriter *writer, const uintptr_t *addresses, int count, bool firstIsPC)
{
    for (int i = 0; i < count; i++) {
        const uintptr_t address = addresses[i];
        // A return address points after its call, which may be the start of the next function.
        const uintptr_t lookup = i == 0 && firstIsPC ? address : address - 1;
        KXSymbolInfo info;
        kximagesLookup(lookup, &info);
        writer->beginObject(writer, nullptr);
        if (info.image != nullptr) {
            info.image->used.store(true, std::memory_order_relaxed);
            writer->addUIntegerElement(writer, "object_addr", info.image->address);
            writer->addStringElement(writer, "object_name", kxfileLastPathComponent(info.image->name));
        }
        if (info.symbolName != nullptr) {
            writer->addUIntegerElement(writer, "symbol_addr", info.symbolAddress);
            writer->addStringElement(writer, "symbol_name", info.symbolName);
        }
        writer->addUIntegerElement(writer, "instruction_addr", address);
        writer->endContainer(writer);
    }
}

// Writes at most `room` frames of a walk from the registers into the open "contents" array and
// returns how many; a walk of an overflowed stack keeps its last frames. Unknown stack bounds
// (a corrupted stack pointer, or maps that could not be read) leave the walk to checked reads.
int writeWalk(const KXCrashReportWriter *writer, const KXMachineContext *machine, int room, int *skipped)
{
    KXStackBounds bounds = {0, 0};
    if (!kxmemStackBounds(kxmcStackPointer(machine), &bounds.low, &bounds.high)) {
        bounds = {0, 0};
    }
    int total = 0;
    kxbtBacktrace(machine, bounds, nullptr, 0, 0, &total);
    const int skip = total >= OverflowWalkLength ? total - room : 0;
    const int count = kxbtBacktrace(machine, bounds, s_addresses, skip, room, nullptr);
    writeFrames(writer, s_addresses, count, skip == 0);
    *skipped += skip;
    return count;
}

void writeRegisters(const KXCrashReportWriter *writer, const KXMachineContext *machine)
{
    writer->beginObject(writer, "registers");
    writer->beginObject(writer, "basic");
    for (int i = 0; i < kxmcRegisterCount(); i++) {
        writer->addUIntegerElement(writer, kxmcRegisterName(i), machine->registers[i]);
    }
    writer->endContainer(writer);
    writer->beginObject(writer, "exception");
    for (int i = 0; i < kxmcExceptionRegisterCount(); i++) {
        writer->addUIntegerElement(writer, kxmcExceptionRegisterName(i), machine->exceptionRegisters[i]);
    }
    writer->endContainer(writer);
    writer->endContainer(writer);
}

void writeThread(const KXCrashReportWriter *writer,
                 const KXCrashCoreContext *context,
                 const ThreadInfo &thread,
                 const char *key)
{
    const KXCrashSentryContext &sentry = context->sentry;
    const bool isCrashed = thread.thread == sentry.offendingThread;
    const bool isCurrent = thread.thread == kxthreadCurrent();
    KXMachineContext machine;
    const bool hasMachine = contextForThread(context, thread.thread, &machine);

    writer->beginObject(writer, key);
    writer->beginObject(writer, "backtrace");
    writer->beginArray(writer, "contents");
    int skipped = 0;
    int room = MaxBacktraceFrames;
    if (isCrashed && sentry.crashedDuringCrashHandling && s_recrashContext.isValid) {
        // Where the reporter itself crashed first, then on through the crash it was reporting.
        room -= writeWalk(writer, &s_recrashContext, room, &skipped);
    }
    if (isCrashed && sentry.stackTrace != nullptr && sentry.stackTraceLength > 0) {
        writeFrames(writer, sentry.stackTrace, sentry.stackTraceLength < room ? sentry.stackTraceLength : room, false);
    } else if (hasMachine && room > 0) {
        writeWalk(writer, &machine, room, &skipped);
    }
    writer->endContainer(writer);
    writer->addIntegerElement(writer, "skipped", skipped);
    writer->endContainer(writer);

    if (isCrashed && hasMachine) {
        writeRegisters(writer, &machine);
    }
    if (thread.writeState && kxthreadRunStateName(thread.runState) != nullptr) {
        writer->addStringElement(writer, "state", kxthreadRunStateName(thread.runState));
    }
    writer->addIntegerElement(writer, "index", thread.index);
    writer->addBooleanElement(writer, "crashed", isCrashed);
    writer->addBooleanElement(writer, "current_thread", isCurrent);
    char name[64];
    if (isCurrent && kxthreadCurrentName(name, sizeof(name))) {
        writer->addStringElement(writer, "name", name);
    }
    if (isCrashed && hasMachine && kxmcStackPointer(&machine) != 0) {
        writer->beginObject(writer, "stack");
        writer->addBooleanElement(writer, "overflow", sentry.isStackOverflow);
        writer->endContainer(writer);
    }
    writer->endContainer(writer);
}

void writeError(const KXCrashReportWriter *writer, const KXCrashCoreContext *context)
{
    const KXCrashSentryContext &sentry = context->sentry;
    writer->beginObject(writer, "error");
    writer->addUIntegerElement(writer, "address", sentry.faultAddress);
    if (sentry.crashReason != nullptr) {
        writer->addStringElement(writer, "reason", sentry.crashReason);
    }
    if (sentry.crashType == KXCrashTypeSignal && sentry.signalInfo != nullptr) {
        const siginfo_t *info = sentry.signalInfo;
        writer->beginObject(writer, "signal");
        writer->addIntegerElement(writer, "signal", info->si_signo);
        if (const char *name = kxsignalName(info->si_signo)) {
            writer->addStringElement(writer, "name", name);
        }
        writer->addIntegerElement(writer, "code", info->si_code);
        if (const char *codeName = kxsignalCodeName(info->si_signo, info->si_code)) {
            writer->addStringElement(writer, "code_name", codeName);
        }
        if (const pid_t sender = kxsignalSenderPID(info)) {
            writer->addIntegerElement(writer, "sender_pid", sender);
        }
        writer->endContainer(writer);
        writer->addStringElement(writer, "type", "signal");
    } else if (sentry.crashType == KXCrashTypeCPPException) {
        writer->addStringElement(writer, "type", "cpp_exception");
        writer->beginObject(writer, "cpp_exception");
        writer->addStringElement(writer, "name", sentry.cppExceptionName);
        writer->endContainer(writer);
    }
    writer->endContainer(writer);
}

void writeImage(const KXCrashReportWriter *writer, const KXBinaryImage *image)
{
    writer->beginObject(writer, nullptr);
    writer->addUIntegerElement(writer, "image_addr", image->address);
    writer->addUIntegerElement(writer, "image_vmaddr", image->vmAddress);
    writer->addUIntegerElement(writer, "image_size", image->size);
    writer->addStringElement(writer, "name", image->name);
    writer->addUUIDElement(writer, "uuid", image->uuid);
    writer->addIntegerElement(writer, "cpu_type", image->cpuType);
    writer->addIntegerElement(writer, "cpu_subtype", image->cpuSubtype);
    writer->endContainer(writer);
}

void writeReportInfo(const KXCrashReportWriter *writer, const KXCrashCoreContext *context, const char *type)
{
    writer->beginObject(writer, "report");
    writer->addStringElement(writer, "version", "3.1.0");
    writer->addStringElement(writer, "id", context->reportID);
    writer->addStringElement(writer, "process_name", context->processName);
    timespec now;
    const bool hasTime = clock_gettime(CLOCK_REALTIME, &now) == 0;
    writer->addIntegerElement(writer, "timestamp", hasTime ? now.tv_sec : time(nullptr));
    if (hasTime) {
        writer->addIntegerElement(writer, "timestamp_millis", now.tv_sec * 1000 + now.tv_nsec / 1000000);
    }
    writer->addStringElement(writer, "type", type);
    writer->endContainer(writer);
}

void writeSystemAtCrash(const KXCrashReportWriter *writer, const KXCrashCoreContext *context)
{
    writer->beginObject(writer, "system_atcrash");
    KXRunContextData *run = kxrunContext();
    kxrunContextRefreshMemory(run);
    writer->beginObject(writer, "memory");
    if (run != nullptr) {
        writer->addUIntegerElement(writer, "free", kxrunContextMemory(run).hostMemoryFree);
    } else if (struct sysinfo info; sysinfo(&info) == 0) {
        writer->addUIntegerElement(writer, "free", static_cast<uint64_t>(info.freeram) * info.mem_unit);
    }
    writer->endContainer(writer);
    writer->beginObject(writer, "application_stats");
    writer->addBooleanElement(writer, "application_in_foreground", context->state.applicationIsInForeground);
    writer->addFloatingPointElement(writer, "active_time_since_launch", context->state.activeDurationSinceLaunch);
    writer->addFloatingPointElement(
        writer, "background_time_since_launch", context->state.backgroundDurationSinceLaunch);
    writer->endContainer(writer);
    unsigned long long freeBytes = 0;
    unsigned long long totalBytes = 0;
    if (kxfileSpace(context->reportDirectory, &freeBytes, &totalBytes)) {
        writer->beginObject(writer, "disk");
        writer->addUIntegerElement(writer, "free", freeBytes);
        writer->addUIntegerElement(writer, "size", totalBytes);
        writer->endContainer(writer);
    }
    writer->endContainer(writer);
}

int indexOfThread(pid_t thread)
{
    const int count = kxthreadsList(s_threadList, KXMaxThreads);
    for (int i = 0; i < count; i++) {
        if (s_threadList[i] == thread) {
            return i;
        }
    }
    return 0;
}

// Brings the image list up to date, reads the crashed thread's registers (and those of a crash
// during crash handling) and decides whether its stack overflowed.
void prepareCrashedThread(KXCrashCoreContext *context)
{
    KXCrashSentryContext &sentry = context->sentry;
    kxmemLoadRegions();
    kximagesFreeze();
    s_crashedContext.isValid = false;
    s_recrashContext.isValid = false;
    sentry.isStackOverflow = false;
    if (sentry.registersAreValid && sentry.signalUserContext != nullptr) {
        kxmcFromUserContext(sentry.signalUserContext, &s_crashedContext);
        sentry.isStackOverflow = kxmemIsStackOverflow(sentry.faultAddress, kxmcStackPointer(&s_crashedContext));
    }
    if (sentry.crashedDuringCrashHandling && sentry.recrashUserContext != nullptr) {
        kxmcFromUserContext(sentry.recrashUserContext, &s_recrashContext);
    }
}

class ReportFile
{
public:
    ReportFile(const char *path, char *buffer, size_t capacity)
    {
        m_fd = open(path, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (m_fd >= 0) {
            m_output.init(m_fd, buffer, capacity);
            m_encoder.beginEncoding(false, &KXBufferedWriter::addJSONData, &m_output);
            m_state = {&m_encoder, 0, &m_output, m_encoder.mark(), 0, false};
            prepareWriter(&m_writer, &m_state);
        }
    }

    ~ReportFile() { finish(); }

    // Closes every open container and the file. After a crash in the middle of an operation, the
    // text that operation began is cut off first.
    void finish()
    {
        if (m_fd < 0) {
            return;
        }
        m_output.flush();
        if (m_state.inOperation) {
            const off_t end = lseek(m_fd, 0, SEEK_CUR);
            const auto mark = static_cast<off_t>(m_state.markOffset);
            if (end >= 0 && mark < end && ftruncate(m_fd, mark) == 0) {
                lseek(m_fd, mark, SEEK_SET);
            }
            m_encoder.rewind(m_state.mark);
            m_state.inOperation = false;
        }
        m_encoder.endEncoding();
        m_output.flush();
        close(m_fd);
        m_fd = -1;
    }

    bool isOpen() const { return m_fd >= 0; }
    const KXCrashReportWriter *writer() const { return &m_writer; }
    WriterState *state() { return &m_state; }

    ReportFile(const ReportFile &) = delete;
    ReportFile &operator=(const ReportFile &) = delete;

private:
    int m_fd = -1;
    KXBufferedWriter m_output;
    KXJSONEncoder m_encoder;
    WriterState m_state = {};
    KXCrashReportWriter m_writer = {};
};

// The standard report being written, for a crash during crash handling to close.
ReportFile *s_standardReport = nullptr;

} // namespace

void kxreportFinishInterruptedStandard()
{
    ReportFile *report = s_standardReport;
    s_standardReport = nullptr;
    if (report != nullptr) {
        report->finish();
    }
}

void kxreportWriteStandard(KXCrashCoreContext *context, const char *path)
{
    char buffer[StandardBufferSize];
    ReportFile file(path, buffer, sizeof(buffer));
    if (!file.isOpen()) {
        return;
    }
    s_standardReport = &file;
    prepareCrashedThread(context);
    kximagesClearUsed();
    const KXCrashReportWriter *writer = file.writer();
    const KXCrashSentryContext &sentry = context->sentry;

    writer->beginObject(writer, nullptr);
    writeReportInfo(writer, context, "standard");
    writer->beginObject(writer, "process");
    writer->endContainer(writer);
    if (context->systemInfoJSON != nullptr) {
        writer->addJSONElement(writer, "system", context->systemInfoJSON);
    }
    writeSystemAtCrash(writer, context);

    writer->beginObject(writer, "crash");
    writeError(writer, context);
    writer->beginArray(writer, "threads");
    bool wroteOffending = false;
    if (sentry.threadTracingEnabled && sentry.allThreads != nullptr) {
        for (uint32_t i = 0; i < sentry.allThreadsCount; i++) {
            const ThreadInfo thread = {sentry.allThreads[i], static_cast<int>(i), sentry.threadRunStates[i], true};
            wroteOffending = wroteOffending || thread.thread == sentry.offendingThread;
            writeThread(writer, context, thread, nullptr);
        }
    }
    if (!wroteOffending) {
        int index = indexOfThread(sentry.offendingThread);
        const ThreadInfo thread = {sentry.offendingThread, index, kxthreadRunState(sentry.offendingThread), true};
        writeThread(writer, context, thread, nullptr);
    }
    writer->endContainer(writer);
    writer->endContainer(writer);

    writer->beginArray(writer, "binary_images");
    for (KXBinaryImage *image : kximagesList()) {
        if (image->used.load(std::memory_order_relaxed)) {
            writeImage(writer, image);
        }
    }
    writer->endContainer(writer);

    if (context->userSectionCallback != nullptr) {
        writer->beginObject(writer, "user_atcrash");
        // The callback may close only what it opened itself.
        WriterState *state = file.state();
        const int level = state->encoder->containerLevel();
        state->floorLevel = level;
        context->userSectionCallback(writer, sentry.requiresAsyncSafety);
        while (state->encoder->containerLevel() > level) {
            state->encoder->endContainer();
        }
        state->floorLevel = 0;
        writer->endContainer(writer);
    }
    writer->endContainer(writer);
    s_standardReport = nullptr;
}

void kxreportWriteMinimal(KXCrashCoreContext *context, const char *path)
{
    char buffer[MinimalBufferSize];
    ReportFile file(path, buffer, sizeof(buffer));
    if (!file.isOpen()) {
        return;
    }
    prepareCrashedThread(context);
    const KXCrashReportWriter *writer = file.writer();
    const KXCrashSentryContext &sentry = context->sentry;

    writer->beginObject(writer, nullptr);
    writeReportInfo(writer, context, "minimal");
    writer->beginObject(writer, "crash");
    const ThreadInfo thread = {sentry.offendingThread, indexOfThread(sentry.offendingThread), 0, false};
    writeThread(writer, context, thread, "crashed_thread");
    writeError(writer, context);
    writer->endContainer(writer);
    writer->beginArray(writer, "binary_images");
    if (const KXBinaryImage *main = kximagesMain()) {
        writeImage(writer, main);
    }
    writer->endContainer(writer);
    writer->endContainer(writer);
}

} // namespace kestrix
