#include "FakeCrashIntake.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace plimsy::test {

namespace {

QJsonObject firstOf(const RecordedRequest &request, const char *member)
{
    return QJsonDocument::fromJson(request.body).object().value(QLatin1String(member)).toArray().first().toObject();
}

bool isInternal(const QJsonObject &event)
{
    return event.value(QStringLiteral("metaData")).toObject().contains(QStringLiteral("KestrixDiagnostics"));
}

} // namespace

FakeCrashIntake::FakeCrashIntake(QObject *parent)
    : QObject(parent)
{
    answerEvents(FakeResponse::json("{}"));
    answerSessions(FakeResponse::json("{}"));
}

QUrl FakeCrashIntake::notifyURL() const
{
    return m_server.url(QStringLiteral("/notify"));
}

QUrl FakeCrashIntake::sessionsURL() const
{
    return m_server.url(QStringLiteral("/sessions"));
}

void FakeCrashIntake::answerEvents(FakeResponse response)
{
    m_server.route("POST", QStringLiteral("/notify"), std::move(response));
}

void FakeCrashIntake::answerEvents(QList<FakeResponse> responses)
{
    m_server.routeSequence("POST", QStringLiteral("/notify"), std::move(responses));
}

void FakeCrashIntake::answerSessions(FakeResponse response)
{
    m_server.route("POST", QStringLiteral("/sessions"), std::move(response));
}

QList<RecordedRequest> FakeCrashIntake::eventRequests() const
{
    return m_server.requests("POST", QStringLiteral("/notify"));
}

QList<RecordedRequest> FakeCrashIntake::sessionRequests() const
{
    return m_server.requests("POST", QStringLiteral("/sessions"));
}

QList<QJsonObject> FakeCrashIntake::events() const
{
    QList<QJsonObject> events;
    for (const RecordedRequest &request : eventRequests()) {
        events << firstOf(request, "events");
    }
    return events;
}

QList<QJsonObject> FakeCrashIntake::internalEvents() const
{
    QList<QJsonObject> found;
    for (const QJsonObject &event : events()) {
        if (isInternal(event)) {
            found << event;
        }
    }
    return found;
}

QList<QJsonObject> FakeCrashIntake::userEvents() const
{
    QList<QJsonObject> found;
    for (const QJsonObject &event : events()) {
        if (!isInternal(event)) {
            found << event;
        }
    }
    return found;
}

QList<QJsonObject> FakeCrashIntake::sessions() const
{
    QList<QJsonObject> sessions;
    for (const RecordedRequest &request : sessionRequests()) {
        sessions << firstOf(request, "sessions");
    }
    return sessions;
}

} // namespace plimsy::test
