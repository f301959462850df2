#include "preferences/CustomServersTab.h"

#include "PreferencesFixture.h"
#include "core/NotificationNames.h"
#include "menu/CustomServerStore.h"
#include "menu/MenuTags.h"
#include "platform/MenuItems.h"
#include "preferences/PreferencesNativeTable.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>

using namespace plimsy;
using namespace plimsy::test;

namespace {

// The four texts of the custom-server form.
struct Texts
{
    QString name;
    QString host;
    QString user;
    QString port;
};

// The Servers tab with the real status menu beside it.
class CustomServersTabTest : public PreferencesFixture
{
protected:
    void SetUp() override
    {
        PreferencesFixture::SetUp();
        for (const auto name : {NotificationNames::customServersDidChange, NotificationNames::accountsChanged}) {
            NotificationCenter::defaultCenter().addObserver(
                name, &observer, [this](const Notification &n) { posted << n.name; });
        }
    }

    CustomServersTab *openTab()
    {
        openWindow("Servers");
        return find<CustomServersTab>("serversTab");
    }

    // Opens the add or edit form and types the texts over what it shows.
    QPointer<QDialog> fillForm(CustomServersTab *tab, const char *button, const Texts &texts)
    {
        click(tab, button);
        QPointer<QDialog> form = sheet("customServerSheet");
        EXPECT_TRUE(isOpen(form));
        if (form) {
            const std::pair<const char *, QString> fields[] = {{"nameField", texts.name},
                                                               {"hostField", texts.host},
                                                               {"userField", texts.user},
                                                               {"portField", texts.port}};
            for (const auto &[name, text] : fields) {
                // As pasted: control characters reach the field too.
                auto *field = find<QLineEdit>(name, form);
                field->selectAll();
                field->insert(text);
            }
        }
        return form;
    }

    QStringList storedNames() const
    {
        QStringList names;
        for (const CustomServer &server : CustomServerStore(const_cast<UserDefaults &>(defaults)).load()) {
            names << server.name;
        }
        return names;
    }

    void select(CustomServersTab *tab, const QUuid &id)
    {
        find<PreferencesNativeTable>("customServersTable", tab)->selectId(id);
        QCoreApplication::processEvents();
    }

    QStringList customServersSubmenu() const
    {
        return titles(MenuItems::itemWithTag(menu(), MenuTags::CustomServers)->menu());
    }

