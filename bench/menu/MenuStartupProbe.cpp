// menu_startup_probe: one start of the tray application for the start-up benchmark.
//
//   menu_startup_probe --full <forge api base> the status menu of one signed-in account, until its menu
//                                              holds every server and site of the account
//
// Prints "items=<menu items> rss_kb=<peak resident set>" and exits. Run with HOME and the XDG folders
// pointing at a scratch folder; the driver does that.
#include "BenchServices.h"
#include "PeakMemory.h"
#include "account/AuthService.h"
#include "core/APIKeyManager.h"
#include "core/AccountManager.h"
#include "core/NotificationNames.h"
#include "menu/AppState.h"
#include "menu/StatusMenuController.h"
#include "platform/MenuItems.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <QApplication>
#include <QDir>
#include <QMenu>

#include <cstdio>

namespace {

qsizetype countItems(const QMenu *menu)
{
    qsizetype count = 0;
    for (const QAction *item : menu->actions()) {
        count += 1;
        if (item->menu()) {
            count += countItems(item->menu());
        }
    }
    return count;
}

void report(qsizetype items)
{
    std::printf("items=%lld rss_kb=%ld\n", static_cast<long long>(items), plimsy::bench::peakResidentKilobytes());
    std::fflush(stdout);
}

int runFull(QApplication &app, const QString &forgeBase)
{
    plimsy::UserDefaults defaults(QDir::temp().filePath(QStringLiteral("menu-startup-probe.conf")));
    defaults.setValue(QStringLiteral("hasCompletedOnboarding"), true);
    defaults.setValue(QStringLiteral("migratedKeysToMultiAccount"), true);
    plimsy::Account account;
    account.name = QStringLiteral("Benchmark");
    account.uuid = QStringLiteral("0B6E6C2A-5F1D-4C3B-9A8E-7D6C5B4A3F21");
    plimsy::AccountManager::saveAccounts({account}, defaults);
    plimsy::APIKeyManager keys(std::make_unique<plimsy::bench::MemoryKeychain>());
    keys.setAPIKey(*account.uuid, QStringLiteral("bench-key"));

    plimsy::AppState state;
    plimsy::StatusMenuServices services;
    services.defaults = &defaults;
    plimsy::bench::SignedInServices signedIn(defaults);
    services.authService = &signedIn.container.authService();
    services.forge.baseURL = forgeBase;
    services.forge.apiKeys = &keys;
    plimsy::StatusMenuController controller(state, services);
    QObject observer;
    plimsy::NotificationCenter::defaultCenter().addObserver(
        plimsy::NotificationNames::allSitesLoaded, &observer, [&controller, &state](const plimsy::Notification &) {
            if (state.isLoadingData()) {
                return;
            }
            report(countItems(controller.statusMenu()));
            QCoreApplication::exit(state.siteList.isEmpty() ? 1 : 0);
        });
    controller.setup();
    return app.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.value(1) == QLatin1String("--full") && arguments.size() > 2) {
        return runFull(app, arguments.at(2));
    }
    std::fputs("usage: menu_startup_probe --full <forge api base>\n", stderr);
    return 2;
}
