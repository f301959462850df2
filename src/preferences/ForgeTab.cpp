#include "preferences/ForgeTab.h"

#include "core/APIKeyManager.h"
#include "core/AccountManager.h"
#include "core/NotificationNames.h"
#include "core/RunDetached.h"
#include "platform/AlertPresenter.h"
#include "platform/NotificationCenter.h"
#include "preferences/APIKeyHelp.h"
#include "preferences/AddForgeAccountView.h"
#include "preferences/PreferencesAddRemoveGadget.h"
#include "preferences/PreferencesNativeTable.h"
#include "preferences/PreferencesWidgets.h"
#include "preferences/RenameForgeAccountView.h"
#include "preferences/SheetLayout.h"
#include "preferences/ThemeIcon.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace plimsy {

namespace {

constexpr int TableMinimumHeight = 180;

QPushButton *makeLinkButton(const QString &text, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    QFont font = button->font();
    font.setPointSizeF(font.pointSizeF() * 0.85);
    font.setUnderline(true);
    button->setFont(font);
    // Coloured through the palette, not a style sheet, so the style still draws the focus frame.
    QPalette palette = button->palette();
    palette.setColor(QPalette::ButtonText, palette.color(QPalette::Link));
    button->setPalette(palette);
    return button;
}

} // namespace

ForgeTab::ForgeTab(PreferencesServices services, QWidget *parent)
    : QWidget(parent)
    , m_services(std::move(services))
    , m_table(new PreferencesNativeTable(
          {{QStringLiteral("Forge API Keys"), std::nullopt, 60}},
          QStringLiteral("ForgeAccountsTable"),
          m_services.userDefaults(),
          [this](int from, int to) { reorderAccounts(from, to); },
          this))
    , m_gadget(new PreferencesAddRemoveGadget(true, this))
    , m_keyIcon(tintedIcon(themeIcon({QStringLiteral("dialog-password-symbolic"), QStringLiteral("dialog-password")}),
                           palette()))
{
    setObjectName(QStringLiteral("forgeAccountsTab"));
    QBoxLayout *layout = makeBareLayout(QBoxLayout::TopToBottom, this, 12);

    m_table->setObjectName(QStringLiteral("accountsTable"));
    m_table->setMinimumHeight(TableMinimumHeight);
    layout->addWidget(m_table);

    auto *controls = new QHBoxLayout;
    controls->addWidget(m_gadget);
    controls->addStretch(1);
    QPushButton *help = makeLinkButton(QStringLiteral("Where is my API Key?"), this);
    help->setObjectName(QStringLiteral("apiKeyHelpButton"));
    controls->addWidget(help);
    layout->addLayout(controls);

    auto *note = new QLabel(QStringLiteral("Plimsy loads servers and sites from every Forge account listed here. "
                                           "Removing an account also removes its API key from the keyring."),
                            this);
    note->setWordWrap(true);
    layout->addWidget(note);

    connect(m_table, &PreferencesNativeTable::selectedIdChanged, this, [this](const QVariant &id) {
        setSelectedAccountUUID(id.isValid() ? std::optional<QString>(id.toString()) : std::nullopt);
    });
    connect(m_table, &PreferencesNativeTable::rowDoubleClicked, this, [this](const QVariant &id) {
        setSelectedAccountUUID(id.toString());
        showRename();
    });
    connect(m_gadget, &PreferencesAddRemoveGadget::addClicked, this, &ForgeTab::showAddAccount);
    connect(m_gadget, &PreferencesAddRemoveGadget::removeClicked, this, &ForgeTab::showDeleteAlert);
    connect(m_gadget, &PreferencesAddRemoveGadget::editClicked, this, &ForgeTab::showRename);
    connect(help, &QPushButton::clicked, this, [this] { openAPIKeyHelp(m_services.opener()); });
    NotificationCenter::defaultCenter().addObserver(
        NotificationNames::accountsChanged, this, [this](const Notification &) { reloadAccounts(); });
    updateViews();
}

void ForgeTab::setSelectedAccountUUID(std::optional<QString> uuid)
{
    if (uuid == m_selectedAccountUUID) {
        return;
    }
    m_selectedAccountUUID = std::move(uuid);
    updateViews();
}

void ForgeTab::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    reloadAccounts();
}

void ForgeTab::reloadAccounts()
{
    m_accounts = AccountManager::loadAccounts(m_services.userDefaults());
    updateViews();
}

void ForgeTab::updateViews()
{
    QList<PreferencesTableRow> rows;
    for (const Account &account : std::as_const(m_accounts)) {
        rows.append({account.uuid.value_or(QString()), {account.name.value_or(QStringLiteral("Unnamed"))}, m_keyIcon});
    }
    m_table->setRows(std::move(rows), m_selectedAccountUUID ? QVariant(*m_selectedAccountUUID) : QVariant());
    m_gadget->setRemoveEnabled(m_selectedAccountUUID.has_value());
    m_gadget->setEditEnabled(m_selectedAccountUUID.has_value());
}

