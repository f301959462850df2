#include "preferences/CustomServersTab.h"

#include "core/RunDetached.h"
#include "platform/AlertPresenter.h"
#include "preferences/CustomServerFormView.h"
#include "preferences/PreferencesAddRemoveGadget.h"
#include "preferences/PreferencesNativeTable.h"
#include "preferences/PreferencesWidgets.h"
#include "preferences/ServerSettingsSheetView.h"
#include "preferences/ServerSettingsViewModel.h"
#include "preferences/SheetLayout.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace plimsy {

namespace {

constexpr int TableMinimumHeight = 160;

} // namespace

CustomServersTab::CustomServersTab(PreferencesServices services, QWidget *parent)
    : QWidget(parent)
    , m_services(std::move(services))
    , m_store(m_services.userDefaults())
    , m_table(new PreferencesNativeTable(
          {{QStringLiteral("Name"), 130, 60}, {QStringLiteral("Connection"), std::nullopt, 120}},
          QStringLiteral("CustomServersTable"),
          m_services.userDefaults(),
          [this](int from, int to) { moveServer(from, to); }))
    , m_gadget(new PreferencesAddRemoveGadget(true))
{
    setObjectName(QStringLiteral("serversTab"));
    auto *configure = new QPushButton(QStringLiteral("Configure…"));
    configure->setObjectName(QStringLiteral("configureServersButton"));
    auto *forgeColumn = makeStack(
        QBoxLayout::TopToBottom,
        QList<QWidget *>{configure,
                         makeCaptionLabel(QStringLiteral("Hide servers from the menu or connect via internal IP."))},
        8);
    forgeColumn->layout()->setAlignment(configure, Qt::AlignLeft);

    m_table->setObjectName(QStringLiteral("customServersTable"));
    m_table->setMinimumHeight(TableMinimumHeight);
    auto *controls = new QWidget;
    QBoxLayout *controlsLayout = makeBareLayout(QBoxLayout::LeftToRight, controls);
    controlsLayout->addWidget(m_gadget);
    controlsLayout->addStretch(1);
    auto *customColumn =
        makeStack(QBoxLayout::TopToBottom,
                  QList<QWidget *>{m_table,
                                   controls,
                                   makeCaptionLabel(QStringLiteral("Your own servers, outside Forge. They appear in "
                                                                   "the Plimsy menu and open in your terminal with "
                                                                   "ssh."))},
                  12);

    QBoxLayout *layout = makeBareLayout(QBoxLayout::TopToBottom, this, 32);
    layout->addWidget(makePreferenceRow(QStringLiteral("Forge servers:"), forgeColumn, Qt::AlignTop));
    layout->addWidget(makePreferenceRow(QStringLiteral("Custom servers:"), customColumn, Qt::AlignTop));

    connect(configure, &QPushButton::clicked, this, &CustomServersTab::showServerSettings);
    connect(m_table, &PreferencesNativeTable::selectedIdChanged, this, [this](const QVariant &id) {
        setSelectedServerID(id.isValid() ? std::optional<QUuid>(id.toUuid()) : std::nullopt);
    });
    connect(m_table, &PreferencesNativeTable::rowDoubleClicked, this, [this](const QVariant &id) {
        showEditForm(id.toUuid());
    });
    connect(m_gadget, &PreferencesAddRemoveGadget::addClicked, this, &CustomServersTab::showAddForm);
    connect(m_gadget, &PreferencesAddRemoveGadget::removeClicked, this, &CustomServersTab::showDeleteAlert);
    connect(m_gadget, &PreferencesAddRemoveGadget::editClicked, this, [this] {
        if (m_selectedServerID) {
            showEditForm(*m_selectedServerID);
        }
    });
    updateViews();
}

void CustomServersTab::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    reloadServers();
}

void CustomServersTab::setSelectedServerID(std::optional<QUuid> id)
{
    if (id != m_selectedServerID) {
        m_selectedServerID = id;
        updateViews();
    }
}