    QObject observer;
    QStringList posted;
};

struct FormRow
{
    const char *name;
    Texts texts;
    // The port stored when saved; a reason when refused.
    std::optional<qint64> port;
    QString reason;
};

void PrintTo(const FormRow &row, std::ostream *out)
{
    *out << row.name;
}

class CustomServerFormTest : public CustomServersTabTest, public ::testing::WithParamInterface<FormRow>
{
};

TEST_P(CustomServerFormTest, SavesOnlyWhatAnSshLoginMayBeGiven)
{
    const FormRow &row = GetParam();
    CustomServersTab *tab = openTab();
    QPointer<QDialog> form = fillForm(tab, "addButton", row.texts);
    auto *save = find<QAbstractButton>("saveButton", form);
    auto *reason = find<QLabel>("formProblemLabel", form);
    if (!row.reason.isEmpty()) {
        EXPECT_FALSE(save->isEnabled());
        EXPECT_TRUE(reason->isVisible());
        EXPECT_TRUE(reason->text().contains(row.reason)) << reason->text().toStdString();
        // Return does not get past the disabled button either.
        QTest::keyClick(find<QLineEdit>("portField", form), Qt::Key_Return);
        EXPECT_TRUE(isOpen(form));
        EXPECT_TRUE(storedNames().isEmpty());
        return;
    }
    EXPECT_FALSE(reason->isVisible());
    click(form, "saveButton");
    EXPECT_FALSE(isOpen(form));
    const QList<CustomServer> stored = CustomServerStore(defaults).load();
    ASSERT_EQ(stored.size(), 1);
    EXPECT_EQ(stored.first().name, row.texts.name);
    EXPECT_EQ(stored.first().host, row.texts.host);
    EXPECT_EQ(stored.first().port, row.port);
    EXPECT_EQ(posted, QStringList{"customServersDidChange"});
}

const QString PortReason = QStringLiteral("from 1 to 65535");

const FormRow FormRows[] = {
    {"Port22", {"Box", "box.example", "admin", "22"}, 22, {}},
    {"Port2222", {"Box", "10.0.0.2", "deploy", "2222"}, 2222, {}},
    {"NoPort", {"Box", "[::1]", "admin", ""}, std::nullopt, {}},
    {"Port0", {"Box", "box.example", "admin", "0"}, std::nullopt, PortReason},
    {"Port65536", {"Box", "box.example", "admin", "65536"}, std::nullopt, PortReason},
    {"Port70000", {"Box", "box.example", "admin", "70000"}, std::nullopt, PortReason},
    {"PlusSign", {"Box", "box.example", "admin", "+22"}, std::nullopt, PortReason},
    {"MinusSign", {"Box", "box.example", "admin", "-5"}, std::nullopt, PortReason},
    {"LeadingBlank", {"Box", "box.example", "admin", " 22"}, std::nullopt, PortReason},
    {"TrailingLetter", {"Box", "box.example", "admin", "22a"}, std::nullopt, PortReason},
    {"TwentyDigits", {"Box", "box.example", "admin", "12345678901234567890"}, std::nullopt, PortReason},
    {"BlankName", {"   ", "box.example", "admin", ""}, std::nullopt, "name is empty"},
    {"HostWithABlank", {"Box", "box example", "admin", ""}, std::nullopt, "host may only hold"},
    {"HostAnOption", {"Box", "-oProxyCommand=touch", "admin", ""}, std::nullopt, "begins with \"-\""},
    {"HostWithAControlCharacter", {"Box", "box\x01.example", "admin", ""}, std::nullopt, "host may only hold"},
    {"UserWithABlank", {"Box", "box.example", "ad min", ""}, std::nullopt, "user name may only hold"},
    {"UserAnOption", {"Box", "box.example", "-lroot", ""}, std::nullopt, "begins with \"-\""},
    {"UserWithAControlCharacter", {"Box", "box.example", "ad\tmin", ""}, std::nullopt, "user name may only hold"},
    {"EmptyUser", {"Box", "box.example", "", ""}, std::nullopt, "user name is empty"},
};

INSTANTIATE_TEST_SUITE_P(Inputs, CustomServerFormTest, ::testing::ValuesIn(FormRows), [](const auto &info) {
    return std::string(info.param.name);
});

TEST_F(CustomServersTabTest, AddEditDeleteAndReorderReachTheTraySubmenu)
{
    start();
    for (const auto &shown : alerts.open()) {
        alerts.close(shown.id);
    }
    CustomServersTab *tab = openTab();
    for (const char *name : {"Alpha", "Bravo", "Charlie"}) {
        click(tab, "addButton");
        QPointer<QDialog> form = sheet("customServerSheet");
        ASSERT_TRUE(isOpen(form));
        QTest::keyClicks(find<QLineEdit>("nameField", form), name);
        QTest::keyClicks(find<QLineEdit>("hostField", form), QString(name).toLower() + ".example");
        QTest::keyClicks(find<QLineEdit>("userField", form), "admin");
        click(form, "saveButton");
    }
    EXPECT_EQ(storedNames(), (QStringList{"Alpha", "Bravo", "Charlie"}));
    EXPECT_EQ(customServersSubmenu(), (QStringList{"Alpha", "Bravo", "Charlie"}));

    // Cancel leaves everything as it was.
    fillForm(tab, "addButton", {"Delta", "delta.example", "admin", ""});
    click(sheet("customServerSheet"), "cancelButton");
    EXPECT_EQ(posted.size(), 3);

    const QList<CustomServer> added = CustomServerStore(defaults).load();
    select(tab, added.at(1).id);
    QPointer<QDialog> form = fillForm(tab, "editButton", {"Bravo 2", "bravo.example", "root", "2222"});
    EXPECT_EQ(form->windowTitle(), "Edit Custom Server");
    click(form, "saveButton");
    const QList<CustomServer> edited = CustomServerStore(defaults).load();
    EXPECT_EQ(edited.at(1).id, added.at(1).id);
    EXPECT_EQ(edited.at(1).sshCommand(), "ssh -p 2222 root@bravo.example");
    EXPECT_EQ(find<PreferencesNativeTable>("customServersTable", tab)->tableModel().rows().at(1).cells,
              (QStringList{"Bravo 2", "ssh -p 2222 root@bravo.example"}));

    // A drag of the first row below the last.
    PreferencesTableModel &model = find<PreferencesNativeTable>("customServersTable", tab)->tableModel();
    const std::unique_ptr<QMimeData> first(model.mimeData({model.index(0, 0)}));
    ASSERT_TRUE(model.dropMimeData(first.get(), Qt::MoveAction, 3, 0, {}));
    QCoreApplication::processEvents();
    EXPECT_EQ(storedNames(), (QStringList{"Bravo 2", "Charlie", "Alpha"}));
    EXPECT_EQ(customServersSubmenu(), (QStringList{"Bravo 2", "Charlie", "Alpha"}));

    select(tab, added.at(2).id);
    click(tab, "removeButton");
    ASSERT_EQ(alerts.open().size(), 1);
    EXPECT_EQ(alerts.open().first().alert.messageText, "Delete Server?");
    EXPECT_EQ(alerts.open().first().alert.informativeText, "Are you sure you want to delete “Charlie”?");
    answer("Delete");
    EXPECT_EQ(storedNames(), (QStringList{"Bravo 2", "Alpha"}));
    EXPECT_EQ(customServersSubmenu(), (QStringList{"Bravo 2", "Alpha"}));
    EXPECT_EQ(tab->selectedServerID(), std::nullopt);
    EXPECT_FALSE(find<QWidget>("removeButton", tab)->isEnabled());
}

TEST_F(CustomServersTabTest, HidingAServerTakesItOutOfTheMenuWhenTheSheetEnds)
{
    const Account account = addAccount("Main");
    const QString organization = forge.addOrganization("Acme").slug;
    const qint64 alpha = forge.addServer(organization, "alpha").id;
    const qint64 beta = forge.addServer(organization, "beta").id;
    forge.server(beta)->attributes["private_ip_address"] = "10.0.0.7";
    start();
    networkUp();
    waitUntilIdle();
    ASSERT_TRUE(titles(menu()).contains("beta"));
    CustomServersTab *tab = openTab();

    click(tab, "configureServersButton");
    QPointer<QDialog> settings = sheet("serverSettingsSheet");
    ASSERT_TRUE(isOpen(settings));
    EXPECT_EQ(find<QLabel>("serverNameLabel", settings)->text(), "alpha");
    click(settings, "doneButton");
    EXPECT_TRUE(posted.isEmpty());

    click(tab, "configureServersButton");
    settings = sheet("serverSettingsSheet");
    find<PreferencesNativeTable>("serversTable", settings)->selectId(QVariant(beta));
    QCoreApplication::processEvents();
    EXPECT_EQ(find<QLabel>("internalIpLabel", settings)->text(), "10.0.0.7");
    find<QCheckBox>("hideInMenuCheckBox", settings)->click();
    find<QCheckBox>("useInternalIpCheckBox", settings)->click();
    EXPECT_TRUE(posted.isEmpty());
    click(settings, "doneButton");
    EXPECT_EQ(posted, QStringList{"accountsChanged"});
    const std::optional<Account> stored = AccountManager::findAccount(*account.uuid, defaults);
    EXPECT_EQ(stored->hiddenServers, QList<qint64>{beta});
    EXPECT_EQ(stored->useInternalIpForServers, QList<qint64>{beta});

    waitUntilIdle();
    EXPECT_TRUE(titles(menu()).contains("alpha"));
    EXPECT_FALSE(titles(menu()).contains("beta"));
    Q_UNUSED(alpha);
}

} // namespace
