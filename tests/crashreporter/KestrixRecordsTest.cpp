#include "LogCapture.h"
#include "crashreporter/core/KXRunContextData.h"
#include "crashreporter/model/KXCrashTimeText.h"
#include "crashreporter/model/KestrixBreadcrumb.h"
#include "crashreporter/model/KestrixError.h"
#include "crashreporter/model/KestrixMetadata.h"
#include "crashreporter/model/KestrixSession.h"
#include "crashreporter/model/KestrixThread.h"
#include "crashreporter/support/KXFileSystemQueue.h"
#include "crashreporter/support/KXJSONWriter.h"
#include "crashreporter/support/KXPersistentDeviceID.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTimeZone>

#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>

using namespace kestrix;

extern "C" [[gnu::noinline]] void spinInLiveThreadTest(const bool *running)
{
    while (__atomic_load_n(running, __ATOMIC_RELAXED)) {
        asm volatile("" ::: "memory");
    }
}

extern "C" [[gnu::noinline]] void sleepInLiveThreadTest(int fd)
{
    char byte;
    while (read(fd, &byte, 1) < 0 && errno == EINTR) {
    }
    asm volatile("" ::: "memory");
}

namespace {

QJsonObject parse(const char *json)
{
    return QJsonDocument::fromJson(QByteArray(json)).object();
}

TEST(KestrixMetadataTest, changesReachTheBufferAndCoalesceIntoTheFile)
{
    QTemporaryDir directory;
    const QString file = directory.filePath(QStringLiteral("metadata.json"));
    std::atomic<char *> buffer{nullptr};
    KestrixMetadata metadata;
    int changes = 0;
    metadata.setObserver([&changes](const KestrixMetadata &) { changes++; });
    metadata.setStorageBuffer(&buffer, file);

    LogCapture log;
    metadata.addMetadata(parse(R"({"a": 1, "b": 2})"), QStringLiteral("custom"));
    metadata.addMetadata(parse(R"({"a": 1, "b": 2})"), QStringLiteral("custom")); // no change, no write
    metadata.addMetadata(std::numeric_limits<double>::quiet_NaN(), QStringLiteral("c"), QStringLiteral("custom"));
    metadata.addMetadata(QJsonValue::Null, QStringLiteral("a"), QStringLiteral("custom"));
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(log.lines(),
              QStringList{QStringLiteral(
                  "[Kestrix] [ERROR] Failed to add metadata: non-finite number is not JSON serializable.")});
    EXPECT_EQ(metadata.toDictionary(), parse(R"({"custom": {"b": 2}})"));
    metadata.addMetadata(QJsonValue::Null, QStringLiteral("b"), QStringLiteral("custom"));
    EXPECT_FALSE(metadata.getMetadataFromSection(QStringLiteral("custom")).has_value());

    for (int i = 0; i < 50; i++) {
        metadata.addMetadata(i, QStringLiteral("n"), QStringLiteral("burst"));
    }
    EXPECT_EQ(QByteArray(buffer.load()), QByteArray(R"({"burst":{"n":49}})"));
    KXFileSystemQueue::shared().waitUntilIdle();
    QFile written(file);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), QByteArray(R"({"burst":{"n":49}})"));
    EXPECT_EQ(written.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther), QFileDevice::Permissions());
    free(buffer.exchange(nullptr));
}

// Another thread replaces a buffer while the crash handler reads it: what the handler reads stays
// whole (the address sanitizer catches a read of freed memory) and goes at a later replacement.
TEST(KestrixMetadataTest, aBufferReplacedWhileTheCrashHandlerReadsItStaysWhole)
{
    std::atomic<char *> buffer{strdup(R"({"old":1})")};
    const char *reading = kxBeginReadingCrashTimeText(buffer);
    std::thread([&buffer] { kxReplaceCrashTimeText(buffer, strdup(R"({"new":2})")); }).join();
    EXPECT_STREQ(reading, R"({"old":1})");
    kxEndReadingCrashTimeText();
    EXPECT_STREQ(kxBeginReadingCrashTimeText(buffer), R"({"new":2})");
    kxEndReadingCrashTimeText();
    kxReplaceCrashTimeText(buffer, nullptr);
    EXPECT_EQ(kxBeginReadingCrashTimeText(buffer), nullptr);
    kxEndReadingCrashTimeText();
}

