#pragma once

#include "FakeForge.h"

#include <QJsonArray>
#include <QList>
#include <QMap>
#include <QString>

namespace plimsy::test {

// The data set of `make demo`: two Forge accounts in one FakeForge, each seeing only its own
// organisations through its key, with an internationalised site name, a hidden and a revoked server, and
// one site whose alias is an address of the fake that answers 200, so its site check comes out up.
struct DemoAccount
{
    QString name;
    QString uuid;
    QString key;
    QList<qint64> hiddenServers;
    QMap<qint64, QString> siteAliases;
};

// A third key Forge accepts that no stored account uses: for adding an account in Preferences. It sees
// one organisation of its own.
inline constexpr char DemoSpareKey[] = "demo-spare-key";

QList<DemoAccount> buildDemoData(FakeForge &forge);
// The same accounts and organisations, grown to `servers` visible servers with sites of the same kinds:
// none to three per server, some with a branch, some with an internationalised name.
QList<DemoAccount> buildDemoData(FakeForge &forge, int servers);

// The accounts as one JSON array ({"name", "uuid", "key", "hiddenServers", "siteAliases"}), as the demo
// passes them on.
QJsonArray demoAccountsJson(const QList<DemoAccount> &accounts);
QList<DemoAccount> demoAccountsFromJson(const QJsonArray &array);

} // namespace plimsy::test
