#include "FlakyKeychain.h"
#include "PreferencesFixture.h"
#include "core/NotificationNames.h"
#include "core/URLConstants.h"
#include "preferences/ForgeTab.h"
#include "preferences/PreferencesNativeTable.h"

#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>

using namespace plimsy;
using namespace plimsy::test;

namespace {

// The Forge Accounts tab with the real status menu beside it, signed in and online.
class ForgeAccountsTest : public PreferencesFixture
{
protected:
    void SetUp() override
    {
        PreferencesFixture::SetUp();
        forge.buildAccount(1, 2, 3);
        forge.setValidKeys({"good-key"});
        for (const auto name : {NotificationNames::accountsChanged, NotificationNames::accountsReordered}) {
            NotificationCenter::defaultCenter().addObserver(
                name, &observer, [this](const Notification &n) { posted << n.name; });
        }
    }

    // The menu is up and idle; the first start's Preferences notice is dismissed.
    void startMenu()
    {
        start();
        networkUp();
        waitUntilIdle();
        for (const auto &shown : alerts.open()) {
            alerts.close(shown.id);
        }
    }

    ForgeTab *openTab(PreferencesServices with)
    {
        window = std::make_unique<PreferencesWindowController>(with);
        window->selectTab("Forge Accounts");
        window->showWindow();
        QCoreApplication::processEvents();
        return find<ForgeTab>("forgeAccountsTab");
    }
    ForgeTab *openTab() { return openTab(preferencesServices()); }

    // Opens the Add sheet and fills it in as a user pasting the key would.
    QPointer<QDialog> fillAddSheet(ForgeTab *tab, const QString &name, const QString &key)
    {
        click(tab, "addButton");
        QPointer<QDialog> added = sheet("addForgeAccountSheet");
        EXPECT_NE(added, nullptr);
        if (added) {
            QTest::keyClicks(find<QLineEdit>("accountNameField", added), name);
            find<QPlainTextEdit>("apiKeyField", added)->insertPlainText(key);
        }
        return added;
    }

    QStringList storedNames()
    {
        QStringList names;
        for (const Account &account : AccountManager::loadAccounts(defaults)) {
            names << account.name.value_or("<none>");
        }
        return names;
    }

    void select(ForgeTab *tab, const Account &account)
    {
        find<PreferencesNativeTable>("accountsTable", tab)->selectId(*account.uuid);
        QCoreApplication::processEvents();
        ASSERT_EQ(tab->selectedAccountUUID(), account.uuid);
    }

    QObject observer;
    QStringList posted;
};

} // namespace

TEST_F(ForgeAccountsTest, AnAcceptedKeyAddsOneTrimmedAccountWhoseServersReachTheMenu)
{
    startMenu();
    ForgeTab *tab = openTab();
    QPointer<QDialog> added = fillAddSheet(tab, "  Work  ", " \tgood-key\n");
    ASSERT_NE(added, nullptr);
    EXPECT_TRUE(added->isModal());
    EXPECT_EQ(added->windowModality(), Qt::WindowModal);
    click(added, "addButton");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !isOpen(added); }, 20'000));

    const QList<Account> stored = AccountManager::loadAccounts(defaults);
    ASSERT_EQ(stored.size(), 1);
    EXPECT_EQ(stored.first().name, "Work");
    EXPECT_EQ(keys.apiKey(*stored.first().uuid), "good-key");
    EXPECT_EQ(keys.apiKeys().size(), 1);
    EXPECT_EQ(posted, QStringList{"accountsChanged"});
    EXPECT_TRUE(alerts.open().isEmpty());
    EXPECT_EQ(tab->accounts(), stored);

    waitUntilIdle();
    EXPECT_EQ(appState.serverList.size(), 2);
    for (const FakeForge::Server &server : forge.servers()) {
        EXPECT_NE(itemTitled(menu(), server.name()), nullptr) << server.name().toStdString();
    }
}

