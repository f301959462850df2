#include "preferences/AddForgeAccountView.h"

#include "core/APIKeyManager.h"
#include "core/RunDetached.h"
#include "platform/AlertPresenter.h"
#include "platform/Clock.h"
#include "preferences/APIKeyHelp.h"
#include "preferences/AddForgeAccountViewModel.h"
#include "preferences/NewForgeAccount.h"
#include "preferences/PreferencesWidgets.h"
#include "preferences/SheetLayout.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>

#include <memory>
#include <utility>

namespace plimsy {

namespace {

constexpr int MinimumWidth = 360;
constexpr int KeyFieldMinimumHeight = 100;

// The account made when its key is stored: the same one is checked and then kept.
struct PendingAccountBox
{
    std::optional<Account> account;
};

// Removes the key of a pending account that was never kept.
void discardPending(PendingAccountBox &box, APIKeyManager &keys)
{
    if (box.account) {
        removeAccountKey(keys, *box.account);
        box.account.reset();
    }
}

QCoro::Task<> verifyPending(std::shared_ptr<PendingAccountBox> box, ForgeAPIController::Services forge)
{
    if (box->account) {
        co_await verifyAccountKey(*box->account, forge);
    }
}

AddForgeAccountViewModel *makeAddForgeAccountViewModel(std::shared_ptr<PendingAccountBox> box,
                                                       const PreferencesServices &services)
{
    APIKeyManager *keys = &services.apiKeys();
    UserDefaults *defaults = &services.userDefaults();
    AddForgeAccountViewModel::Dependencies dependencies;
    dependencies.storeKey = [box, keys](const QString &name, const QString &key) {
        discardPending(*box, *keys);
        box->account = storeNewAccountKey(*keys, name, key);
        return box->account.has_value();
    };
    dependencies.verify = [box, forge = services.forge] { return verifyPending(box, forge); };
    dependencies.persist = [box, defaults] {
        // Out of the box before "accountsChanged" is posted: nothing answering it can discard its key.
        if (const std::optional<Account> account = std::exchange(box->account, std::nullopt)) {
            appendAccount(*account, *defaults);
        }
    };
    dependencies.discard = [box, keys] { discardPending(*box, *keys); };
    return new AddForgeAccountViewModel(std::move(dependencies));
}

QLabel *fieldLabel(const QString &text, QWidget *parent)
{
    QLabel *label = makeCaptionLabel(text, parent);
    label->setWordWrap(false);
    return label;
}

} // namespace

AddForgeAccountView::AddForgeAccountView(AddForgeAccountViewModel *viewModel,
                                         PreferencesServices services,
                                         QWidget *parent)
    : QDialog(parent)
    , m_viewModel(viewModel)
    , m_services(std::move(services))
    , m_accountName(new QLineEdit(this))
    , m_apiKey(new QPlainTextEdit(this))
    , m_progress(makeBusyIndicator(QStringLiteral("savingIndicator"), this))
{
    setObjectName(QStringLiteral("addForgeAccountSheet"));
    m_viewModel->setParent(this);
    QBoxLayout *layout = makeSheetLayout(this, QStringLiteral("Add Forge Account"), MinimumWidth);

    auto *nameBlock = new QVBoxLayout;
    nameBlock->setSpacing(4);
    QLabel *nameLabel = fieldLabel(QStringLiteral("Account Name"), this);
    nameAfterLabel(nameLabel, m_accountName);
    nameBlock->addWidget(nameLabel);
    m_accountName->setObjectName(QStringLiteral("accountNameField"));
    m_accountName->setPlaceholderText(QStringLiteral("robin@example.com"));
    nameBlock->addWidget(m_accountName);
    layout->addLayout(nameBlock);

    auto *keyBlock = new QVBoxLayout;
    keyBlock->setSpacing(4);
    QLabel *keyLabel = fieldLabel(QStringLiteral("Laravel Forge API Key"), this);
    nameAfterLabel(keyLabel, m_apiKey);
    keyBlock->addWidget(keyLabel);
    m_apiKey->setObjectName(QStringLiteral("apiKeyField"));
    m_apiKey->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_apiKey->setMinimumHeight(KeyFieldMinimumHeight);
    m_apiKey->setTabChangesFocus(true);
    keyBlock->addWidget(m_apiKey);
    layout->addLayout(keyBlock);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_progress);
    m_cancel = addSheetButton(buttons, QStringLiteral("Cancel"), QStringLiteral("cancelButton"));
    connect(m_cancel, &QPushButton::clicked, this, &AddForgeAccountView::reject);
    m_add = addSheetButton(buttons, QStringLiteral("Add"), QStringLiteral("addButton"));
    m_add->setDefault(true);
    connect(m_add, &QPushButton::clicked, this, &AddForgeAccountView::saveAccount);
    layout->addLayout(buttons);

