#pragma once

#include "FakeForge.h"

#include <QJsonArray>
#include <QList>
#include <QString>

namespace plimsy::test {

// The data set of `make demo`: two Forge accounts in one FakeForge, each seeing only its own
// organisations through its key, with an internationalised site name, a hidden and a revoked server.
struct DemoAccount
{
    QString name;
    QString uuid;
    QString key;
    QList<qint64> hiddenServers;
};

// A third key Forge accepts that no stored account uses: for adding an account in Preferences. It sees
// one organisation of its own.
inline constexpr char DemoSpareKey[] = "demo-spare-key";

QList<DemoAccount> buildDemoData(FakeForge &forge);

// The accounts as one JSON array ({"name", "uuid", "key", "hiddenServers"}), as the demo passes them on.
QJsonArray demoAccountsJson(const QList<DemoAccount> &accounts);
QList<DemoAccount> demoAccountsFromJson(const QJsonArray &array);

} // namespace plimsy::test