TEST(KestrixRecordsTest, theJsonWriterEscapesWhatJsonNeeds)
{
    const QString text = QStringLiteral("quote \" slash \\ tab \t nul ") + QChar(0) + QStringLiteral(" é ")
                         + QString::fromUcs4(U"\U0001F600") + QChar(0xD800) + QStringLiteral("end");
    KXJSONWriter writer;
    writer.beginObject();
    writer.value("text", text);
    writer.key(QStringLiteral("odd \"key\""));
    writer.value(nullptr, QJsonValue(0.25));
    writer.hex("address", 0xdeadbeef);
    writer.endObject();
    QJsonParseError error;
    const QJsonObject read = QJsonDocument::fromJson(writer.data(), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << writer.data().toStdString();
    QString expected = text;
    expected.replace(QChar(0xD800), QChar(0xFFFD));
    EXPECT_EQ(read.value(QStringLiteral("text")).toString(), expected);
    EXPECT_EQ(read.value(QStringLiteral("odd \"key\"")).toDouble(), 0.25);
    EXPECT_EQ(read.value(QStringLiteral("address")).toString(), QStringLiteral("0xdeadbeef"));
}

TEST(KestrixRecordsTest, breadcrumbRecordsReadLeniently)
{
    KestrixBreadcrumb empty;
    EXPECT_FALSE(empty.isValid());
    EXPECT_FALSE(empty.objectValue().has_value());

    const auto named = KestrixBreadcrumb::fromDict(parse(
        R"({"name": "Opened", "timestamp": "2024-01-02T03:04:05.678Z", "type": "teleport", "metadata": {"a": 1}})"));
    ASSERT_TRUE(named.has_value());
    EXPECT_EQ(named->message, QStringLiteral("Opened"));
    EXPECT_EQ(named->type, KestrixBreadcrumbType::Manual);
    EXPECT_EQ(named->metadata, parse(R"({"a": 1})"));
    EXPECT_FALSE(KestrixBreadcrumb::fromDict(parse(R"({"name": "x", "timestamp": "2024-01-02", "type": "log"})")));

    KestrixBreadcrumb unknown;
    unknown.message = QStringLiteral("x");
    unknown.type = static_cast<KestrixBreadcrumbType>(9);
    EXPECT_EQ(unknown.objectValue()->value(QStringLiteral("type")).toString(), QStringLiteral("log"));
}

TEST(KestrixRecordsTest, theSessionSlotOfTheRunContext)
{
    KXRunContextData context = {};
    kxrunContextSet(&context);
    const QDateTime started(QDate(2024, 5, 17), QTime(9, 30, 15, 250), QTimeZone::utc());
    KestrixSession session(
        QStringLiteral("5E1D6A0C-2B4F-4C39-9A47-3F6B1E2D8C10"), started, std::nullopt, std::nullopt, std::nullopt);
    session.handledCount = 2;
    KestrixSession::updateRunContext(&session);
    EXPECT_EQ(strlen(context.sessionId), 36u);
    const auto mirrored = KestrixSession::fromRunContext(&context, std::nullopt, std::nullopt, std::nullopt);
    ASSERT_TRUE(mirrored.has_value());
    EXPECT_EQ(mirrored->toEventJson(), session.toEventJson());

    // Any id may be handed in; only 36 bytes fit, and the fields after it stay intact.
    session.id = QString(80, QLatin1Char('x'));
    context.reserved2[0] = 0x5A;
    KestrixSession::updateRunContext(&session);
    EXPECT_EQ(QByteArray(context.sessionId), QByteArray(36, 'x'));
    EXPECT_EQ(context.reserved2[0], 0x5A);
    EXPECT_EQ(context.handledCount, 2u);

    KestrixSession::updateRunContext(nullptr);
    EXPECT_FALSE(KestrixSession::fromRunContext(&context, std::nullopt, std::nullopt, std::nullopt).has_value());
    kxrunContextSet(nullptr);

    EXPECT_FALSE(KestrixSession::fromJson(parse(R"({"id": "S"})")).has_value());
    EXPECT_EQ(KestrixUser{}.withId().id, KXPersistentDeviceID::current().external());
}

TEST(KestrixRecordsTest, framesFromCrashReports)
{
    const QJsonArray images{parse(R"({"image_addr": 4096, "image_vmaddr": 0, "name": "/a", "uuid": "A"})"),
                            parse(R"({"image_addr": 8192, "image_vmaddr": 0, "name": "/b", "uuid": "B"})")};
    QJsonArray entries;
    for (int i = 0; i < 250; i++) {
        entries.append(
            QJsonObject{{QStringLiteral("instruction_addr"), 4200 + i}, {QStringLiteral("object_addr"), 4096}});
    }
    EXPECT_EQ(KestrixStacktrace::fromCrashReport(entries, KXBinaryImageIndex(images)).size(), 200u);

    LogCapture log;
    EXPECT_FALSE(KestrixStackframe::fromCrashReport(
        parse(R"({"instruction_addr": 99, "object_addr": 12, "isPC": true})"), images));
    const auto kept =
        KestrixStackframe::fromCrashReport(parse(R"({"instruction_addr": 99, "object_addr": 12})"), images);
    ASSERT_TRUE(kept.has_value());
    EXPECT_EQ(log.lines(),
              QStringList{QStringLiteral("[Kestrix] [WARN] KestrixStackframe: no image found for address 0xc")});
    EXPECT_EQ(KestrixStackframe().toDictionary(), QJsonObject());
    EXPECT_EQ(KestrixStackframe::fromJson(kept->toDictionary()).toDictionary(), kept->toDictionary());

    KestrixThread thread;
    thread.type = 2;
    EXPECT_EQ(thread.toDictionary()[QStringLiteral("type")].toString(), QStringLiteral("reactnativejs"));
}

TEST(KestrixRecordsTest, crashInfoMessages)
{
    KestrixError plain;
    plain.updateWithCrashInfoMessage(QStringLiteral("Fatal error: Index out of range\n"));
    EXPECT_EQ(plain.errorClass, QStringLiteral("Fatal error"));
    EXPECT_EQ(plain.errorMessage, QStringLiteral("Index out of range"));
    KestrixError located;
    located.updateWithCrashInfoMessage(QStringLiteral("Menu.cpp:42: Fatal error: Index out of range\n"));
    EXPECT_EQ(located.errorClass, QStringLiteral("Fatal error"));
    EXPECT_EQ(located.errorMessage, QStringLiteral("Index out of range"));
    KestrixError other;
    other.errorMessage = QStringLiteral("kept");
    other.updateWithCrashInfoMessage(QStringLiteral("something else\n"));
    EXPECT_EQ(other.errorMessage, QStringLiteral("kept"));
}

QStringList methodsOf(const KestrixThread &thread)
{
    QStringList methods;
    for (KestrixStackframe frame : thread.stacktrace) {
        frame.symbolicateIfNeeded();
        methods << frame.method.value_or(QString());
    }
    return methods;
}

// Reads other threads' stacks word by word, as the crash path does, which the address sanitizer
// cannot follow: it runs with the crash tests.
TEST(KestrixCrashPathTest, liveThreadsCarryTheirStacks)
{
    bool running = true;
    std::thread spinner(spinInLiveThreadTest, &running);
    const std::vector<uintptr_t> caller{reinterpret_cast<uintptr_t>(&spinInLiveThreadTest) + 1, 1};

    std::vector<KestrixThread> threads = KestrixThread::allThreads(true, caller);
    std::optional<KestrixThread> main;
    // The reader starts once this thread is past pthread_create, which holds every signal blocked while it
    // makes the new thread: a stop sent in that window would wait it out.
    std::atomic<bool> started{false};
    std::thread reader([&main, &started] {
        while (!started.load()) {
            std::this_thread::yield();
        }
        main = KestrixThread::mainThread();
    });
    started.store(true);
    reader.join();
    __atomic_store_n(&running, false, __ATOMIC_RELAXED);
    spinner.join();

    ASSERT_GE(threads.size(), 2u);
    int reporting = 0;
    bool spinnerSeen = false;
    for (const KestrixThread &thread : threads) {
        if (thread.errorReportingThread) {
            reporting++;
            EXPECT_EQ(thread.stacktrace.size(), 1u); // the placeholder 1 is dropped
        }
        spinnerSeen = spinnerSeen || methodsOf(thread).contains(QStringLiteral("spinInLiveThreadTest"));
    }
    EXPECT_EQ(reporting, 1);
    EXPECT_TRUE(spinnerSeen);
    ASSERT_TRUE(main.has_value());
    EXPECT_TRUE(main->errorReportingThread);
    EXPECT_EQ(main->id, QStringLiteral("0"));
    EXPECT_FALSE(main->stacktrace.empty());
    EXPECT_FALSE(KestrixThread::mainThread().has_value()); // asked on the main thread
}

std::vector<std::optional<uint64_t>> addressesOf(const KestrixThread &thread)
{
    std::vector<std::optional<uint64_t>> addresses;
    for (const KestrixStackframe &frame : thread.stacktrace) {
        addresses.push_back(frame.frameAddress);
    }
    return addresses;
}

// A named thread asleep in a read, its name holding parentheses: name, state and stack, the same
// stack at the next reading, which comes right after the first has resumed it, and at readings
// made by two threads at once.
TEST(KestrixCrashPathTest, aSleepingThreadKeepsItsNameStateAndStackAcrossReadings)
{
    const QString name = QStringLiteral("kx) (sleeper");
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::thread sleeper([&name, fd = fds[0]] {
        pthread_setname_np(pthread_self(), name.toUtf8().constData());
        sleepInLiveThreadTest(fd);
    });
    const auto read = [&name] {
        for (const KestrixThread &thread : KestrixThread::allThreads(true, {})) {
            if (thread.name == name) {
                return std::optional(thread);
            }
        }
        return std::optional<KestrixThread>();
    };
    std::optional<KestrixThread> first;
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while ((!first || first->state != QStringLiteral("TH_STATE_WAITING")
            || !methodsOf(*first).contains(QStringLiteral("sleepInLiveThreadTest")))
           && std::chrono::steady_clock::now() < limit) {
        first = read();
    }
    const std::optional<KestrixThread> second = read();
    // Two readers at once both find it: the second stop waits for the first instead of reading nothing.
    std::atomic<int> emptyStacks{0};
    const auto readMany = [&] {
        for (int i = 0; i < 20; i++) {
            const std::optional<KestrixThread> thread = read();
            emptyStacks += thread && thread->stacktrace.empty() ? 1 : 0;
        }
    };
    std::thread otherReader(readMany);
    readMany();
    otherReader.join();
    EXPECT_EQ(write(fds[1], "x", 1), 1);
    sleeper.join();
    close(fds[0]);
    close(fds[1]);

    ASSERT_TRUE(first.has_value());
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(first->state, QStringLiteral("TH_STATE_WAITING"));
    EXPECT_TRUE(methodsOf(*first).contains(QStringLiteral("sleepInLiveThreadTest")));
    EXPECT_EQ(addressesOf(*second), addressesOf(*first));
    EXPECT_EQ(emptyStacks.load(), 0);
}

} // namespace
