// fake-services: the fake Forge API, the fake account backend with the demo data set and a crash intake, for
// `make demo`. Prints one "NAME=value" line per address, then "PLIMSY_DEMO_ACCOUNTS=<json>", and serves
// until killed.
#include "DemoData.h"
#include "FakeAccountBackend.h"
#include "FakeCrashIntake.h"
#include "FakeForge.h"

#include <QCoreApplication>
#include <QJsonDocument>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    plimsy::test::FakeForge forge;
    const auto accounts = plimsy::test::buildDemoData(forge);
    plimsy::test::FakeAccountBackend backend;
    plimsy::test::FakeCrashIntake intake;

    const QByteArray api = backend.apiBase().toUtf8();
    const QByteArray web = backend.webBase().toUtf8();
    std::printf("PLIMSY_FORGE_API_BASE=%s\n", forge.apiBase().toEncoded().constData());
    std::printf("PLIMSY_DEV_API_BASE=%s\nPLIMSY_DEV_WEB_BASE=%s\n", api.constData(), web.constData());
    std::printf("PLIMSY_API_BASE=%s\nPLIMSY_WEB_BASE=%s\n", api.constData(), web.constData());
    std::printf("PLIMSY_CRASH_NOTIFY_URL=%s\nPLIMSY_CRASH_SESSIONS_URL=%s\n",
                intake.notifyURL().toEncoded().constData(),
                intake.sessionsURL().toEncoded().constData());
    std::printf("PLIMSY_DEMO_ACCOUNTS=%s\n",
                QJsonDocument(plimsy::test::demoAccountsJson(accounts)).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);
    return app.exec();
}
