#include "onboarding/OnboardingAPIKeyView.h"

#include "core/RunDetached.h"
#include "core/URLConstants.h"
#include "onboarding/OnboardingScreenFrame.h"
#include "onboarding/OnboardingWidgets.h"
#include "platform/AlertPresenter.h"
#include "platform/UrlOpener.h"
#include "preferences/APIKeyHelp.h"
#include "preferences/AddForgeAccountViewModel.h"
#include "preferences/NewForgeAccount.h"
#include "preferences/PreferencesWidgets.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace plimsy {

namespace {

constexpr int ContentSpacing = 20;

// A titled field with a hint under it.
QWidget *makeFieldGroup(const QString &title, QLineEdit *field, const QString &hint, QWidget *parent)
{
    auto *group = new QWidget(parent);
    auto *layout = new QVBoxLayout(group);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    QLabel *titleLabel = makeTextLabel(title, TextStyle::Subheadline, group, QFont::Medium);
    layout->addWidget(titleLabel);
    field->setParent(group);
    nameAfterLabel(titleLabel, field);
    layout->addWidget(field);
    QLabel *hintLabel = makeTextLabel(hint, TextStyle::Caption, group, QFont::Normal, true);
    layout->addWidget(hintLabel);
    return group;
}

} // namespace

OnboardingAPIKeyView::OnboardingAPIKeyView(Actions actions, PreferencesServices services, QWidget *parent)
    : QWidget(parent)
    , m_actions(std::move(actions))
    , m_services(std::move(services))
    , m_accountName(new QLineEdit(this))
    , m_apiKey(new QLineEdit(this))
{
    setObjectName(QStringLiteral("onboardingAPIKeyView"));
    const OnboardingScreenFrame frame(this,
                                      ContentSpacing,
                                      {QStringLiteral("Skip for Now"),
                                       QStringLiteral("skipButton"),
                                       QStringLiteral("continueButton"),
                                       QStringLiteral("validatingIndicator")});
    QWidget *content = frame.content;
    QVBoxLayout *contentLayout = frame.contentLayout;
    m_continue = frame.primary;
    m_progress = frame.busy;

    auto *heading = new QVBoxLayout;
    heading->setSpacing(8);
    auto *titleRow = new QHBoxLayout;
    QLabel *title =
        makeTextLabel(QStringLiteral("Connect to Laravel Forge"), TextStyle::Title2, content, QFont::DemiBold);
    titleRow->addWidget(makeSymbolLabel(Symbols::Key, title->fontMetrics().height(), accentColour(this), content));
    titleRow->addWidget(title);
    titleRow->addStretch(1);
    heading->addLayout(titleRow);
    QLabel *intro = makeTextLabel(QStringLiteral("Add your Forge API key to start monitoring your servers and sites."),
                                  TextStyle::Body,
                                  content,
                                  QFont::Normal,
                                  true);
    intro->setWordWrap(true);
    heading->addWidget(intro);
    contentLayout->addLayout(heading);
    contentLayout->addWidget(makeDivider(content));

    auto *links = new QHBoxLayout;
    QPushButton *tokenPage = makeLinkButton(Symbols::ExternalLink,
                                            QStringLiteral("Get your API token from Forge"),
                                            QStringLiteral("forgeTokenLink"),
                                            content);
    connect(tokenPage, &QPushButton::clicked, this, &OnboardingAPIKeyView::openForgeTokenPage);
    links->addWidget(tokenPage);
    links->addStretch(1);
    QPushButton *help =
        makeLinkButton(Symbols::Help, QStringLiteral("Need help?"), QStringLiteral("apiKeyHelpLink"), content);
    connect(help, &QPushButton::clicked, this, [this] { openAPIKeyHelp(m_services.opener()); });
    links->addWidget(help);
    contentLayout->addLayout(links);
    contentLayout->addWidget(makeDivider(content));

    m_accountName->setObjectName(QStringLiteral("accountNameField"));
    m_accountName->setPlaceholderText(QStringLiteral("e.g., Production, Personal, Work"));
    m_apiKey->setObjectName(QStringLiteral("apiKeyField"));
    m_apiKey->setPlaceholderText(QStringLiteral("Paste your Forge API token"));
    m_apiKey->setEchoMode(QLineEdit::Password);
    m_apiKey->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto *form = new QVBoxLayout;
    form->setSpacing(16);
    form->addWidget(makeFieldGroup(QStringLiteral("Account Name"),
                                   m_accountName,
                                   QStringLiteral("A friendly name to identify this account"),
                                   content));
    form->addWidget(makeFieldGroup(
        QStringLiteral("API Token"), m_apiKey, QStringLiteral("Your key is stored securely in the keyring"), content));
    contentLayout->addLayout(form);
    contentLayout->addStretch(1);
    connect(frame.back, &QPushButton::clicked, this, [this] { m_actions.onBack(); });
    connect(frame.secondary, &QPushButton::clicked, this, [this] { m_actions.onSkip(); });
    connect(m_continue, &QPushButton::clicked, this, &OnboardingAPIKeyView::validateAndContinue);
    // Tab follows the screen from top to bottom.
    const QList<QWidget *> tabOrder{tokenPage, help, m_accountName, m_apiKey, frame.back, frame.secondary, m_continue};
    for (qsizetype i = 1; i < tabOrder.size(); ++i) {
        setTabOrder(tabOrder.at(i - 1), tabOrder.at(i));
    }

    connect(m_accountName, &QLineEdit::textChanged, this, &OnboardingAPIKeyView::updateControls);
    connect(m_apiKey, &QLineEdit::textChanged, this, &OnboardingAPIKeyView::updateControls);
    updateControls();
}

