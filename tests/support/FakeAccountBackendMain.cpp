// fake_account_backend: runs a FakeAccountBackend as a program of its own, for the demo and for trying
// the sign-in by hand.
//
//   fake_account_backend [--email <address>] [--name <name>] [--announcement <page url>]
//
// Prints "PLIMSY_API_BASE=<url>" and "PLIMSY_WEB_BASE=<url>" once it listens, then serves until killed.
#include "FakeAccountBackend.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A fake account backend and sign-in page on 127.0.0.1."));
    parser.addHelpOption();
    const QCommandLineOption email(
        QStringLiteral("email"), QStringLiteral("The signed-in user's e-mail address."), QStringLiteral("address"));
    const QCommandLineOption name(
        QStringLiteral("name"), QStringLiteral("The signed-in user's name."), QStringLiteral("name"));
    const QCommandLineOption announcement(
        QStringLiteral("announcement"), QStringLiteral("The announcement page to offer."), QStringLiteral("url"));
    parser.addOption(email);
    parser.addOption(name);
    parser.addOption(announcement);
    parser.process(app);

    plimsy::test::FakeAccountBackend backend;
    plimsy::test::FakeAccountBackend::SignedInUser user;
    if (parser.isSet(email)) {
        user.email = parser.value(email);
    }
    if (parser.isSet(name)) {
        user.name = parser.value(name);
    }
    backend.setUser(user);
    if (parser.isSet(announcement)) {
        backend.setAnnouncement(parser.value(announcement));
    }

    std::printf("PLIMSY_API_BASE=%s\nPLIMSY_WEB_BASE=%s\n",
                qUtf8Printable(backend.apiBase()),
                qUtf8Printable(backend.webBase()));
    std::fflush(stdout);
    return app.exec();
}
