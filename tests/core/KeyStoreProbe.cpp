#include "core/APIKeyManager.h"
#include "core/AccountManager.h"
#include "core/SimpleKeychain.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdio>

// Child program for the "no Secret Service" tests: what the key store and the migration do when the
// store itself cannot be reached, one answer per line.
int main(int argc, char *argv[])
{
    using namespace plimsy;
    QCoreApplication app(argc, argv);
    const QString service = QStringLiteral("com.tindrel.plimsy.test.probe");
    APIKeyManager keys(std::make_unique<SimpleKeychain>(service));
    std::printf("load %s\n", keys.loadKeysIfNeeded() ? "ok" : "refused");
    std::printf("set %s\n", keys.setAPIKey(QStringLiteral("A"), QStringLiteral("key")) ? "ok" : "refused");
    std::printf("save %s\n", keys.saveKeys() ? "ok" : "refused");
    std::printf("key %s\n", keys.apiKey(QStringLiteral("A")) ? "found" : "none");

    QTemporaryDir folder;
    UserDefaults defaults(folder.filePath(QStringLiteral("Plimsy.conf")));
    SimpleKeychain legacy(service);
    const auto key = AccountManager::migrateToMultiAccountIfNeeded(legacy, defaults);
    std::printf("migration %s %s\n",
                key ? "key" : "nothing",
                defaults.contains(QLatin1String(AccountManager::MigratedKey)) ? "marked" : "unmarked");
    return 0;
}