void OnboardingAPIKeyView::validateAndContinue()
{
    if (m_isValidating || !AddForgeAccountViewModel::canSave(m_accountName->text(), m_apiKey->text())) {
        return;
    }
    // The Forge client reads the key from the key store, so it is stored before the check.
    const std::optional<Account> account =
        storeNewAccountKey(m_services.apiKeys(), m_accountName->text().trimmed(), m_apiKey->text().trimmed());
    if (!account) {
        showKeyNotStored(m_services.alertPresenter(), window());
        return;
    }
    setValidating(true);
    runDetached(checkKey(*account));
}

QCoro::Task<> OnboardingAPIKeyView::checkKey(Account account)
{
    QPointer self(this);
    // Held by the frame: the screen may be replaced while Forge answers.
    const PreferencesServices services = m_services;
    const std::function<void()> onContinue = m_actions.onContinue;
    bool verified = true;
    try {
        co_await verifyAccountKey(account, services.forge);
    } catch (const std::exception &) {
        // Whatever went wrong, the user decides in the same alert.
        verified = false;
    }
    if (verified) {
        appendAccount(account, services.userDefaults());
        if (self) {
            setValidating(false);
        }
        onContinue();
        co_return;
    }
    removeAccountKey(services.apiKeys(), account);
    if (!self) {
        co_return;
    }
    setValidating(false);
    co_await confirmUnverifiedKey();
}

QCoro::Task<> OnboardingAPIKeyView::confirmUnverifiedKey()
{
    QPointer self(this);
    const Alert alert{QStringLiteral("Validation Error"),
                      QStringLiteral("Could not connect to Forge. The API key may be invalid or Forge may be "
                                     "temporarily unavailable."),
                      Alert::Style::Warning,
                      {QStringLiteral("Save Anyway"), QStringLiteral("Try Again")},
                      window()};
    const int answer = co_await m_services.alertPresenter().ask(alert);
    if (self && answer == 0 && saveAnyway()) {
        m_actions.onContinue();
    }
}

bool OnboardingAPIKeyView::saveAnyway()
{
    const std::optional<Account> account =
        storeNewAccountKey(m_services.apiKeys(), m_accountName->text().trimmed(), m_apiKey->text().trimmed());
    if (!account) {
        showKeyNotStored(m_services.alertPresenter(), window());
        return false;
    }
    appendAccount(*account, m_services.userDefaults());
    return true;
}

void OnboardingAPIKeyView::openForgeTokenPage()
{
    const QUrl url(forgeAPITokenURL(), QUrl::StrictMode);
    if (url.isValid() && !url.scheme().isEmpty()) {
        m_services.opener().openUrl(url);
    }
}

void OnboardingAPIKeyView::setValidating(bool validating)
{
    m_isValidating = validating;
    updateControls();
}

void OnboardingAPIKeyView::updateControls()
{
    m_continue->setText(m_isValidating ? QString() : QStringLiteral("Continue"));
    m_progress->setVisible(m_isValidating);
    m_continue->setEnabled(!m_isValidating
                           && AddForgeAccountViewModel::canSave(m_accountName->text(), m_apiKey->text()));
}

} // namespace plimsy
