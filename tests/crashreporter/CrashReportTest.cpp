#include "crashreporter/support/KX_CrashDoctor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <elf.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>
#include <string>

extern char **environ;

namespace {

struct ChildResult
{
    bool exited = false;
    int exitCode = -1;
    int signal = 0;
    QByteArray output;
};

ChildResult runChild(const QString &kind, const QString &directory, const char *argument = nullptr)
{
    ChildResult result;
    const QByteArray program = PLIMSY_CRASH_CHILD;
    const QByteArray kindBytes = kind.toUtf8();
    const QByteArray directoryBytes = QFile::encodeName(directory);
    const QByteArray outputPath = QFile::encodeName(directory + QStringLiteral("/.child-output-") + kind);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(
        &actions, STDOUT_FILENO, outputPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    char *argv[] = {const_cast<char *>(program.constData()),
                    const_cast<char *>(kindBytes.constData()),
                    const_cast<char *>(directoryBytes.constData()),
                    const_cast<char *>(argument),
                    nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.constData(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << program.constData();
        return result;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exited = WIFEXITED(status);
    result.exitCode = result.exited ? WEXITSTATUS(status) : -1;
    result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    QFile output(QFile::decodeName(outputPath));
    if (output.open(QIODevice::ReadOnly)) {
        result.output = output.readAll();
    }
    QFile::remove(QFile::decodeName(outputPath));
    return result;
}

QStringList reportsIn(const QString &directory, const QString &kind)
{
    return QDir(directory).entryList({kind + QStringLiteral("-*.json")}, QDir::Files);
}

std::optional<QJsonObject> readReport(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        ADD_FAILURE() << path.toStdString() << ": " << error.errorString().toStdString();
        return std::nullopt;
    }
    return document.object();
}

// The GNU build id of an ELF file, read from its program headers, as the report's upper-case UUID.
QString buildIDAsUUID(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray data = file.readAll();
    const auto *header = reinterpret_cast<const Elf64_Ehdr *>(data.constData());
    for (int i = 0; i < header->e_phnum; i++) {
        const auto *segment =
            reinterpret_cast<const Elf64_Phdr *>(data.constData() + header->e_phoff + i * header->e_phentsize);
        if (segment->p_type != PT_NOTE) {
            continue;
        }
        size_t offset = segment->p_offset;
        const size_t end = segment->p_offset + segment->p_filesz;
        while (offset + sizeof(Elf64_Nhdr) <= end) {
            const auto *note = reinterpret_cast<const Elf64_Nhdr *>(data.constData() + offset);
            const size_t descOffset = offset + sizeof(Elf64_Nhdr) + ((note->n_namesz + 3) & ~3u);
            if (note->n_type == NT_GNU_BUILD_ID && note->n_descsz >= 16) {
                const QByteArray hex = data.mid(static_cast<int>(descOffset), 16).toHex().toUpper();
                return QString::fromLatin1(hex.left(8) + '-' + hex.mid(8, 4) + '-' + hex.mid(12, 4) + '-'
                                           + hex.mid(16, 4) + '-' + hex.mid(20));
            }
            offset = descOffset + ((note->n_descsz + 3) & ~3u);
        }
    }
    return {};
}

QJsonObject crashedThreadOf(const QJsonObject &report, int *crashedCount)
{
    QJsonObject crashed;
    *crashedCount = 0;
    for (const QJsonValue &thread : report[QStringLiteral("crash")][QStringLiteral("threads")].toArray()) {
        if (thread[QStringLiteral("crashed")].toBool()) {
            ++*crashedCount;
            crashed = thread.toObject();
        }
    }
    return crashed;
}

QStringList symbolsOf(const QJsonObject &thread)
{
    QStringList symbols;
    for (const QJsonValue &frame : thread[QStringLiteral("backtrace")][QStringLiteral("contents")].toArray()) {
        symbols << frame[QStringLiteral("symbol_name")].toString();
    }
    return symbols;
}

struct CrashRow
{
    const char *name;
    int signal;
    const char *errorType;
    const char *signalName; // for signal crashes
    const char *codeName;   // for signal crashes
    const char *cppName;    // for C++ exceptions
    const char *reason;     // for C++ exceptions
    const char *function;   // the crashed thread's backtrace names it
    bool isOverflow;
    const char *rawJSON = nullptr;    // handed to the user section, which must refuse it
    const char *frameImage = nullptr; // the image the crashed thread's first frame lies in
    int minimumThreads = 1;
    bool isSent = false; // sent by another process, which the child names
};

std::ostream &operator<<(std::ostream &out, const CrashRow &row)
{
    return out << row.name;
}

// A write through null that ends in SIGSEGV, in the circumstances the row's name gives.
CrashRow segv(const char *name, const char *function, const char *rawJSON = nullptr, int minimumThreads = 1)
{
    return {name,
            SIGSEGV,
            "signal",
            "SIGSEGV",
            "SEGV_MAPERR",
            nullptr,
            nullptr,
            function,
            false,
            rawJSON,
            nullptr,
            minimumThreads};
}

// A stack overflow in crashStackOverflow; its code tells the main stack's growth limit
// (SEGV_MAPERR) from a thread stack's guard page (SEGV_ACCERR).
CrashRow stackOverflow(const char *name, const char *codeName)
{
    return {name, SIGSEGV, "signal", "SIGSEGV", codeName, nullptr, nullptr, "crashStackOverflow", true};
}

const CrashRow CrashRows[] = {
    {"null_write", SIGSEGV, "signal", "SIGSEGV", "SEGV_MAPERR", nullptr, nullptr, "crashNullWrite", false},
    {"abort", SIGABRT, "signal", "SIGABRT", "SI_TKILL", nullptr, nullptr, "crashAbort", false},
    {"divide_by_zero", SIGFPE, "signal", "SIGFPE", "FPE_INTDIV", nullptr, nullptr, "crashDivideByZero", false},
    {"illegal_instruction",
     SIGILL,
     "signal",
     "SIGILL",
     "ILL_ILLOPN",
     nullptr,
     nullptr,
     "crashIllegalInstruction",
     false},
    {"trap", SIGTRAP, "signal", "SIGTRAP", "SI_KERNEL", nullptr, nullptr, "crashTrap", false},
    {"throw_int", SIGABRT, "cpp_exception", nullptr, nullptr, "i", "42", "crashThrowInt", false},
    {"throw_runtime_error",
     SIGABRT,
     "cpp_exception",
     nullptr,
     nullptr,
     "St13runtime_error",
     "runtime failure",
     "crashThrowRuntimeError",
     false},
    {"throw_through_noexcept",
     SIGABRT,
     "cpp_exception",
     nullptr,
     nullptr,
     "St11logic_error",
     "thrown through noexcept",
     "crashThrowThroughNoexcept",
     false},
    {"terminate",
     SIGABRT,
     "cpp_exception",
     nullptr,
     nullptr,
     "std::terminate",
     "throw may have been called without an exception",
     "crashTerminate",
     false},
    stackOverflow("stack_overflow", "SEGV_MAPERR"),
    stackOverflow("stack_overflow_thread", "SEGV_ACCERR"),
    {"two_threads", SIGSEGV, "signal", "SIGSEGV", "SEGV_MAPERR", nullptr, nullptr, "crashNullWrite", false},
    stackOverflow("stack_overflow_early_thread", "SEGV_ACCERR"),
    segv("descriptors_exhausted", "crashNullWrite"),
    segv("one_descriptor_left", "crashNullWrite", nullptr, 6),
    segv("corrupt_pointers", "crashWithCorruptPointers"),
    segv("signal_blocking_thread", "crashNullWrite", nullptr, 21),
    {"glibc_module",
     SIGSEGV,
     "signal",
     "SIGSEGV",
     "SEGV_MAPERR",
     nullptr,
     nullptr,
     "crashInGlibcModule",
     false,
     nullptr,
     "ISO8859-15.so"},
    {"sent_by_another_process",
     SIGSEGV,
     "signal",
     "SIGSEGV",
     "SI_USER",
     nullptr,
     nullptr,
     "crashBySignalFromAnotherProcess",
     false,
     nullptr,
     nullptr,
     1,
     true},
    segv("raw_json_cut_literal", "crashNullWrite", "tru"),
    segv("raw_json_lone_minus", "crashNullWrite", "-"),
    segv("raw_json_missing_value", "crashNullWrite", "{\"a\":}"),
    segv("raw_json_missing_comma", "crashNullWrite", "[1 2]"),
    segv("raw_json_two_points", "crashNullWrite", "1.2.3"),
};

class CrashReportTest : public ::testing::TestWithParam<CrashRow>
{
protected:
    QTemporaryDir m_directory;
};

TEST_P(CrashReportTest, writesOneReportAndHandsTheFaultOn)
{
    const CrashRow &row = GetParam();
    ASSERT_TRUE(m_directory.isValid());
    const QString directory = m_directory.path();

    const ChildResult crash = runChild(QString::fromLatin1(row.name), directory, row.rawJSON);
    EXPECT_FALSE(crash.exited) << crash.output.toStdString();
    EXPECT_EQ(crash.signal, row.signal) << strsignal(crash.signal);
    EXPECT_TRUE(crash.output.contains("installed=6 crashedLastLaunch=0")) << crash.output.toStdString();

    const QStringList reports = reportsIn(directory, QStringLiteral("CrashReport"));
    ASSERT_EQ(reports.size(), 1) << reports.join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(reportsIn(directory, QStringLiteral("RecrashReport")).isEmpty());
    const auto report = readReport(QDir(directory).filePath(reports.first()));
    ASSERT_TRUE(report.has_value());

    EXPECT_EQ((*report)[QStringLiteral("report")][QStringLiteral("type")].toString(), QStringLiteral("standard"));
    const QJsonObject error = (*report)[QStringLiteral("crash")][QStringLiteral("error")].toObject();
    EXPECT_EQ(error[QStringLiteral("type")].toString(), QString::fromLatin1(row.errorType));
    if (row.signalName != nullptr) {
        EXPECT_EQ(error[QStringLiteral("signal")][QStringLiteral("name")].toString(),
                  QString::fromLatin1(row.signalName));
        EXPECT_EQ(error[QStringLiteral("signal")][QStringLiteral("signal")].toInt(), row.signal);
        EXPECT_EQ(error[QStringLiteral("signal")][QStringLiteral("code_name")].toString(),
                  QString::fromLatin1(row.codeName));
    } else {
        EXPECT_EQ(error[QStringLiteral("cpp_exception")][QStringLiteral("name")].toString(),
                  QString::fromLatin1(row.cppName));
        EXPECT_EQ(error[QStringLiteral("reason")].toString(), QString::fromLatin1(row.reason));
    }

    int crashedCount = 0;
    const QJsonObject crashed = crashedThreadOf(*report, &crashedCount);
    EXPECT_EQ(crashedCount, 1);
    EXPECT_GE((*report)[QStringLiteral("crash")][QStringLiteral("threads")].toArray().size(), row.minimumThreads);
    const QStringList symbols = symbolsOf(crashed);
    EXPECT_TRUE(symbols.filter(QString::fromLatin1(row.function)).size() > 0)
        << symbols.join(QLatin1Char(' ')).toStdString();
    if (row.frameImage != nullptr) {
        const QJsonArray frames = crashed[QStringLiteral("backtrace")][QStringLiteral("contents")].toArray();
        ASSERT_FALSE(frames.isEmpty());
        EXPECT_EQ(frames.first()[QStringLiteral("object_name")].toString(), QString::fromLatin1(row.frameImage));
    }
    if (row.errorType == std::string("signal")) {
        EXPECT_EQ(crashed[QStringLiteral("stack")][QStringLiteral("overflow")].toBool(), row.isOverflow);
        EXPECT_TRUE(crashed[QStringLiteral("registers")][QStringLiteral("basic")].isObject());
    }
    if (row.isOverflow) {
        EXPECT_EQ(crashed[QStringLiteral("backtrace")][QStringLiteral("contents")].toArray().size(), 150);
        EXPECT_GT(crashed[QStringLiteral("backtrace")][QStringLiteral("skipped")].toInt(), 0);
    }

    const auto diagnosis = kestrix::KX_CrashDoctor::diagnoseCrash(*report);
    if (row.isSent) {
        const int at = crash.output.indexOf("sender=");
        ASSERT_GE(at, 0) << crash.output.toStdString();
        const int sender = crash.output.mid(at + 7).split('\n').first().toInt();
        EXPECT_EQ(error[QStringLiteral("address")].toInteger(-1), 0);
        EXPECT_EQ(error[QStringLiteral("signal")][QStringLiteral("sender_pid")].toInt(), sender);
        EXPECT_EQ(diagnosis.value_or(QString()), QStringLiteral("Signal SIGSEGV was sent by process %1.").arg(sender));
    } else if (row.isOverflow) {
        EXPECT_EQ(diagnosis.value_or(QString()), QStringLiteral("Stack overflow in crashStackOverflow"));
    } else if (std::string(row.name) == "null_write") {
        EXPECT_EQ(diagnosis.value_or(QString()), QStringLiteral("Attempted to dereference null pointer."));
    }

    const QString childPath = QString::fromLatin1(PLIMSY_CRASH_CHILD);
    QString mainUUID;
    for (const QJsonValue &image : (*report)[QStringLiteral("binary_images")].toArray()) {
        if (image[QStringLiteral("name")].toString() == childPath) {
            mainUUID = image[QStringLiteral("uuid")].toString();
        }
    }
    EXPECT_FALSE(mainUUID.isEmpty());
    EXPECT_EQ(mainUUID, buildIDAsUUID(childPath));
    EXPECT_EQ((*report)[QStringLiteral("system")][QStringLiteral("app_uuid")].toString(), mainUUID);
    EXPECT_EQ((*report)[QStringLiteral("user_atcrash")][QStringLiteral("marker")].toString(),
              QStringLiteral("from the callback"));
    const QJsonObject user = (*report)[QStringLiteral("user_atcrash")].toObject();
    EXPECT_TRUE(user[QStringLiteral("requiresAsyncSafety")].toBool());
    EXPECT_EQ(user[QStringLiteral("good")][QStringLiteral("list")].toArray(), QJsonArray({1, 2}));
    EXPECT_EQ(user[QStringLiteral("bad")][QStringLiteral("error")].toString(),
              QStringLiteral("Invalid JSON data: Invalid data"));
    EXPECT_EQ(user[QStringLiteral("bad")][QStringLiteral("json_data")].toString(), QStringLiteral("{\"list\":[1,2}"));
    if (row.rawJSON != nullptr) {
        EXPECT_EQ(user[QStringLiteral("raw")][QStringLiteral("error")].toString(),
                  QStringLiteral("Invalid JSON data: Invalid data"));
        EXPECT_EQ(user[QStringLiteral("raw")][QStringLiteral("json_data")].toString(),
                  QString::fromLatin1(row.rawJSON));
    }

    const QString statePath = QDir(directory).filePath(QStringLiteral("Plimsy-CrashState.json"));
    const auto crashedState = readReport(statePath);
    ASSERT_TRUE(crashedState.has_value());
    EXPECT_TRUE((*crashedState)[QStringLiteral("crashedLastLaunch")].toBool());

    const ChildResult rerun = runChild(QStringLiteral("none"), directory);
    EXPECT_TRUE(rerun.exited);
    EXPECT_EQ(rerun.exitCode, 0);
    EXPECT_TRUE(rerun.output.contains("crashedLastLaunch=1")) << rerun.output.toStdString();
    const auto cleanState = readReport(statePath);
    ASSERT_TRUE(cleanState.has_value());
    EXPECT_FALSE((*cleanState)[QStringLiteral("crashedLastLaunch")].toBool());
    EXPECT_EQ((*cleanState)[QStringLiteral("version")].toInt(), 1);
}

INSTANTIATE_TEST_SUITE_P(Faults, CrashReportTest, ::testing::ValuesIn(CrashRows), [](const auto &info) {
    return std::string(info.param.name);
});

struct RecrashRow
{
    const char *name;
    const char *signalName; // of the first crash
    const char *function;   // where the first crash happened
};

std::ostream &operator<<(std::ostream &out, const RecrashRow &row)
{
    return out << row.name;
}

class CrashReportRecrashTest : public ::testing::TestWithParam<RecrashRow>
{
};

TEST_P(CrashReportRecrashTest, aCrashInTheReportCallbackGivesTheMinimalReport)
{
    const RecrashRow &row = GetParam();
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const ChildResult crash = runChild(QString::fromLatin1(row.name), directory.path());
    EXPECT_EQ(crash.signal, SIGSEGV);

    const QStringList recrashes = reportsIn(directory.path(), QStringLiteral("RecrashReport"));
    ASSERT_EQ(recrashes.size(), 1);
    const auto report = readReport(QDir(directory.path()).filePath(recrashes.first()));
    ASSERT_TRUE(report.has_value());
    EXPECT_EQ((*report)[QStringLiteral("report")][QStringLiteral("type")].toString(), QStringLiteral("minimal"));
    const QJsonObject crashed = (*report)[QStringLiteral("crash")][QStringLiteral("crashed_thread")].toObject();
    EXPECT_TRUE(crashed[QStringLiteral("crashed")].toBool());
    EXPECT_FALSE(crashed.contains(QStringLiteral("state")));
    // Where the reporter crashed, and below it the crash it was reporting.
    const QStringList symbols = symbolsOf(crashed);
    EXPECT_TRUE(symbols.contains(QStringLiteral("crashInCallback"))) << symbols.join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(symbols.contains(QString::fromLatin1(row.function))) << symbols.join(QLatin1Char(' ')).toStdString();
    const QJsonObject error = (*report)[QStringLiteral("crash")][QStringLiteral("error")].toObject();
    EXPECT_EQ(error[QStringLiteral("signal")][QStringLiteral("name")].toString(), QString::fromLatin1(row.signalName));
    EXPECT_EQ(error[QStringLiteral("address")].toInteger(-1), 0);
    const QJsonArray images = (*report)[QStringLiteral("binary_images")].toArray();
    ASSERT_EQ(images.size(), 1);
    EXPECT_EQ(images.first()[QStringLiteral("name")].toString(), QString::fromLatin1(PLIMSY_CRASH_CHILD));

    // The standard report the crash interrupted keeps what it held and is closed.
    const QStringList standard = reportsIn(directory.path(), QStringLiteral("CrashReport"));
    ASSERT_EQ(standard.size(), 1);
    const auto interrupted = readReport(QDir(directory.path()).filePath(standard.first()));
    ASSERT_TRUE(interrupted.has_value());
    EXPECT_EQ((*interrupted)[QStringLiteral("crash")][QStringLiteral("error")][QStringLiteral("signal")]
                            [QStringLiteral("name")]
                                .toString(),
              QString::fromLatin1(row.signalName));
    int crashedCount = 0;
    EXPECT_TRUE(symbolsOf(crashedThreadOf(*interrupted, &crashedCount)).contains(QString::fromLatin1(row.function)));
    EXPECT_TRUE((*interrupted)[QStringLiteral("user_atcrash")].isObject());
    const auto state = readReport(QDir(directory.path()).filePath(QStringLiteral("Plimsy-CrashState.json")));
    ASSERT_TRUE(state.has_value());
    EXPECT_TRUE((*state)[QStringLiteral("crashedLastLaunch")].toBool());
}

const RecrashRow RecrashRows[] = {
    {"callback_crash", "SIGSEGV", "crashNullWrite"},
    {"abort_then_callback_crash", "SIGABRT", "crashAbort"},
};

INSTANTIATE_TEST_SUITE_P(Faults, CrashReportRecrashTest, ::testing::ValuesIn(RecrashRows), [](const auto &info) {
    return std::string(info.param.name);
});

// A crash while another thread loads and unloads a library, as Qt loads its plugins during launch,
// finds a complete image list: every report names the faulting function and lists the main image.
TEST(CrashReportImagesTest, aCrashWhileLibrariesComeAndGoKeepsTheMainImage)
{
    constexpr int Runs = 100;
    const QString mainImage = QFileInfo(QStringLiteral(PLIMSY_CRASH_CHILD)).canonicalFilePath();
    int complete = 0;
    for (int run = 0; run < Runs; ++run) {
        QTemporaryDir directory;
        const ChildResult crash =
            runChild(QStringLiteral("null_write_while_loading"), directory.path(), PLIMSY_TEST_PLUGIN);
        const QStringList reports = reportsIn(directory.path(), QStringLiteral("CrashReport"));
        const auto report =
            reports.size() == 1 ? readReport(QDir(directory.path()).filePath(reports.first())) : std::nullopt;
        if (!report) {
            ADD_FAILURE() << reports.size() << " reports, signal " << crash.signal << ", "
                          << crash.output.toStdString();
            continue;
        }
        int crashedCount = 0;
        const QStringList symbols = symbolsOf(crashedThreadOf(*report, &crashedCount));
        QStringList images;
        for (const QJsonValue &image : (*report)[QStringLiteral("binary_images")].toArray()) {
            images << image[QStringLiteral("name")].toString();
        }
        if (symbols.contains("crashNullWrite") && images.contains(mainImage)) {
            ++complete;
        } else {
            ADD_FAILURE() << symbols.join(' ').toStdString() << " in " << images.join(' ').toStdString();
        }
    }
    EXPECT_EQ(complete, Runs);
}

TEST(CrashReportSignalTest, anIgnoredSIGPIPEStaysIgnoredAndReportsNothing)
{
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const ChildResult run = runChild(QStringLiteral("sigpipe_ignored"), directory.path());
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.output.contains("write failed=1")) << run.output.toStdString();
    EXPECT_TRUE(reportsIn(directory.path(), QStringLiteral("CrashReport")).isEmpty());
    const auto state = readReport(QDir(directory.path()).filePath(QStringLiteral("Plimsy-CrashState.json")));
    ASSERT_TRUE(state.has_value());
    EXPECT_FALSE((*state)[QStringLiteral("crashedLastLaunch")].toBool());
}

} // namespace
