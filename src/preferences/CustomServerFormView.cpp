#include "preferences/CustomServerFormView.h"

#include "menu/OpenTerminal.h"
#include "preferences/PreferencesWidgets.h"
#include "preferences/SheetLayout.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace plimsy {

namespace {

constexpr int MinimumWidth = 320;
constexpr qsizetype MaxPortDigits = 5;

} // namespace

CustomServerFormView::CustomServerFormView(const std::optional<CustomServer> &server, QWidget *parent)
    : QDialog(parent)
    , m_id(server ? server->id : QUuid::createUuid())
    , m_name(addField(QStringLiteral("nameField"), server ? server->name : QString()))
    , m_host(addField(QStringLiteral("hostField"), server ? server->host : QString()))
    , m_user(addField(QStringLiteral("userField"), server ? server->user : QString()))
    , m_port(addField(QStringLiteral("portField"), server && server->port ? QString::number(*server->port) : QString()))
    , m_problem(makeCaptionLabel(QString(), this))
{
    setObjectName(QStringLiteral("customServerSheet"));
    QBoxLayout *layout = makeSheetLayout(
        this, server ? QStringLiteral("Edit Custom Server") : QStringLiteral("Add Custom Server"), MinimumWidth);
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Name"), m_name);
    form->addRow(QStringLiteral("Host / IP"), m_host);
    form->addRow(QStringLiteral("User"), m_user);
    form->addRow(QStringLiteral("Port (optional)"), m_port);
    layout->addLayout(form);
    m_problem->setObjectName(QStringLiteral("formProblemLabel"));
    layout->addWidget(m_problem);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    QPushButton *cancel = addSheetButton(buttons, QStringLiteral("Cancel"), QStringLiteral("cancelButton"));
    m_save = addSheetButton(buttons, QStringLiteral("Save"), QStringLiteral("saveButton"));
    m_save->setDefault(true);
    layout->addLayout(buttons);

    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_save, &QPushButton::clicked, this, &QDialog::accept);
    for (QLineEdit *field : {m_name, m_host, m_user, m_port}) {
        connect(field, &QLineEdit::textChanged, this, &CustomServerFormView::updateProblem);
    }
    updateProblem();
}

QLineEdit *CustomServerFormView::addField(const QString &objectName, const QString &text)
{
    auto *field = new QLineEdit(text, this);
    field->setObjectName(objectName);
    return field;
}

std::optional<QString>
CustomServerFormView::inputProblem(const QString &name, const QString &host, const QString &user, const QString &port)
{
    if (name.trimmed().isEmpty()) {
        return QStringLiteral("The name is empty.");
    }
    if (auto problem = OpenTerminal::loginProblem(user, host)) {
        return problem;
    }
    if (!port.isEmpty() && !parsePort(port)) {
        return CustomServer::portRangeMessage();
    }
    return std::nullopt;
}

std::optional<qint64> CustomServerFormView::parsePort(const QString &text)
{
    if (text.isEmpty() || text.size() > MaxPortDigits
        || !std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; })) {
        return std::nullopt;
    }
    const qint64 port = text.toLongLong();
    return CustomServer::isValidPort(port) ? std::optional<qint64>(port) : std::nullopt;
}

CustomServer CustomServerFormView::server() const
{
    return {m_id, m_name->text(), m_host->text(), m_user->text(), parsePort(m_port->text())};
}

void CustomServerFormView::updateProblem()
{
    const std::optional<QString> problem = inputProblem(m_name->text(), m_host->text(), m_user->text(), m_port->text());
    m_save->setEnabled(!problem);
    m_problem->setText(problem.value_or(QString()));
    m_problem->setVisible(problem.has_value());
}

} // namespace plimsy
