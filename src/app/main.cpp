#include "account/KeychainTokenStore.h"
#include "app/AppDelegate.h"
#include "app/AppResources.h"
#include "app/QuitSignals.h"
#include "app/SingleInstanceManager.h"
#include "core/APIKeyManager.h"
#include "core/Logger.h"
#include "editor/EditorWebEngine.h"
#include "platform/BundleInfo.h"
#include "platform/HttpSession.h"

#include <QApplication>
#include <QIcon>
#include <QList>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr const char *NoDisplayLine = "Plimsy needs a graphical desktop session";

// Qt aborts when no display can be opened; say why in one line instead.
bool hasDisplay()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith("xcb") && !platform.startsWith("wayland")) {
        return true;
    }
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// While the application object is made, its messages are held back: when the display is set but cannot be
// opened, Qt aborts after several of them (a Wayland plugin's own, then xcb's), and that becomes one line and a
// plain failure exit. When the display opens, the held messages are passed on as usual.
struct HeldMessage
{
    QtMsgType type;
    QByteArray category;
    QString text;
};

QtMessageHandler s_previousHandler = nullptr;
QList<HeldMessage> s_heldMessages;

QByteArray displayComplaint()
{
    for (const HeldMessage &held : std::as_const(s_heldMessages)) {
        if (held.text.contains(QLatin1String("display"), Qt::CaseInsensitive)) {
            return held.text.trimmed().toUtf8();
        }
    }
    return QByteArrayLiteral("no platform plugin could open a display");
}

void startupMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "%s: %s.\n", NoDisplayLine, displayComplaint().constData());
        std::_Exit(1);
    }
    s_heldMessages.append({type, QByteArray(context.category), message});
}

void passOnHeldMessages()
{
    qInstallMessageHandler(s_previousHandler);
    for (const HeldMessage &held : std::as_const(s_heldMessages)) {
        s_previousHandler(held.type, QMessageLogContext(nullptr, 0, nullptr, held.category.constData()), held.text);
    }
    s_heldMessages.clear();
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    const QStringList urls = plimsy::SingleInstanceManager::urlArguments(arguments);
    // Step W, first half: a second start hands its URLs to the running Plimsy before it needs a display.
    QString failure;
    switch (plimsy::SingleInstanceManager::shared().claim(urls, &failure)) {
    case plimsy::SingleInstanceManager::Claim::HandedOver:
        return 0;
    case plimsy::SingleInstanceManager::Claim::Failed:
        std::fprintf(stderr, "%s\n", qUtf8Printable(failure));
        return 1;
    case plimsy::SingleInstanceManager::Claim::Sole:
        break;
    }

    // The Action Bar's and the menu's placement and the X11 key grab need xcb; in a Wayland session Qt runs
    // through XWayland, unless the user chose otherwise. Without an X display Qt picks its own platform.
    const bool choosesXcb = qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("DISPLAY");
    if (choosesXcb) {
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    if (!hasDisplay()) {
        std::fprintf(stderr, "%s: neither DISPLAY nor WAYLAND_DISPLAY is set.\n", NoDisplayLine);
        return 1;
    }
    s_previousHandler = qInstallMessageHandler(startupMessageHandler);
    plimsy::prepareEditorWebEngine();
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Plimsy"));
    passOnHeldMessages();
    // Terminals and other programs started from here choose their own platform.
    if (choosesXcb) {
        qunsetenv("QT_QPA_PLATFORM");
    }
    plimsy::routeQtMessagesToLog();
    // The first refresh needs the sign-in and the accounts' keys: the keyring is read meanwhile.
    plimsy::KeychainTokenStore::readAhead();
    plimsy::APIKeyManager::readAhead();
    QApplication::setQuitOnLastWindowClosed(false);
    // Wayland desktops find the icon through the desktop entry of that name.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(plimsy::BundleInfo::Identifier));

    plimsy::QuitSignals quitSignals;
    plimsy::AppDelegate delegate;
    delegate.loadInterface();
    delegate.applicationWillFinishLaunching();
    delegate.applicationDidFinishLaunching();
    // The windows' icon once the first refresh's request has been started (two turns, as the launch
    // event): loading it costs the first refresh otherwise.
    QTimer::singleShot(0, &app, [&app] {
        QTimer::singleShot(0, &app, [] {
            plimsy::ensureAppResources();
            QApplication::setWindowIcon(QIcon(QStringLiteral(":/images/AppIcon.svg")));
        });
    });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate, &plimsy::AppDelegate::applicationWillTerminate);
    // The URL this start was opened with, as the platform delivers it: after launching has finished.
    if (!urls.isEmpty()) {
        QTimer::singleShot(0, &delegate, [&delegate, urls] { delegate.handleURLs(urls); });
    }
    const int result = app.exec();
    // Requests still in transfer end while the delegate and everything their tasks use still exist.
    plimsy::HttpSession::shutdownShared();
    return result;
}
