#pragma once

#include "FakeHttpServer.h"

#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QUrl>

namespace plimsy::test {

// The crash-reporting service's two endpoints on a local FakeHttpServer: "/notify" takes event
// payloads, "/sessions" session payloads. Both answer 200 unless told otherwise; everything is
// recorded.
class FakeCrashIntake : public QObject
{
    Q_OBJECT

public:
    explicit FakeCrashIntake(QObject *parent = nullptr);

    QUrl notifyURL() const;
    QUrl sessionsURL() const;

    // Each answer repeats until replaced; a sequence answers in turn and then repeats its last.
    void answerEvents(FakeResponse response);
    void answerEvents(QList<FakeResponse> responses);
    void answerSessions(FakeResponse response);

    QList<RecordedRequest> eventRequests() const;
    QList<RecordedRequest> sessionRequests() const;
    // The one event of each payload received, in order.
    QList<QJsonObject> events() const;
    // The events whose payload came from the crash reporter's own fault reports.
    QList<QJsonObject> internalEvents() const;
    QList<QJsonObject> userEvents() const;
    QList<QJsonObject> sessions() const;

    FakeHttpServer &server() { return m_server; }

private:
    FakeHttpServer m_server;
};

} // namespace plimsy::test
