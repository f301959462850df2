#include "preferences/ServerSettingsSheetView.h"

#include "preferences/PreferencesNativeTable.h"
#include "preferences/ServerSettingsViewModel.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

namespace plimsy {

ServerSettingsSheetView::ServerSettingsSheetView(ServerSettingsViewModel *viewModel,
                                                 UserDefaults &defaults,
                                                 QWidget *parent)
    : SettingsSheet({QStringLiteral("Server Settings"),
                     QSize(620, 450),
                     QStringLiteral("Servers"),
                     214,
                     QStringLiteral("ServerSettingsSheetTable")},
                    defaults,
                    parent)
    , m_viewModel(viewModel)
    , m_name(addInfoRow(QStringLiteral("Server:"), QStringLiteral("serverNameLabel")))
    , m_ip(addInfoRow(QStringLiteral("IP:"), QStringLiteral("ipAddressLabel")))
    , m_internalIp(addInfoRow(QStringLiteral("Internal IP:"), QStringLiteral("internalIpLabel")))
    , m_hide(new QCheckBox(QStringLiteral("Hide in menu"), this))
    , m_internal(new QCheckBox(QStringLiteral("Use internal IP"), this))
{
    setObjectName(QStringLiteral("serverSettingsSheet"));
    m_viewModel->setParent(this);
    table()->setObjectName(QStringLiteral("serversTable"));
    m_hide->setObjectName(QStringLiteral("hideInMenuCheckBox"));
    m_internal->setObjectName(QStringLiteral("useInternalIpCheckBox"));
    addOptionRow(QStringLiteral("Options:"), m_hide, 16);
    addCaption(QStringLiteral("Exclude this server from the menu bar."), 108);
    addIndented(m_internal, 88, 12);
    addCaption(QStringLiteral("Use Forge's internal IP instead of the external (default) when launching Terminal."),
               108);
    finishDetails();

    showRecords(m_viewModel->servers());

    connect(this, &SettingsSheet::recordSelected, this, [this](std::optional<qint64> id) {
        if (id != m_viewModel->selectedServerId()) {
            m_viewModel->selectServer(id);
        }
    });
    connect(m_hide, &QCheckBox::clicked, this, [this](bool isOn) {
        if (isOn != m_viewModel->isHidden()) {
            m_viewModel->setHidden(isOn);
            m_viewModel->save();
        }
    });
    connect(m_internal, &QCheckBox::clicked, this, [this](bool isOn) {
        if (isOn != m_viewModel->useInternalIp()) {
            m_viewModel->setUseInternalIp(isOn);
            m_viewModel->save();
        }
    });
    // Every change is stored already.
    connect(doneButton(), &QPushButton::clicked, this, &QDialog::accept);
    connect(m_viewModel, &ServerSettingsViewModel::changed, this, &ServerSettingsSheetView::showModel);
    showModel();
}

bool ServerSettingsSheetView::didChangeSettings() const
{
    return m_viewModel->didChangeSettings();
}

void ServerSettingsSheetView::showModel()
{
    const std::optional<Server> server = m_viewModel->selectedServer();
    m_name->setText(server ? server->name.value_or(QString()) : QString());
    m_ip->setText(server ? server->ipAddress.value_or(QString()) : QString());
    m_internalIp->setText(server ? server->privateIpAddress.value_or(QString()) : QString());
    m_hide->setChecked(m_viewModel->isHidden());
    m_internal->setChecked(m_viewModel->useInternalIp());
    showSelection(m_viewModel->selectedServerId());
}

} // namespace plimsy