void CustomServersTab::reloadServers()
{
    m_servers = m_store.load();
    updateViews();
}

void CustomServersTab::updateViews()
{
    QList<PreferencesTableRow> rows;
    for (const CustomServer &server : std::as_const(m_servers)) {
        rows.append({server.id, {server.name, server.sshCommand()}, {}});
    }
    m_table->setRows(std::move(rows), m_selectedServerID ? QVariant(*m_selectedServerID) : QVariant());
    const bool isListed = listedServer(m_selectedServerID).has_value();
    m_gadget->setRemoveEnabled(isListed);
    m_gadget->setEditEnabled(isListed);
}

std::optional<CustomServer> CustomServersTab::listedServer(const std::optional<QUuid> &id) const
{
    if (!id) {
        return std::nullopt;
    }
    const auto found = std::find_if(
        m_servers.cbegin(), m_servers.cend(), [&id](const CustomServer &server) { return server.id == *id; });
    return found == m_servers.cend() ? std::nullopt : std::optional<CustomServer>(*found);
}

void CustomServersTab::showServerSettings()
{
    if (isShowing(m_sheet)) {
        return;
    }
    UserDefaults &defaults = m_services.userDefaults();
    auto *model = new ServerSettingsViewModel(
        m_services.loadedServers(), storedAccountLookup(defaults), storedAccountUpdate(defaults));
    auto *sheet = new ServerSettingsSheetView(model, defaults, window());
    m_sheet = sheet;
    sheet->present(this, m_services.alertPresenter());
}

void CustomServersTab::showAddForm()
{
    openForm(std::nullopt);
}

void CustomServersTab::showEditForm(const QUuid &id)
{
    if (const std::optional<CustomServer> server = listedServer(id)) {
        openForm(server);
    }
}

void CustomServersTab::openForm(std::optional<CustomServer> editing)
{
    if (isShowing(m_sheet)) {
        return;
    }
    auto *form = new CustomServerFormView(editing, window());
    m_sheet = form;
    const bool isEdit = editing.has_value();
    connect(form, &QDialog::finished, this, [this, form, isEdit](int result) {
        completeForm(result == QDialog::Accepted ? std::optional<CustomServer>(form->server()) : std::nullopt, isEdit);
        form->deleteLater();
    });
    placeSheet(form, this);
    m_services.alertPresenter().openSheet(form, window());
}

void CustomServersTab::completeForm(const std::optional<CustomServer> &result, bool isEdit)
{
    if (!result) {
        return;
    }
    if (isEdit) {
        m_store.update(*result);
    } else {
        QList<CustomServer> stored = m_store.load();
        stored.append(*result);
        m_store.save(stored);
    }
    reloadServers();
}

void CustomServersTab::moveServer(int from, int to)
{
    m_store.move(from, to);
    reloadServers();
}

void CustomServersTab::showDeleteAlert()
{
    const std::optional<CustomServer> server = listedServer(m_selectedServerID);
    if (server && !m_isConfirmingDelete) {
        runDetached(confirmDelete(*server));
    }
}

QCoro::Task<> CustomServersTab::confirmDelete(CustomServer server)
{
    QPointer self(this);
    m_isConfirmingDelete = true;
    const Alert question{QStringLiteral("Delete Server?"),
                         QStringLiteral("Are you sure you want to delete “%1”?").arg(server.name),
                         Alert::Style::Warning,
                         {QStringLiteral("Delete"), QStringLiteral("Cancel")},
                         window()};
    const int answer = co_await m_services.alertPresenter().ask(question);
    if (!self) {
        co_return;
    }
    m_isConfirmingDelete = false;
    if (answer == 0) {
        deleteServer(server.id);
    }
}

void CustomServersTab::deleteServer(const QUuid &id)
{
    QList<CustomServer> stored = m_store.load();
    stored.removeIf([&id](const CustomServer &server) { return server.id == id; });
    m_store.save(stored);
    m_selectedServerID.reset();
    reloadServers();
}

} // namespace plimsy