TEST_F(ForgeAccountsTest, ARefusedKeyAsksAndOnlySaveAnywayKeepsTheAccount)
{
    startMenu();
    ForgeTab *tab = openTab();
    QPointer<QDialog> added = fillAddSheet(tab, "Side", "bad-key");
    ASSERT_NE(added, nullptr);
    click(added, "addButton");
    answer("Help");
    const auto question = alerts.shown().last().alert;
    EXPECT_EQ(question.messageText, "Error while trying to communicate with Forge API");
    EXPECT_EQ(question.buttons, (QStringList{"Save Anyway", "Cancel", "Help"}));
    EXPECT_EQ(question.window, added);
    EXPECT_EQ(opener.opened, QList{QUrl(apiKeyHelpURL())});
    // The same question comes back half a second later.
    EXPECT_TRUE(alerts.open().isEmpty());
    advanceClock(std::chrono::milliseconds(500));
    answer("Cancel");

    EXPECT_TRUE(isOpen(added));
    EXPECT_EQ(find<QLineEdit>("accountNameField", added)->text(), "Side");
    EXPECT_TRUE(AccountManager::loadAccounts(defaults).isEmpty());
    EXPECT_TRUE(keys.apiKeys().isEmpty()) << "the key of the account not added stayed behind";
    EXPECT_TRUE(posted.isEmpty());

    click(added, "addButton");
    answer("Save Anyway");
    EXPECT_FALSE(isOpen(added));
    const QList<Account> stored = AccountManager::loadAccounts(defaults);
    ASSERT_EQ(stored.size(), 1);
    EXPECT_EQ(keys.apiKeys(), (QMap<QString, QString>{{*stored.first().uuid, "bad-key"}}));
    EXPECT_EQ(posted, QStringList{"accountsChanged"});

    // A sheet closed after a failed check leaves no key either.
    QPointer<QDialog> again = fillAddSheet(tab, "Third", "other-bad-key");
    ASSERT_NE(again, nullptr);
    click(again, "addButton");
    answer("Cancel");
    click(again, "cancelButton");
    EXPECT_EQ(keys.apiKeys().size(), 1);
    EXPECT_EQ(storedNames(), QStringList{"Side"});
}

TEST_F(ForgeAccountsTest, AKeyStoreThatRefusesWritesKeepsKeysAndAccountsTogether)
{
    auto store = std::make_unique<FlakyKeychain>(keyService);
    FlakyKeychain &flaky = *store;
    APIKeyManager flakyKeys(std::move(store));
    PreferencesServices with = preferencesServices();
    with.forge.apiKeys = &flakyKeys;
    ASSERT_TRUE(flakyKeys.setAPIKey("KEPT", "kept-key"));
    Account kept;
    kept.name = "Kept";
    kept.uuid = "KEPT";
    AccountManager::saveAccounts({kept}, defaults);
    flaky.writesFail = true;

    ForgeTab *tab = openTab(with);
    QPointer<QDialog> added = fillAddSheet(tab, "Work", "good-key");
    ASSERT_NE(added, nullptr);
    click(added, "addButton");
    ASSERT_EQ(alerts.open().size(), 1);
    EXPECT_EQ(alerts.open().first().alert.messageText, "Could Not Save the API Key");
    EXPECT_TRUE(isOpen(added));
    EXPECT_EQ(storedNames(), QStringList{"Kept"});
    alerts.close(alerts.open().first().id);
    click(added, "cancelButton");

    select(tab, kept);
    click(tab, "removeButton");
    answer("Delete");
    ASSERT_EQ(alerts.open().size(), 1);
    EXPECT_EQ(alerts.open().first().alert.messageText, "Could Not Delete Account");
    EXPECT_EQ(storedNames(), QStringList{"Kept"});
    EXPECT_EQ(APIKeyManager(std::make_unique<SimpleKeychain>(keyService)).apiKey("KEPT"), "kept-key");
    EXPECT_TRUE(posted.isEmpty());
}

