// Real plimsy processes: one user session keeps one instance, which takes the URLs of later starts; a
// crash leaves its report.
#include "FakeHttpServer.h"
#include "FakeStatusNotifierWatcher.h"
#include "X11Client.h"
#include "account/KeychainTokenStore.h"
#include "app/SingleInstanceManager.h"
#include "core/APIKeyManager.h"
#include "core/AccountManager.h"
#include "core/SimpleKeychain.h"
#include "platform/UserDefaults.h"

#include <QDir>
#include <QDirIterator>
#include <QGuiApplication>
#include <QHash>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdlib>

using namespace plimsy;
using namespace plimsy::test;

namespace {

class PlimsyProcessTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char *path : {"/api/v1/stats", "/v1/announcements", "/appcast.xml"}) {
            backend.route("*", QString::fromLatin1(path), FakeResponse::empty(204));
        }
        QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        defaults.setValue(QStringLiteral("hasCompletedOnboarding"), true);
    }

    void TearDown() override
    {
        stopAll();
        KeychainTokenStore().clear();
    }

    void stopAll()
    {
        for (const auto &process : processes) {
            process->kill();
            process->waitForFinished(20'000);
        }
    }

    // Every address at the fake backend, a runtime folder of this test's own, and the guard switched on.
    QProcess &start(const QStringList &arguments = {})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QLatin1String(SingleInstanceManager::DisabledVariable));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        const QString base = backend.url(QStringLiteral("/")).toString().chopped(1);
        environment.insert(QStringLiteral("PLIMSY_STATS_URL"), base + QStringLiteral("/api/v1/stats"));
        environment.insert(QStringLiteral("PLIMSY_API_BASE"), base + QStringLiteral("/v1"));
        environment.insert(QStringLiteral("PLIMSY_UPDATE_FEED_URL"), base + QStringLiteral("/appcast.xml"));
        environment.insert(QStringLiteral("PLIMSY_FORGE_API_BASE"), base + QStringLiteral("/forge/api/"));
        for (auto it = extraEnvironment.cbegin(); it != extraEnvironment.cend(); ++it) {
            if (it.value().isNull()) {
                environment.remove(it.key());
            } else {
                environment.insert(it.key(), it.value());
            }
        }
        auto process = std::make_unique<QProcess>();
        process->setWorkingDirectory(workingDirectory.path());
        process->setProcessEnvironment(environment);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(QStringLiteral(PLIMSY_APP), arguments);
        processes.push_back(std::move(process));
        return *processes.back();
    }

    qsizetype launchEvents() const { return backend.requestCount("POST", QStringLiteral("/api/v1/stats")); }

    // Started and listening: its launch event comes after the guard listens.
    QProcess &startFirst()
    {
        const qsizetype before = launchEvents();
        QProcess &first = start();
        EXPECT_TRUE(QTest::qWaitFor([&] { return launchEvents() > before; }, 60'000));
        return first;
    }

    bool exitsWith(QProcess &process, int code)
    {
        EXPECT_TRUE(QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 20'000));
        return process.exitStatus() == QProcess::NormalExit && process.exitCode() == code;
    }

    // Sends raw bytes to the running instance; true when it answered them.
    bool answers(const QByteArray &message)
    {
        QLocalSocket peer;
        peer.connectToServer(SingleInstanceManager(runtime.path()).socketPath());
        EXPECT_TRUE(peer.waitForConnected(20'000));
        QSignalSpy closed(&peer, &QLocalSocket::disconnected);
        peer.write(message);
        // A silent or unfinished peer is dropped after two seconds.
        EXPECT_TRUE(closed.wait(20'000));
        return peer.readAll() == "ok\n";
    }

    FakeHttpServer backend;
    QTemporaryDir runtime;
    QTemporaryDir workingDirectory;
    // The children's own defaults file (they do not run in the test mode of QStandardPaths).
    UserDefaults defaults{
        QDir(qEnvironmentVariable("XDG_CONFIG_HOME")).filePath(QStringLiteral("com.tindrel.Plimsy/Plimsy.conf"))};
    std::vector<std::unique_ptr<QProcess>> processes;
    // A null value removes the variable.
    QHash<QString, QString> extraEnvironment;
};

// Another local user's: a folder or file handed to the nobody account.
bool giveAway(const QString &path)
{
    return ::lchown(QFile::encodeName(path).constData(), 65534, 65534) == 0;
}

mode_t modeOf(const QString &path)
{
    struct stat status = {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777 : mode_t(-1);
}

// A listener another user left where a careless start would look for the running Plimsy.
struct PlantedListener
{
    explicit PlantedListener(const QString &path)
    {
        QLocalServer::removeServer(path);
        listening = server.listen(path) && giveAway(path);
    }
    // Connections are accepted while the test waits on the event loop.
    bool wasContacted() const { return server.hasPendingConnections(); }

    QLocalServer server;
    bool listening = false;
};

TEST_F(PlimsyProcessTest, ASecondStartHandsItsCallbackToTheFirstAndLeaves)
{
    defaults.setValue(QStringLiteral("authState"), QStringLiteral("STATE-42"));
    QProcess &first = startFirst();

    QProcess &second = start({QStringLiteral("plimsy://auth/callback?state=STATE-42&access_token=tok-42&user_id=4"
                                             "&email=robin%40example.com&name=Robin")});
    ASSERT_TRUE(exitsWith(second, 0));

    // The first signs in: the token is stored and the one-time state used up.
    ASSERT_TRUE(QTest::qWaitFor([] { return KeychainTokenStore().accessToken() == QStringLiteral("tok-42"); }, 20'000));
    EXPECT_FALSE(UserDefaults(defaults.filePath()).contains(QStringLiteral("authState")));
    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_EQ(launchEvents(), 1) << "the second start ran no launch sequence";

    // A start without a URL only brings the first forward.
    QProcess &third = start();
    ASSERT_TRUE(exitsWith(third, 0));
    EXPECT_EQ(first.state(), QProcess::Running);
}

TEST_F(PlimsyProcessTest, ALockLeftByAKilledInstanceIsTakenOverAndBadMessagesAreDropped)
{
    QProcess &killed = startFirst();
    killed.kill();
    ASSERT_TRUE(killed.waitForFinished(20'000));

    QProcess &successor = startFirst();
    EXPECT_EQ(successor.state(), QProcess::Running);

    EXPECT_FALSE(answers(QByteArray(SingleInstanceManager::MaxMessageBytes + 1, 'a')));
    QByteArray tooMany;
    for (int i = 0; i <= SingleInstanceManager::MaxURLs; ++i) {
        tooMany += "plimsy://auth/callback?n=" + QByteArray::number(i) + '\n';
    }
    EXPECT_FALSE(answers(tooMany + '\n'));
    EXPECT_FALSE(answers("plimsy://auth/callback"));
    EXPECT_TRUE(answers("plimsy://nothing-to-do\n\n"));
    EXPECT_EQ(successor.state(), QProcess::Running);
}

TEST_F(PlimsyProcessTest, AnUnansweringHolderMakesTheSecondStartFail)
{
    // A live process (this one) holds the lock but never listens.
    QLockFile held(SingleInstanceManager(runtime.path()).lockPath());
    ASSERT_TRUE(held.tryLock(0));

    QProcess &second = start({QStringLiteral("plimsy://auth/callback?state=x")});
    ASSERT_TRUE(exitsWith(second, 1));
    EXPECT_EQ(launchEvents(), 0);
}

// No runtime folder, and the temporary folder another user's: Qt's fallback there belongs to them, and they
// listen where a bare socket name would go. The starts meet in a private folder of Plimsy's own instead.
TEST_F(PlimsyProcessTest, WithoutARuntimeFolderTheHandOverStaysInAFolderOfItsOwn)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "handing a file to another user (chown) needs root";
    }
    QTemporaryDir hostile;
    QTemporaryDir cache;
    ASSERT_TRUE(QFile::setPermissions(hostile.path(), QFileDevice::Permissions(0x7777)));
    const QString userName = QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name);
    const QString theirRuntime = hostile.filePath(QStringLiteral("runtime-") + userName);
    ASSERT_TRUE(QDir().mkpath(theirRuntime));
    ASSERT_TRUE(giveAway(theirRuntime));
    const QString name = QStringLiteral("com.tindrel.Plimsy.%1.socket").arg(::geteuid());
    PlantedListener inTheirRuntime(QDir(theirRuntime).filePath(name));
    extraEnvironment.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString());
    extraEnvironment.insert(QStringLiteral("TMPDIR"), hostile.path());
    extraEnvironment.insert(QStringLiteral("XDG_CACHE_HOME"), cache.path());
    defaults.setValue(QStringLiteral("authState"), QStringLiteral("STATE-7"));

    QProcess &first = startFirst();
    // Taken after the first start, as a listener there would take a name the first could not have.
    PlantedListener inTemporary(hostile.filePath(name));
    ASSERT_TRUE(inTemporary.listening && inTheirRuntime.listening);
    QProcess &second = start({QStringLiteral("plimsy://auth/callback?state=STATE-7&access_token=tok-7&user_id=7"
                                             "&email=robin%40example.com&name=Robin")});
    ASSERT_TRUE(exitsWith(second, 0));
    ASSERT_TRUE(QTest::qWaitFor([] { return KeychainTokenStore().accessToken() == QStringLiteral("tok-7"); }, 20'000));
    EXPECT_FALSE(inTemporary.wasContacted());
    EXPECT_FALSE(inTheirRuntime.wasContacted());
    EXPECT_EQ(first.state(), QProcess::Running);

    const QString own = cache.filePath(QStringLiteral("com.tindrel.Plimsy/runtime"));
    EXPECT_EQ(modeOf(own), mode_t(0700));
    const SingleInstanceManager expected(own);
    EXPECT_TRUE(QFileInfo(expected.lockPath()).isFile());
    EXPECT_TRUE(QFileInfo(expected.socketPath()).exists());
    EXPECT_EQ(QDir(workingDirectory.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList());
}

// A later start hands the sign-in over only to its own user's socket, wherever it finds one.
TEST_F(PlimsyProcessTest, ASocketOfAnotherUserIsNeverSpokenTo)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "handing a file to another user (chown) needs root";
    }
    const SingleInstanceManager guard(runtime.path());
    QLockFile held(guard.lockPath());
    ASSERT_TRUE(held.tryLock(0));
    PlantedListener planted(guard.socketPath());
    ASSERT_TRUE(planted.listening);

    QProcess &second = start({QStringLiteral("plimsy://auth/callback?state=x&access_token=tok-x")});
    ASSERT_TRUE(exitsWith(second, 1));
    QCoreApplication::processEvents();
    EXPECT_FALSE(planted.wasContacted());
}

// The desktop ends a session with SIGTERM, and a terminal sends SIGINT or SIGHUP: Plimsy quits as by its
// Quit command, so its termination steps run (the guard gives up its lock and socket).
TEST_F(PlimsyProcessTest, SIGTERMSIGINTAndSIGHUPQuitAsTheQuitCommandDoes)
{
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        QProcess &running = startFirst();
        ::kill(pid_t(running.processId()), signal);
        ASSERT_TRUE(exitsWith(running, 0)) << signal;
        const SingleInstanceManager guard(runtime.path());
        EXPECT_FALSE(QFileInfo::exists(guard.socketPath())) << signal;
        EXPECT_FALSE(QFileInfo::exists(guard.lockPath())) << signal;
    }
}

} // namespace

namespace {

TEST_F(PlimsyProcessTest, ACrashLeavesAReportInTheDataFolder)
{
    // Under AddressSanitizer the crash core, not the sanitizer, must catch the signal.
    extraEnvironment.insert(QStringLiteral("ASAN_OPTIONS"),
                            qEnvironmentVariable("ASAN_OPTIONS") + QStringLiteral(":handle_segv=0:detect_leaks=0"));
    QProcess &crashing = startFirst();
    ::kill(pid_t(crashing.processId()), SIGSEGV);
    ASSERT_TRUE(crashing.waitForFinished(20'000));
    EXPECT_EQ(crashing.exitStatus(), QProcess::CrashExit);

    QStringList reports;
    QDirIterator found(qEnvironmentVariable("XDG_DATA_HOME"),
                       {QStringLiteral("CrashReport-*.json")},
                       QDir::Files,
                       QDirIterator::Subdirectories);
    while (found.hasNext()) {
        reports << found.next();
    }
    ASSERT_EQ(reports.size(), 1) << reports.join(' ').toStdString();
    QFile report(reports.constFirst());
    ASSERT_TRUE(report.open(QIODevice::ReadOnly));
    EXPECT_TRUE(report.readAll().contains("SIGSEGV"));
}

} // namespace

namespace {

// On the Xvfb display, where the first instance's windows can be seen from outside; nothing here signs in.
class ReopenWithoutTrayTest : public PlimsyProcessTest
{
protected:
    void TearDown() override { stopAll(); }

    struct Shown
    {
        xcb_window_t window;
        QByteArray pid;
        QString title;
    };

    static xcb_connection_t *connection()
    {
        return qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
    }

    // Every top-level window on screen, bottom to top.
    static QList<Shown> shownWindows()
    {
        xcb_connection_t *x = connection();
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
        const xcb_atom_t pidAtom = internAtom(x, "_NET_WM_PID");
        const xcb_atom_t nameAtom = internAtom(x, "_NET_WM_NAME");
        QList<Shown> shown;
        xcb_query_tree_reply_t *tree = xcb_query_tree_reply(x, xcb_query_tree(x, root), nullptr);
        const int count = tree ? xcb_query_tree_children_length(tree) : 0;
        for (int i = 0; i < count; ++i) {
            const xcb_window_t window = xcb_query_tree_children(tree)[i];
            xcb_get_window_attributes_reply_t *attributes =
                xcb_get_window_attributes_reply(x, xcb_get_window_attributes(x, window), nullptr);
            if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE) {
                shown.append(
                    {window, property(x, window, pidAtom), QString::fromUtf8(property(x, window, nameAtom, false))});
            }
            std::free(attributes);
        }
        std::free(tree);
        return shown;
    }

    // The titles of the process's top-level windows that are on screen.
    static QStringList shownWindowTitles(qint64 pid)
    {
        QStringList titles;
        for (const Shown &shown : shownWindows()) {
            if (shown.pid == QByteArray::number(pid)) {
                // The window manager's title carries the application's display name after the window's own.
                QString title = shown.title;
                title.remove(QRegularExpression(QStringLiteral(" — Plimsy$")));
                titles.append(title);
            }
        }
        return titles;
    }

    // The title of the window on top and of the one with the focus, when the process owns them.
    static QStringList frontAndFocus(qint64 pid)
    {
        const QList<Shown> shown = shownWindows();
        xcb_get_input_focus_reply_t *focus =
            xcb_get_input_focus_reply(connection(), xcb_get_input_focus(connection()), nullptr);
        const xcb_window_t focused = focus ? focus->focus : xcb_window_t(XCB_NONE);
        std::free(focus);
        QStringList titles{QString(), QString()};
        for (const Shown &window : shown) {
            if (window.pid != QByteArray::number(pid)) {
                continue;
            }
            if (window.window == shown.last().window) {
                titles[0] = window.title;
            }
            if (window.window == focused) {
                titles[1] = window.title;
            }
        }
        return titles;
    }

    // A window of another program's, mapped over everything.
    static xcb_window_t coverEverything()
    {
        xcb_connection_t *x = connection();
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
        const xcb_window_t window = xcb_generate_id(x);
        xcb_create_window(x,
                          XCB_COPY_FROM_PARENT,
                          window,
                          screen->root,
                          0,
                          0,
                          screen->width_in_pixels,
                          screen->height_in_pixels,
                          0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          screen->root_visual,
                          0,
                          nullptr);
        xcb_map_window(x, window);
        xcb_flush(x);
        return window;
    }

    // Asks the process's window of that title to close, as a window manager's close button does.
    static void closeWindow(qint64 pid, const QString &title)
    {
        xcb_connection_t *x = connection();
        for (const Shown &shown : shownWindows()) {
            if (shown.pid != QByteArray::number(pid) || shown.title != title) {
                continue;
            }
            xcb_client_message_event_t event{};
            event.response_type = XCB_CLIENT_MESSAGE;
            event.format = 32;
            event.window = shown.window;
            event.type = internAtom(x, "WM_PROTOCOLS");
            event.data.data32[0] = internAtom(x, "WM_DELETE_WINDOW");
            event.data.data32[1] = XCB_CURRENT_TIME;
            xcb_send_event(x, 0, shown.window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&event));
        }
        xcb_flush(x);
    }

    // Real key presses on the display, as the user types them into the focused window.
    static void xdotool(const QStringList &arguments)
    {
        QProcess process;
        process.start(QStringLiteral("xdotool"), arguments);
        ASSERT_TRUE(process.waitForFinished(20'000));
        ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    }

    // Waits until the process's window of that title has the keyboard focus.
    static bool focusComesTo(qint64 pid, const QString &title)
    {
        const QRegularExpression displayName(QStringLiteral(" — Plimsy$"));
        return QTest::qWaitFor([&] { return QString(frontAndFocus(pid).at(1)).remove(displayName) == title; }, 20'000);
    }

private:
    // A CARDINAL property as its decimal text, or a text property as it stands.
    static QByteArray property(xcb_connection_t *connection, xcb_window_t window, xcb_atom_t name, bool cardinal = true)
    {
        xcb_get_property_reply_t *reply = xcb_get_property_reply(
            connection, xcb_get_property(connection, 0, window, name, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024), nullptr);
        QByteArray value;
        if (reply && xcb_get_property_value_length(reply) > 0) {
            const auto *data = static_cast<const char *>(xcb_get_property_value(reply));
            value = cardinal ? QByteArray::number(*reinterpret_cast<const quint32 *>(data))
                             : QByteArray(data, xcb_get_property_value_length(reply));
        }
        std::free(reply);
        return value;
    }
};

// The first run's window is what the user is looking for: a second start brings it to the front and leaves
// the palette shut. Once it is closed, starting again opens the palette, the way to the menu's commands.
TEST_F(ReopenWithoutTrayTest, StartingPlimsyAgainBringsTheFirstRunsWindowForwardElseOpensTheActionBar)
{
    extraEnvironment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    defaults.setValue(QStringLiteral("hasCompletedOnboarding"), false);
    const QString onboarding = QStringLiteral("Welcome to Plimsy");
    const QString actionBar = QStringLiteral("Action Bar");
    QProcess &first = startFirst();
    const qint64 pid = first.processId();
    ASSERT_TRUE(QTest::qWaitFor([&] { return shownWindowTitles(pid).contains(onboarding); }, 20'000));
    const xcb_window_t cover = coverEverything();
    // Raised again while the first's own windows are still coming up.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const uint32_t above = XCB_STACK_MODE_ABOVE;
            xcb_configure_window(connection(), cover, XCB_CONFIG_WINDOW_STACK_MODE, &above);
            xcb_flush(connection());
            return shownWindows().last().window == cover;
        },
        20'000));

    ASSERT_TRUE(exitsWith(start(), 0));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return frontAndFocus(pid) == QStringList{onboarding, onboarding};
        },
        20'000))
        << frontAndFocus(pid).join(u',').toStdString();
    // Answered only once the start before it has been handled.
    EXPECT_TRUE(answers("plimsy://nothing-to-do\n\n"));
    EXPECT_FALSE(shownWindowTitles(pid).contains(actionBar));

    closeWindow(pid, onboarding);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !shownWindowTitles(pid).contains(onboarding); }, 20'000));
    ASSERT_TRUE(exitsWith(start(), 0));
    ASSERT_TRUE(QTest::qWaitFor([&] { return shownWindowTitles(pid).contains(actionBar); }, 20'000))
        << shownWindowTitles(pid).join(u',').toStdString();
    EXPECT_EQ(first.state(), QProcess::Running);
    xcb_destroy_window(connection(), cover);
    xcb_flush(connection());
}

// The desktop ends the session while the add sheet asks "Do you still want to save this key?" about a key
// Forge did not take. By SIGTERM Plimsy quits as by its Quit command (the guard gives up its lock and
// socket); killed outright it cannot clean up. Either way the key stored for the account that was never
// added is gone from the keyring once Plimsy has started again, and the other account keeps its key.
TEST_F(ReopenWithoutTrayTest, AKeyLeftWhileTheAddAskedWhetherToSaveItIsGoneAtTheNextStart)
{
    extraEnvironment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    APIKeyManager keys(std::make_unique<SimpleKeychain>(QString::fromLatin1(APIKeyManager::Service)));
    ASSERT_TRUE(keys.setAPIKey(QStringLiteral("KEPT-UUID"), QStringLiteral("kept-key")));
    Account kept;
    kept.name = QStringLiteral("Kept");
    kept.uuid = QStringLiteral("KEPT-UUID");
    AccountManager::saveAccounts({kept}, defaults);
    defaults.setValue(QLatin1String(AccountManager::MigratedKey), true);
    const auto cleanUp = qScopeGuard([&] {
        keys.removeKeysExcept({});
        defaults.remove(QLatin1String(AccountManager::AccountsKey));
    });
    const auto storedKeys = [] {
        APIKeyManager fresh(std::make_unique<SimpleKeychain>(QString::fromLatin1(APIKeyManager::Service)));
        fresh.loadKeysIfNeeded();
        return fresh.apiKeys().keys();
    };
    const QStringList keptOnly{QStringLiteral("KEPT-UUID")};
    const QString welcome = QStringLiteral("Welcome to Plimsy");

    for (const int signal : {SIGTERM, SIGKILL, 0}) {
        QProcess &running = startFirst();
        const qint64 pid = running.processId();
        EXPECT_TRUE(QTest::qWaitFor([&] { return storedKeys() == keptOnly; }, 20'000))
            << storedKeys().join(u' ').toStdString();
        if (signal == 0) {
            break;
        }
        // Nobody is signed in: the welcome window is closed, and starting again opens the Action Bar, where
        // the Preferences are one command away.
        ASSERT_TRUE(QTest::qWaitFor([&] { return shownWindowTitles(pid).contains(welcome); }, 20'000));
        closeWindow(pid, welcome);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !shownWindowTitles(pid).contains(welcome); }, 20'000));
        ASSERT_TRUE(exitsWith(start(), 0));
        ASSERT_TRUE(focusComesTo(pid, QStringLiteral("Action Bar")));
        xdotool({QStringLiteral("type"), QStringLiteral("prefer")});
        xdotool({QStringLiteral("key"), QStringLiteral("Return")});
        ASSERT_TRUE(focusComesTo(pid, QStringLiteral("General")));
        xdotool({QStringLiteral("key"), QStringLiteral("ctrl+Tab")});
        ASSERT_TRUE(focusComesTo(pid, QStringLiteral("Forge Accounts")));
        // From the tab's button past the accounts table to the add button.
        xdotool({QStringLiteral("key"), QStringLiteral("Tab"), QStringLiteral("Tab"), QStringLiteral("space")});
        ASSERT_TRUE(focusComesTo(pid, QStringLiteral("Add Forge Account")));
        xdotool({QStringLiteral("type"), QStringLiteral("Robin")});
        xdotool({QStringLiteral("key"), QStringLiteral("Tab")});
        xdotool({QStringLiteral("type"), QStringLiteral("refused-key")});
        xdotool({QStringLiteral("key"), QStringLiteral("shift+Tab"), QStringLiteral("Return")});
        // The fake Forge knows no key: the check fails and the question comes up, the key already stored.
        ASSERT_TRUE(focusComesTo(pid, QStringLiteral("Plimsy")));
        EXPECT_EQ(storedKeys().size(), 2) << storedKeys().join(u' ').toStdString();

        ::kill(pid_t(pid), signal);
        if (signal == SIGTERM) {
            ASSERT_TRUE(exitsWith(running, 0));
            const SingleInstanceManager guard(runtime.path());
            EXPECT_FALSE(QFileInfo::exists(guard.socketPath()));
            EXPECT_FALSE(QFileInfo::exists(guard.lockPath()));
        } else {
            ASSERT_TRUE(running.waitForFinished(20'000));
        }
    }
}

// GNOME's tray extension shows the icon, but GNOME offers no global shortcut: starting Plimsy again is then
// the way to the palette. Here another client holds the hot key.
TEST_F(ReopenWithoutTrayTest, WithATrayButNoHotKeyStartingAgainOpensTheActionBar)
{
    extraEnvironment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    FakeStatusNotifierWatcher watcher;
    ASSERT_TRUE(watcher.isRunning());
    xcb_connection_t *other = xcb_connect(nullptr, nullptr);
    ASSERT_TRUE(grabSuperShiftK(other));
    QProcess &first = startFirst();
    const qint64 pid = first.processId();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !watcher.registeredItems().isEmpty(); }, 20'000));
    // Nobody is signed in: the first run's window, which a second start would bring forward, is closed.
    const QString welcome = QStringLiteral("Welcome to Plimsy");
    ASSERT_TRUE(QTest::qWaitFor([&] { return shownWindowTitles(pid).contains(welcome); }, 20'000));
    closeWindow(pid, welcome);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !shownWindowTitles(pid).contains(welcome); }, 20'000));

    ASSERT_TRUE(exitsWith(start(), 0));
    EXPECT_TRUE(QTest::qWaitFor([&] { return shownWindowTitles(pid).contains(QStringLiteral("Action Bar")); }, 20'000))
        << shownWindowTitles(pid).join(u',').toStdString();
    EXPECT_EQ(first.state(), QProcess::Running);
    xcb_disconnect(other);
}

} // namespace
