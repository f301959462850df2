#include "crashreporter/support/KX_CrashDoctor.h"

#include <QJsonArray>

namespace kestrix {

namespace {

QJsonObject crashedThread(const QJsonObject &crash)
{
    if (crash.value(QStringLiteral("crashed_thread")).isObject()) {
        return crash.value(QStringLiteral("crashed_thread")).toObject();
    }
    for (const QJsonValue &thread : crash.value(QStringLiteral("threads")).toArray()) {
        if (thread.toObject().value(QStringLiteral("crashed")).toBool()) {
            return thread.toObject();
        }
    }
    return {};
}

} // namespace

std::optional<QString> KX_CrashDoctor::diagnoseCrash(const QJsonObject &report)
{
    const QString executable =
        report.value(QStringLiteral("report")).toObject().value(QStringLiteral("process_name")).toString();
    const QJsonObject crash = report.value(QStringLiteral("crash")).toObject();
    const QJsonObject thread = crashedThread(crash);
    const QJsonArray frames =
        thread.value(QStringLiteral("backtrace")).toObject().value(QStringLiteral("contents")).toArray();
    const QJsonObject error = crash.value(QStringLiteral("error")).toObject();
    QString inAppSymbol;
    for (const QJsonValue &frame : frames) {
        if (frame.toObject().value(QStringLiteral("object_name")).toString() == executable) {
            inAppSymbol = frame.toObject().value(QStringLiteral("symbol_name")).toString();
            break;
        }
    }

    if (thread.value(QStringLiteral("stack")).toObject().value(QStringLiteral("overflow")).toBool()) {
        return QStringLiteral("Stack overflow in %1").arg(inAppSymbol);
    }
    for (const QJsonValue &frame : frames) {
        const QJsonObject object = frame.toObject();
        const QString symbol = object.value(QStringLiteral("symbol_name")).toString();
        if (symbol == QLatin1String("objc_autoreleasePoolPush") || symbol == QLatin1String("free_list_checksum_botch")
            || symbol == QLatin1String("szone_malloc_should_clear")
            || (symbol == QLatin1String("lookUpMethod")
                && object.value(QStringLiteral("object_name")).toString() == QLatin1String("libobjc.A.dylib"))) {
            return QStringLiteral("Rogue memory write has corrupted memory.");
        }
    }
    const bool hasMach = error.value(QStringLiteral("mach")).isObject();
    const QJsonObject signal = error.value(QStringLiteral("signal")).toObject();
    const QString name =
        hasMach ? error.value(QStringLiteral("mach")).toObject().value(QStringLiteral("exception_name")).toString()
                : signal.value(QStringLiteral("name")).toString();
    const bool isFault = name == QLatin1String(hasMach ? "EXC_ARITHMETIC" : "SIGFPE")
                         || name == QLatin1String(hasMach ? "EXC_BAD_ACCESS" : "SIGSEGV");
    // A fault signal that another process sent says nothing about arithmetic or pointers.
    if (!hasMach && isFault && signal.contains(QStringLiteral("sender_pid"))) {
        return QStringLiteral("Signal %1 was sent by process %2.")
            .arg(name)
            .arg(signal.value(QStringLiteral("sender_pid")).toInteger());
    }
    if (name == QLatin1String(hasMach ? "EXC_ARITHMETIC" : "SIGFPE")) {
        return QStringLiteral("Math error (usually caused from division by 0).");
    }
    if (name == QLatin1String(hasMach ? "EXC_BAD_ACCESS" : "SIGSEGV")) {
        const auto address = static_cast<quint64>(error.value(QStringLiteral("address")).toDouble());
        if (address == 0) {
            return QStringLiteral("Attempted to dereference null pointer.");
        }
        return QStringLiteral("Attempted to dereference garbage pointer 0x%1.").arg(address, 0, 16);
    }
    return std::nullopt;
}

} // namespace kestrix
