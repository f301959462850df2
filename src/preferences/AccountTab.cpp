#include "preferences/AccountTab.h"

#include "preferences/AccountTabViewModel.h"
#include "preferences/PreferencesWidgets.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace plimsy {

AccountTab::AccountTab(AccountTabViewModel *viewModel, QWidget *parent)
    : QWidget(parent)
    , m_viewModel(viewModel)
    , m_signedIn(new QWidget(this))
    , m_signedOut(new QWidget(this))
    , m_email(new QLabel(this))
    , m_signIn(new QPushButton(QStringLiteral("Sign In\u2026"), this))
{
    setObjectName(QStringLiteral("accountTab"));
    m_viewModel->setParent(this);
    QBoxLayout *layout = makeBareLayout(QBoxLayout::TopToBottom, this, 0);

    QBoxLayout *signedInRows = makeBareLayout(QBoxLayout::TopToBottom, m_signedIn, 12);
    m_email->setObjectName(QStringLiteral("emailLabel"));
    m_email->setTextFormat(Qt::PlainText);
    m_email->setTextInteractionFlags(Qt::TextSelectableByMouse);
    signedInRows->addWidget(makePreferenceRow(QStringLiteral("Email:"), m_email));
    auto *signOut = new QPushButton(QStringLiteral("Sign Out"), this);
    signOut->setObjectName(QStringLiteral("signOutButton"));
    signedInRows->addWidget(makePreferenceRow(QString(), signOut, Qt::AlignLeft | Qt::AlignVCenter));
    layout->addWidget(m_signedIn);

    QBoxLayout *signedOutRows = makeBareLayout(QBoxLayout::TopToBottom, m_signedOut);
    m_signIn->setObjectName(QStringLiteral("signInButton"));
    signedOutRows->addWidget(makePreferenceRow(QString(), m_signIn, Qt::AlignLeft | Qt::AlignVCenter));
    layout->addWidget(m_signedOut);

    connect(signOut, &QPushButton::clicked, m_viewModel, &AccountTabViewModel::signOut);
    connect(m_signIn, &QPushButton::clicked, m_viewModel, &AccountTabViewModel::signIn);
    connect(m_viewModel, &AccountTabViewModel::changed, this, &AccountTab::updateViews);
    // Coming back from the browser without signing in must not leave the button disabled.
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive) {
            m_viewModel->setLoading(false);
        }
    });
    updateViews();
}

void AccountTab::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_viewModel->setLoading(false);
    m_viewModel->refresh();
}

void AccountTab::updateViews()
{
    m_signedIn->setVisible(m_viewModel->isAuthenticated());
    m_signedOut->setVisible(!m_viewModel->isAuthenticated());
    m_email->setText(m_viewModel->userEmail());
    m_signIn->setEnabled(!m_viewModel->isLoading());
}

} // namespace plimsy