TEST_F(ForgeAccountsTest, RenameKeepsWhatWasWrittenElsewhereAndDeleteTakesTheKeyAlong)
{
    const Account first = addAccount("First");
    const Account second = addAccount("Second");
    ForgeTab *tab = openTab();
    EXPECT_EQ(storedNames(), (QStringList{"First", "Second"}));
    EXPECT_FALSE(find<QWidget>("removeButton", tab)->isEnabled());

    // A double click selects the row and opens the rename sheet for it.
    auto *table = find<PreferencesNativeTable>("accountsTable", tab);
    const QRect row = table->visualRect(table->tableModel().index(1, 0));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, row.center());
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, row.center());
    QCoreApplication::processEvents();
    EXPECT_EQ(tab->selectedAccountUUID(), second.uuid);
    QPointer<QDialog> rename = sheet("renameForgeAccountSheet");
    ASSERT_NE(rename, nullptr);
    auto *name = find<QLineEdit>("nameField", rename);
    EXPECT_EQ(name->text(), "Second");

    // Meanwhile another part of Preferences hides a server of the account.
    Account elsewhere = *AccountManager::findAccount(*second.uuid, defaults);
    elsewhere.addHiddenServer(7);
    saveAccount(elsewhere);

    name->setText("   ");
    EXPECT_FALSE(find<QWidget>("saveButton", rename)->isEnabled());
    name->setText("  Renamed ");
    QTest::keyClick(name, Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_FALSE(isOpen(rename));
    const Account renamed = *AccountManager::findAccount(*second.uuid, defaults);
    EXPECT_EQ(renamed.name, "Renamed");
    EXPECT_EQ(renamed.hiddenServers, QList<qint64>{7});
    EXPECT_EQ(posted, QStringList{"accountsChanged"});

    posted.clear();
    select(tab, first);
    click(tab, "removeButton");
    answer("Cancel");
    EXPECT_EQ(storedNames(), (QStringList{"First", "Renamed"}));
    click(tab, "removeButton");
    answer("Delete");
    EXPECT_EQ(storedNames(), QStringList{"Renamed"});
    EXPECT_EQ(keys.apiKey(*first.uuid), std::nullopt);
    EXPECT_EQ(keys.apiKey(*second.uuid), "key-Second");
    EXPECT_EQ(tab->selectedAccountUUID(), std::nullopt);
    EXPECT_EQ(posted, QStringList{"accountsChanged"});
}

TEST_F(ForgeAccountsTest, ADragSavesTheOrderAndPostsOnlyAccountsReordered)
{
    addAccount("One");
    addAccount("Two");
    addAccount("Three");
    ForgeTab *tab = openTab();
    PreferencesTableModel &model = find<PreferencesNativeTable>("accountsTable", tab)->tableModel();
    const std::unique_ptr<QMimeData> first(model.mimeData({model.index(0, 0)}));
    ASSERT_TRUE(model.dropMimeData(first.get(), Qt::MoveAction, 3, 0, {}));

    EXPECT_EQ(storedNames(), (QStringList{"Two", "Three", "One"}));
    EXPECT_EQ(model.rows().at(2).cells, QStringList{"One"});
    EXPECT_EQ(posted, QStringList{"accountsReordered"});
}

namespace {

struct AddInput
{
    const char *label;
    const char *name;
    const char *key;
    bool addEnabled;
};

class AddSheetInputTest : public ForgeAccountsTest, public ::testing::WithParamInterface<AddInput>
{
};

} // namespace

TEST_P(AddSheetInputTest, AddNeedsANameAndAKeyThatAreNotBlank)
{
    ForgeTab *tab = openTab();
    QPointer<QDialog> added = fillAddSheet(tab, GetParam().name, GetParam().key);
    ASSERT_NE(added, nullptr);
    auto *add = find<QAbstractButton>("addButton", added);
    EXPECT_EQ(add->isEnabled(), GetParam().addEnabled);
    // Return in the name field saves only what Add would.
    QTest::keyClick(find<QLineEdit>("accountNameField", added), Qt::Key_Return);
    QCoreApplication::processEvents();
    if (!GetParam().addEnabled) {
        EXPECT_TRUE(isOpen(added));
        EXPECT_TRUE(keys.apiKeys().isEmpty());
        return;
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return !isOpen(added); }, 20'000));
    EXPECT_EQ(storedNames(), QStringList{"Work"});
}

INSTANTIATE_TEST_SUITE_P(Inputs,
                         AddSheetInputTest,
                         ::testing::Values(AddInput{"noName", "", "good-key", false},
                                           AddInput{"blankName", "   ", "good-key", false},
                                           AddInput{"noKey", "Work", "", false},
                                           AddInput{"blankKey", "Work", " \n\t", false},
                                           AddInput{"both", " Work", "good-key ", true}),
                         [](const auto &info) { return std::string(info.param.label); });
