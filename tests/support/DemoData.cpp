#include "DemoData.h"

#include <QJsonObject>
#include <QStringList>

namespace plimsy::test {

namespace {

FakeForge::Site &addSite(FakeForge &forge, qint64 serverId, const QString &name, const QString &branch = {})
{
    FakeForge::Site &site = forge.addSite(serverId, name);
    if (!branch.isEmpty()) {
        site.attributes.insert(
            QStringLiteral("repository"),
            QJsonObject{{QStringLiteral("provider"), QStringLiteral("github")},
                        {QStringLiteral("url"), QStringLiteral("git@github.com:demo/%1.git").arg(name)},
                        {QStringLiteral("branch"), branch},
                        {QStringLiteral("status"), QStringLiteral("installed")}});
    }
    return site;
}

} // namespace

QList<DemoAccount> buildDemoData(FakeForge &forge)
{
    DemoAccount personal{QStringLiteral("Personal"),
                         QStringLiteral("5C1A3E0B-2D4F-4B6A-9E21-7F3C8D9A0B11"),
                         QStringLiteral("demo-personal-key"),
                         {},
                         {}};
    DemoAccount agency{QStringLiteral("Northwind Agency"),
                       QStringLiteral("A7E9D2C4-6B1F-4E3A-8C5D-2B0F1E9D8C22"),
                       QStringLiteral("demo-agency-key"),
                       {},
                       {}};

    FakeForge::Organization &projects =
        forge.addOrganization(QStringLiteral("Robin's Projects"), QStringLiteral("robins-projects"));
    projects.keys = {personal.key};
    const qint64 blog = forge.addServer(projects.slug, QStringLiteral("blog-server")).id;
    const qint64 robin = addSite(forge, blog, QStringLiteral("robin.example"), QStringLiteral("main")).id;
    forge.http().route("GET", QStringLiteral("/demo/up"), FakeResponse::text("up"));
    personal.siteAliases.insert(robin, forge.http().url(QStringLiteral("/demo/up")).toString());
    addSite(forge, blog, QStringLiteral("xn--caf-dma.example"), QStringLiteral("main"));
    addSite(forge, blog, QStringLiteral("notes.example"));
    const qint64 playground = forge.addServer(projects.slug, QStringLiteral("playground")).id;
    addSite(forge, playground, QStringLiteral("lab.example"), QStringLiteral("develop"));
    forge.addServer(projects.slug, QStringLiteral("old-vps")).attributes.insert(QStringLiteral("revoked"), true);
    const qint64 staging = forge.addServer(projects.slug, QStringLiteral("staging-box")).id;
    addSite(forge, staging, QStringLiteral("staging.robin.example"));
    personal.hiddenServers = {staging};

    FakeForge::Organization &studio =
        forge.addOrganization(QStringLiteral("Northwind Studio"), QStringLiteral("northwind"));
    studio.keys = {agency.key};
    const qint64 eu = forge.addServer(studio.slug, QStringLiteral("web-eu-1")).id;
    addSite(forge, eu, QStringLiteral("northwind.example"), QStringLiteral("production"));
    addSite(forge, eu, QStringLiteral("shop.northwind.example"), QStringLiteral("production"));
    addSite(forge, eu, QStringLiteral("xn--mnchen-3ya.example"));
    const qint64 us = forge.addServer(studio.slug, QStringLiteral("Web-US-1")).id;
    addSite(forge, us, QStringLiteral("api.northwind.example"), QStringLiteral("main"));
    addSite(forge, us, QStringLiteral("docs.northwind.example"));

    FakeForge::Organization &hosting =
        forge.addOrganization(QStringLiteral("Client Hosting"), QStringLiteral("client-hosting"));
    hosting.keys = {agency.key};
    const qint64 acme = forge.addServer(hosting.slug, QStringLiteral("acme-prod")).id;
    addSite(forge, acme, QStringLiteral("acme.example"), QStringLiteral("release"));
    addSite(forge, acme, QStringLiteral("www.acme.example"));
    forge.addServer(hosting.slug, QStringLiteral("acme-db"));
    const qint64 bakery = forge.addServer(hosting.slug, QStringLiteral("bakery-app")).id;
    addSite(forge, bakery, QStringLiteral("xn--bckerei-5wa.example"), QStringLiteral("main"));

    FakeForge::Organization &spare = forge.addOrganization(QStringLiteral("Side Projects"), QStringLiteral("side"));
    spare.keys = {QString::fromLatin1(DemoSpareKey)};
    const qint64 hobby = forge.addServer(spare.slug, QStringLiteral("hobby-box")).id;
    addSite(forge, hobby, QStringLiteral("garden.example"), QStringLiteral("main"));
    addSite(forge, hobby, QStringLiteral("recipes.example"));

    forge.setValidKeys({personal.key, agency.key, QString::fromLatin1(DemoSpareKey)});
    return {personal, agency};
}

QList<DemoAccount> buildDemoData(FakeForge &forge, int servers)
{
    const QList<DemoAccount> accounts = buildDemoData(forge);
    const QStringList slugs{
        QStringLiteral("robins-projects"), QStringLiteral("northwind"), QStringLiteral("client-hosting")};
    const QStringList branches{QStringLiteral("main"), QString(), QStringLiteral("production"), QString()};
    constexpr int DemoServers = 8; // seen by the two accounts, revoked ones left out
    for (int i = 0; i < servers - DemoServers; ++i) {
        const qint64 server =
            forge.addServer(slugs.at(i % slugs.size()), QStringLiteral("app-%1").arg(i, 3, 10, QLatin1Char('0'))).id;
        for (int s = 0; s < (i * 7) % 4; ++s) {
            const QString name = s == 2 ? QStringLiteral("s%1.xn--caf-dma.example").arg(i)
                                        : QStringLiteral("site-%1-%2.example").arg(i).arg(s);
            FakeForge::Site &site = forge.addSite(server, name);
            if (const QString branch = branches.at((i + s) % branches.size()); !branch.isEmpty()) {
                site.attributes.insert(QStringLiteral("repository"),
                                       QJsonObject{{QStringLiteral("provider"), QStringLiteral("github")},
                                                   {QStringLiteral("branch"), branch}});
            }
        }
    }
    return accounts;
}

QJsonArray demoAccountsJson(const QList<DemoAccount> &accounts)
{
    QJsonArray array;
    for (const DemoAccount &account : accounts) {
        QJsonArray hidden;
        for (const qint64 id : account.hiddenServers) {
            hidden.append(id);
        }
        QJsonObject aliases;
        for (auto alias = account.siteAliases.cbegin(); alias != account.siteAliases.cend(); ++alias) {
            aliases.insert(QString::number(alias.key()), alias.value());
        }
        array.append(QJsonObject{{QStringLiteral("name"), account.name},
                                 {QStringLiteral("uuid"), account.uuid},
                                 {QStringLiteral("key"), account.key},
                                 {QStringLiteral("hiddenServers"), hidden},
                                 {QStringLiteral("siteAliases"), aliases}});
    }
    return array;
}

QList<DemoAccount> demoAccountsFromJson(const QJsonArray &array)
{
    QList<DemoAccount> accounts;
    for (const QJsonValue &value : array) {
        const QJsonObject object = value.toObject();
        DemoAccount account{object.value(QStringLiteral("name")).toString(),
                            object.value(QStringLiteral("uuid")).toString(),
                            object.value(QStringLiteral("key")).toString(),
                            {},
                            {}};
        for (const QJsonValue &id : object.value(QStringLiteral("hiddenServers")).toArray()) {
            account.hiddenServers.append(id.toInteger());
        }
        const QJsonObject aliases = object.value(QStringLiteral("siteAliases")).toObject();
        for (auto alias = aliases.constBegin(); alias != aliases.constEnd(); ++alias) {
            account.siteAliases.insert(alias.key().toLongLong(), alias.value().toString());
        }
        accounts.append(account);
    }
    return accounts;
}

} // namespace plimsy::test
