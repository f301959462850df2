#include "PrivateKeyring.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QDir>
#include <QTest>
#include <QUuid>

namespace plimsy::test {

namespace {

const QString SecretService = QStringLiteral("org.freedesktop.secrets");
const QString ServicePath = QStringLiteral("/org/freedesktop/secrets");
const QString ServiceInterface = QStringLiteral("org.freedesktop.Secret.Service");
const QByteArray Password = "plimsy-private-keyring";
constexpr int Limit = 20'000;

int occurrences(const QByteArray &text, const QByteArray &member)
{
    int count = 0;
    for (const QByteArray &line : text.split('\n')) {
        if (line.startsWith("method call") && line.contains("member=" + member)) {
            ++count;
        }
    }
    return count;
}

} // namespace

PrivateKeyring::PrivateKeyring()
    : m_connectionName(QStringLiteral("plimsy-private-keyring-") + QUuid::createUuid().toString(QUuid::Id128))
{
    m_isRunning = start();
}

PrivateKeyring::~PrivateKeyring()
{
    QDBusConnection::disconnectFromBus(m_connectionName);
    for (QProcess *process : {&m_monitor, &m_keyring}) {
        process->kill();
        process->waitForFinished(5000);
    }
}

bool PrivateKeyring::start()
{
    const QString address = m_bus.start();
    if (address.isEmpty()) {
        return false;
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());

    const QDir root(m_folder.path());
    for (const char *name : {"runtime", "data"}) {
        root.mkpath(QString::fromLatin1(name));
    }
    QFile::setPermissions(root.filePath("runtime"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DBUS_SESSION_BUS_ADDRESS", address);
    environment.insert("XDG_RUNTIME_DIR", root.filePath("runtime"));
    environment.insert("XDG_DATA_HOME", root.filePath("data"));
    m_keyring.setProcessEnvironment(environment);
    m_keyring.start("gnome-keyring-daemon", {"--foreground", "--unlock", "--components=secrets"});
    if (!m_keyring.waitForStarted(Limit)) {
        return false;
    }
    m_keyring.write(Password);
    m_keyring.closeWriteChannel();

    QDBusConnection bus = QDBusConnection::connectToBus(address, m_connectionName);
    if (!QTest::qWaitFor([&bus] { return bus.interface()->isServiceRegistered(SecretService).value(); }, Limit)) {
        return false;
    }

    m_monitor.start("dbus-monitor",
                    {"--address",
                     address,
                     "type='method_call',interface='org.freedesktop.Secret.Service',member='Unlock'",
                     "type='method_call',interface='org.freedesktop.DBus.Peer',member='Ping'"});
    QObject::connect(&m_monitor, &QProcess::readyReadStandardOutput, &m_monitor, [this] {
        m_monitored += m_monitor.readAllStandardOutput();
    });
    return m_monitor.waitForStarted(Limit) && syncMonitor();
}

bool PrivateKeyring::syncMonitor()
{
    const QDBusConnection bus(m_connectionName);
    QDeadlineTimer deadline(Limit);
    while (!deadline.hasExpired()) {
        // Each marker has a path of its own, so a late one can never stand for a later sync.
        const QString path = QStringLiteral("/plimsy/sync%1").arg(++m_pingsSent);
        bus.call(QDBusMessage::createMethodCall(
            SecretService, path, QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping")));
        const QByteArray seen = "path=" + path.toUtf8() + ";";
        if (QTest::qWaitFor([&] { return m_monitored.contains(seen); }, 1000)) {
            return true;
        }
    }
    return false;
}

QString PrivateKeyring::defaultCollection() const
{
    QDBusMessage call = QDBusMessage::createMethodCall(SecretService, ServicePath, ServiceInterface, "ReadAlias");
    call << QStringLiteral("default");
    const QDBusMessage reply = QDBusConnection(m_connectionName).call(call);
    return reply.arguments().isEmpty() ? QString() : reply.arguments().constFirst().value<QDBusObjectPath>().path();
}

bool PrivateKeyring::lock()
{
    QDBusMessage call = QDBusMessage::createMethodCall(SecretService, ServicePath, ServiceInterface, "Lock");
    call << QVariant::fromValue(QList<QDBusObjectPath>{QDBusObjectPath(defaultCollection())});
    return QDBusConnection(m_connectionName).call(call).type() == QDBusMessage::ReplyMessage;
}

bool PrivateKeyring::unlock()
{
    const QDBusConnection bus(m_connectionName);
    QDBusMessage open = QDBusMessage::createMethodCall(SecretService, ServicePath, ServiceInterface, "OpenSession");
    open << QStringLiteral("plain") << QVariant::fromValue(QDBusVariant(QString()));
    const QDBusMessage opened = bus.call(open);
    if (opened.type() != QDBusMessage::ReplyMessage || opened.arguments().size() < 2) {
        return false;
    }
    QDBusArgument secret;
    secret.beginStructure();
    secret << opened.arguments().at(1).value<QDBusObjectPath>() << QByteArray() << Password
           << QStringLiteral("text/plain");
    secret.endStructure();
    QDBusMessage unlock = QDBusMessage::createMethodCall(SecretService,
                                                         ServicePath,
                                                         "org.gnome.keyring.InternalUnsupportedGuiltRiddenInterface",
                                                         "UnlockWithMasterPassword");
    unlock << QVariant::fromValue(QDBusObjectPath(defaultCollection())) << QVariant::fromValue(secret);
    return bus.call(unlock).type() == QDBusMessage::ReplyMessage;
}

int PrivateKeyring::unlockCalls()
{
    if (!syncMonitor()) {
        return -1;
    }
    return occurrences(m_monitored, "Unlock");
}

} // namespace plimsy::test
