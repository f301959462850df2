// fake_forge: runs a FakeForge as a program of its own, for the demo and for trying the client by hand.
//
//   fake_forge [organizations servers sites] [--latency <ms>] [--key <api key>]...
//
// Prints "PLIMSY_FORGE_API_BASE=<url>" on its first line once it listens, then serves until killed.
#include "FakeForge.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A fake Forge API on 127.0.0.1 with a generated account."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("organizations"), QStringLiteral("Organisations (default 2)."));
    parser.addPositionalArgument(QStringLiteral("servers"), QStringLiteral("Servers (default 6)."));
    parser.addPositionalArgument(QStringLiteral("sites"), QStringLiteral("Sites (default 24)."));
    const QCommandLineOption latency(
        QStringLiteral("latency"), QStringLiteral("Added latency in ms."), QStringLiteral("ms"));
    const QCommandLineOption key(
        QStringLiteral("key"), QStringLiteral("An API key to accept (repeatable)."), QStringLiteral("key"));
    parser.addOption(latency);
    parser.addOption(key);
    parser.process(app);

    const QStringList counts = parser.positionalArguments();
    const auto count = [&counts](int index, int fallback) {
        bool ok = false;
        const int value = counts.value(index).toInt(&ok);
        return ok && value >= 0 ? value : fallback;
    };

    plimsy::test::FakeForge forge;
    forge.buildAccount(count(0, 2), count(1, 6), count(2, 24));
    forge.setValidKeys(parser.values(key));
    forge.setLatency(std::chrono::milliseconds(parser.value(latency).toInt()));

    std::printf("PLIMSY_FORGE_API_BASE=%s\n", forge.apiBase().toEncoded().constData());
    std::fflush(stdout);
    return app.exec();
}
