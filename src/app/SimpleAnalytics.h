#pragma once

#include <QCoro/QCoroTask>
#include <QJsonObject>
#include <QString>
#include <QUrl>

namespace plimsy {

class HttpSession;
class UserDefaults;

// The launch statistics ping: one small JSON event per launch to the statistics endpoint; the answer
// and every failure are ignored. GUI thread.
class SimpleAnalytics
{
public:
    static constexpr auto MachineIdentifierKey = "uuid";

    struct Services
    {
        // Empty members take the process's own session and the standard defaults.
        HttpSession *session = nullptr;
        UserDefaults *defaults = nullptr;
        // The machine's serial number, hashed into the identifier; the device identity's when empty.
        QString serialNumber;
    };

    explicit SimpleAnalytics(QString reportingURL);
    SimpleAnalytics(QString reportingURL, Services services);
    ~SimpleAnalytics();

    // Sends the event once and returns at once; nothing is sent for an invalid address.
    void trackLaunch();

    // The stored identifier, else the SHA-1 of the serial number in lower-case hex (then stored).
    QString machineIdentifier();
    // "app", "version", "uuid", "macos" and "event", all strings.
    QJsonObject launchEvent();

private:
    static QCoro::Task<> send(QUrl url, QByteArray body, HttpSession *session);

    QString m_reportingURL;
    Services m_services;
};

} // namespace plimsy
