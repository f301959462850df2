#include "preferences/SiteMonitorSettingsSheetView.h"

#include "core/Puny.h"
#include "preferences/PreferencesNativeTable.h"
#include "preferences/SiteMonitorSettingsViewModel.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace plimsy {

namespace {

// As the menu shows it: an internationalised name decoded, one that does not decode as stored.
QString shownSiteName(const QString &name)
{
    return decodeIDNADomain(name).value_or(name);
}

} // namespace

SiteMonitorSettingsSheetView::SiteMonitorSettingsSheetView(SiteMonitorSettingsViewModel *viewModel,
                                                           UserDefaults &defaults,
                                                           QWidget *parent)
    : SettingsSheet({QStringLiteral("Site Settings"),
                     QSize(660, 450),
                     QStringLiteral("Sites"),
                     240,
                     QStringLiteral("SiteMonitorSettingsSheetTable")},
                    defaults,
                    parent)
    , m_viewModel(viewModel)
    , m_server(addInfoRow(QStringLiteral("Server:"), QStringLiteral("serverNameLabel")))
    , m_name(addInfoRow(QStringLiteral("Name:"), QStringLiteral("siteNameLabel")))
    , m_disable(new QCheckBox(QStringLiteral("Disable monitoring for this site"), this))
    , m_alias(new QLineEdit(this))
{
    setObjectName(QStringLiteral("siteMonitorSettingsSheet"));
    m_viewModel->setParent(this);
    table()->setObjectName(QStringLiteral("sitesTable"));
    m_disable->setObjectName(QStringLiteral("disableMonitoringCheckBox"));
    m_alias->setObjectName(QStringLiteral("urlAliasField"));
    addOptionRow(QStringLiteral("Monitoring:"), m_disable, 16);
    addCaption(QStringLiteral("Plimsy won't warn you when this site is down."), 108);
    addOptionRow(QStringLiteral("URL Alias:"), m_alias, 12);
    addCaption(QStringLiteral("Give the site an alias if Forge's site name differs from the real URL. \"Visit Site\" "
                              "in the menu bar also uses this URL."),
               88);
    finishDetails();

    showRecords(m_viewModel->sites(), shownSiteName);

    connect(this, &SettingsSheet::recordSelected, this, [this](std::optional<qint64> id) {
        if (id != m_viewModel->selectedSiteId()) {
            m_viewModel->selectSite(id);
        }
    });
    connect(m_disable, &QCheckBox::clicked, this, [this](bool isOn) {
        if (isOn != m_viewModel->monitoringDisabled()) {
            m_viewModel->setMonitoringDisabled(isOn);
            m_viewModel->save();
        }
    });
    connect(m_alias, &QLineEdit::textEdited, m_viewModel, &SiteMonitorSettingsViewModel::setUrlAlias);
    connect(m_alias, &QLineEdit::returnPressed, m_viewModel, &SiteMonitorSettingsViewModel::commitAlias);
    connect(doneButton(), &QPushButton::clicked, this, [this] {
        m_viewModel->commitAlias();
        accept();
    });
    connect(m_viewModel, &SiteMonitorSettingsViewModel::changed, this, &SiteMonitorSettingsSheetView::showModel);
    showModel();
}

bool SiteMonitorSettingsSheetView::didChangeSettings() const
{
    return m_viewModel->didChangeSettings();
}

void SiteMonitorSettingsSheetView::showModel()
{
    const std::optional<Site> site = m_viewModel->selectedSite();
    m_server->setText(m_viewModel->serverName());
    m_name->setText(site && site->name ? shownSiteName(*site->name) : QString());
    m_disable->setChecked(m_viewModel->monitoringDisabled());
    // Rewriting the field while the user types would move the cursor.
    if (m_alias->text() != m_viewModel->urlAlias()) {
        m_alias->setText(m_viewModel->urlAlias());
    }
    showSelection(m_viewModel->selectedSiteId());
}

} // namespace plimsy
