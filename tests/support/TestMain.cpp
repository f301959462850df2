#include "platform/HttpSession.h"

#include <QApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>

namespace {

// CTest runs each test in a process of its own, many at once: give each process its own home and
// XDG folders so that settings, logs and caches never leak between tests. Child processes inherit them.
void isolateHome(const QTemporaryDir &home)
{
    const QDir root(home.path());
    qputenv("HOME", QFile::encodeName(root.path()));
    for (const char *name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"}) {
        const QString path = root.filePath(QString::fromLatin1(name).toLower());
        QDir().mkpath(path);
        qputenv(name, QFile::encodeName(path));
    }
}

// Tests use the Secret Service under Plimsy's own service names too: on the user's session bus they
// would change the user's Forge keys and sign-in. scripts/test names the private bus it made.
bool isOnTheTestSessionBus()
{
    const QByteArray bus = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    return !bus.isEmpty() && bus == qgetenv("PLIMSY_TEST_BUS");
}

} // namespace

// Every test binary shares this main: a QApplication on the offscreen platform (unless the test's
// environment asks for xcb) and QStandardPaths in test mode, so no test touches the real home.
int main(int argc, char *argv[])
{
    ::testing::InitGoogleMock(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) {
        return RUN_ALL_TESTS();
    }
    if (!isOnTheTestSessionBus()) {
        std::fputs("Not running: tests run only through scripts/test, on its private session bus, so they never "
                   "touch your keyring\n",
                   stderr);
        return 2;
    }
    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/plimsy-test-XXXXXX"));
    if (!home.isValid()) {
        std::fputs("cannot create a temporary home for the test\n", stderr);
        return 2;
    }
    isolateHome(home);
    // Several Plimsy instances may run side by side under test: the single-instance guard stays off (a
    // test of the guard removes this for the processes it starts).
    qputenv("PLIMSY_TEST_HARNESS", "1");
    // The crash reporter of every Plimsy under test sends to a closed local port unless a test gives
    // it an intake: nothing leaves the machine.
    for (const char *name : {"PLIMSY_CRASH_NOTIFY_URL", "PLIMSY_CRASH_SESSIONS_URL"}) {
        if (qEnvironmentVariableIsEmpty(name)) {
            qputenv(name, "http://127.0.0.1:9/");
        }
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    if (qgetenv("QT_QPA_PLATFORM") == "offscreen") {
        // With a display at hand the offscreen platform opens it for OpenGL; keep those tests off X.
        qunsetenv("DISPLAY");
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QCoreApplication::setOrganizationDomain(QStringLiteral("tindrel.com"));
    QCoreApplication::setApplicationName(QStringLiteral("Plimsy"));
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    const int result = RUN_ALL_TESTS();
    // The shared HTTP session's network thread ends while the application is still whole.
    plimsy::HttpSession::shutdownShared();
    return result;
}