    connect(m_accountName, &QLineEdit::textChanged, this, &AddForgeAccountView::updateControls);
    connect(m_apiKey, &QPlainTextEdit::textChanged, this, &AddForgeAccountView::updateControls);
    connect(m_viewModel, &AddForgeAccountViewModel::isSavingChanged, this, &AddForgeAccountView::updateControls);
    connect(m_viewModel, &AddForgeAccountViewModel::needsConfirmationChanged, this, [this](bool needed) {
        if (needed) {
            runDetached(confirmUnverifiedKey());
        }
    });
    connect(m_viewModel, &AddForgeAccountViewModel::isFinishedChanged, this, [this](bool finished) {
        if (finished) {
            accept();
        }
    });
    connect(m_viewModel, &AddForgeAccountViewModel::keyNotStored, this, &AddForgeAccountView::showKeyNotStored);
    updateControls();
    // The key field starts at its least height; the sheet can still be made taller for a long key.
    resize(MinimumWidth, minimumSizeHint().height());
}

void AddForgeAccountView::saveAccount()
{
    m_viewModel->save(m_accountName->text(), m_apiKey->toPlainText());
}

void AddForgeAccountView::reject()
{
    if (m_viewModel->isSaving()) {
        return;
    }
    m_viewModel->abandon();
    QDialog::reject();
}

void AddForgeAccountView::updateControls()
{
    const bool saving = m_viewModel->isSaving();
    m_progress->setVisible(saving);
    m_cancel->setEnabled(!saving);
    m_add->setEnabled(!saving && AddForgeAccountViewModel::canSave(m_accountName->text(), m_apiKey->toPlainText()));
}

QCoro::Task<> AddForgeAccountView::confirmUnverifiedKey()
{
    QPointer self(this);
    const PreferencesServices services = m_services;
    const Alert alert{QStringLiteral("Error while trying to communicate with Forge API"),
                      QStringLiteral("This could be:\n• An invalid API key\n• Missing permissions (Organizations, "
                                     "Servers, and Sites are required)\n• A temporary error\n\nDo you still want to "
                                     "save this key?"),
                      Alert::Style::Warning,
                      {QStringLiteral("Save Anyway"), QStringLiteral("Cancel"), QStringLiteral("Help")},
                      this};
    enum Answer
    {
        SaveAnyway = 0,
        Help = 2,
    };
    while (true) {
        const int answer = co_await services.alertPresenter().ask(alert);
        if (!self) {
            co_return;
        }
        if (answer == SaveAnyway) {
            m_viewModel->confirmSave();
            co_return;
        }
        if (answer != Help) {
            m_viewModel->cancelConfirmation();
            co_return;
        }
        openAPIKeyHelp(services.opener());
        co_await services.pauses().sleep(HelpAlertDelay);
        if (!self) {
            co_return;
        }
    }
}

void AddForgeAccountView::showKeyNotStored()
{
    plimsy::showKeyNotStored(m_services.alertPresenter(), this);
}

AddForgeAccountView *makeAddForgeAccountView(const PreferencesServices &services, QWidget *parent)
{
    return new AddForgeAccountView(
        makeAddForgeAccountViewModel(std::make_shared<PendingAccountBox>(), services), services, parent);
}

} // namespace plimsy