std::optional<Account> ForgeTab::selectedAccount() const
{
    if (!m_selectedAccountUUID) {
        return std::nullopt;
    }
    const auto found = std::find_if(m_accounts.cbegin(), m_accounts.cend(), [this](const Account &account) {
        return account.uuid == m_selectedAccountUUID;
    });
    return found == m_accounts.cend() ? std::nullopt : std::optional<Account>(*found);
}

void ForgeTab::reorderAccounts(int from, int to)
{
    AccountManager::moveAccount(from, to, m_services.userDefaults());
    reloadAccounts();
    NotificationCenter::defaultCenter().post(NotificationNames::accountsReordered);
}

void ForgeTab::deleteSelectedAccount()
{
    const std::optional<Account> account = selectedAccount();
    if (!account) {
        return;
    }
    // An account is kept as long as its key could not be removed: both go, or neither.
    if (!m_services.apiKeys().removeAPIKey(account->uuid.value_or(QString()))) {
        showError(QStringLiteral("Could Not Delete Account"),
                  QStringLiteral("The keyring did not remove the account's API key, so the account was kept. Make "
                                 "sure the keyring is unlocked, then try again."));
        return;
    }
    UserDefaults &defaults = m_services.userDefaults();
    QList<Account> stored = AccountManager::loadAccounts(defaults);
    const auto found = std::find_if(
        stored.begin(), stored.end(), [&account](const Account &entry) { return entry.isSameAccount(*account); });
    if (found != stored.end()) {
        stored.erase(found);
        AccountManager::saveAccounts(stored, defaults);
    }
    setSelectedAccountUUID(std::nullopt);
    reloadAccounts();
    NotificationCenter::defaultCenter().post(NotificationNames::accountsChanged);
}

void ForgeTab::renameSelectedAccount(const std::optional<QString> &name)
{
    if (!name || name->trimmed().isEmpty() || !selectedAccount()) {
        return;
    }
    // The stored copy, not the tab's: settings written since the tab loaded stay.
    UserDefaults &defaults = m_services.userDefaults();
    if (std::optional<Account> stored = AccountManager::findAccount(*m_selectedAccountUUID, defaults)) {
        stored->name = name->trimmed();
        AccountManager::updateAccount(*stored, defaults);
    }
    reloadAccounts();
    NotificationCenter::defaultCenter().post(NotificationNames::accountsChanged);
}

void ForgeTab::showAddAccount()
{
    if (isShowing(m_sheet)) {
        return;
    }
    AddForgeAccountView *sheet = makeAddForgeAccountView(m_services, window());
    m_sheet = sheet;
    connect(sheet, &QDialog::finished, sheet, &QObject::deleteLater);
    placeSheet(sheet, this);
    m_services.alertPresenter().openSheet(sheet, window());
}

void ForgeTab::showDeleteAlert()
{
    if (m_selectedAccountUUID && !m_isConfirmingDelete) {
        runDetached(confirmDelete());
    }
}

QCoro::Task<> ForgeTab::confirmDelete()
{
    QPointer self(this);
    m_isConfirmingDelete = true;
    const Alert question{QStringLiteral("Delete Account?"),
                         QStringLiteral("Are you sure you want to delete this account?"),
                         Alert::Style::Warning,
                         {QStringLiteral("Delete"), QStringLiteral("Cancel")},
                         window()};
    const int answer = co_await m_services.alertPresenter().ask(question);
    if (!self) {
        co_return;
    }
    m_isConfirmingDelete = false;
    if (answer == 0) {
        deleteSelectedAccount();
    }
}

void ForgeTab::showRename()
{
    if (isShowing(m_sheet) || !m_selectedAccountUUID) {
        return;
    }
    const std::optional<Account> account = selectedAccount();
    runDetached(runRename(account ? account->name.value_or(QString()) : QString()));
}

QCoro::Task<> ForgeTab::runRename(QString name)
{
    QPointer self(this);
    QPointer sheet(new RenameForgeAccountView(name, window()));
    m_sheet = sheet.data();
    connect(sheet, &QDialog::finished, sheet, &QObject::deleteLater);
    placeSheet(sheet, this);
    const int result = co_await m_services.alertPresenter().runSheet(sheet, window());
    if (!self) {
        co_return;
    }
    renameSelectedAccount(result == QDialog::Accepted && sheet ? std::optional<QString>(sheet->name()) : std::nullopt);
}

void ForgeTab::showError(const QString &title, const QString &detail)
{
    m_services.alertPresenter().show({title, detail, Alert::Style::Warning, {}, window()});
}

} // namespace plimsy
