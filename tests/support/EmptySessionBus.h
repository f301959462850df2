#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace plimsy::test {

// A private D-Bus session bus with no Secret Service on it and none that it could start, for running
// a child program against a store that cannot be reached.
class EmptySessionBus
{
public:
    EmptySessionBus() = default;
    ~EmptySessionBus()
    {
        m_bus.kill();
        m_bus.waitForFinished(5000);
    }

    // The bus address, or empty when the daemon did not start.
    QString start()
    {
        const QString config = QDir(m_folder.path()).filePath("bus.conf");
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly)) {
            return {};
        }
        file.write(R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=)"
                   + m_folder.path().toUtf8() + R"(</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)");
        file.close();
        m_bus.start("dbus-daemon", {"--nofork", "--print-address=1", "--config-file=" + config});
        if (!m_bus.waitForStarted(5000) || !m_bus.waitForReadyRead(5000)) {
            return {};
        }
        return QString::fromUtf8(m_bus.readLine()).trimmed();
    }

    // A path where no bus listens.
    QString missingAddress() const { return "unix:path=" + m_folder.path() + "/no-such-bus"; }

private:
    QTemporaryDir m_folder;
    QProcess m_bus;

    EmptySessionBus(const EmptySessionBus &) = delete;
    EmptySessionBus &operator=(const EmptySessionBus &) = delete;
};

} // namespace plimsy::test
