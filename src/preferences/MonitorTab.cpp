#include "preferences/MonitorTab.h"

#include "core/NotificationNames.h"
#include "notifications/SiteMonitorManager.h"
#include "platform/AlertPresenter.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "preferences/DefaultsControls.h"
#include "preferences/PreferencesWidgets.h"
#include "preferences/SheetLayout.h"
#include "preferences/SiteMonitorSettingsSheetView.h"
#include "preferences/SiteMonitorSettingsViewModel.h"

#include <QPushButton>

namespace plimsy {

namespace {

const QString IntervalKey = QStringLiteral("monitorSitesInterval");

const QList<DefaultsPicker::Choice> &intervalChoices()
{
    static const QList<DefaultsPicker::Choice> s_choices{
        {QStringLiteral("10 minutes"), 10},
        {QStringLiteral("30 minutes"), 30},
        {QStringLiteral("1 hour"), 60},
        {QStringLiteral("12 hours"), 720},
        {QStringLiteral("24 hours"), 1440},
    };
    return s_choices;
}

void postMonitoringSettingsChanged()
{
    NotificationCenter::defaultCenter().post(NotificationNames::monitoringSettingsChanged);
}

} // namespace

MonitorTab::MonitorTab(PreferencesServices services, QWidget *parent)
    : QWidget(parent)
    , m_services(std::move(services))
    , m_enable(new DefaultsCheckBox(QStringLiteral("Enable"), m_services.userDefaults(), "monitorSites", false, this))
    , m_interval(new DefaultsPicker(m_services.userDefaults(),
                                    IntervalKey,
                                    intervalChoices(),
                                    [this] {
                                        // What the site monitor will use, so the tab never claims an interval the
                                        // checks do not keep.
                                        return SiteMonitorManager::monitorIntervalInUse(
                                            m_services.userDefaults().integer(IntervalKey),
                                            SiteMonitorManager::monitorIntervals(),
                                            SiteMonitorManager::FallbackMonitorInterval);
                                    }))
    , m_onLaunch(new DefaultsCheckBox(
          QStringLiteral("Check sites when Plimsy starts"), m_services.userDefaults(), "monitorSitesOnLaunch", false))
    , m_siteSettings(new QPushButton(QStringLiteral("Site Settings…")))
{
    setObjectName(QStringLiteral("monitorTab"));
    m_enable->setObjectName(QStringLiteral("enableMonitoringCheckBox"));
    m_interval->setObjectName(QStringLiteral("monitorIntervalPicker"));
    m_interval->setFixedWidth(PickerWidth);
    m_onLaunch->setObjectName(QStringLiteral("monitorOnLaunchCheckBox"));
    m_siteSettings->setObjectName(QStringLiteral("siteSettingsButton"));

    QBoxLayout *layout = makeBareLayout(QBoxLayout::TopToBottom, this, 12);
    layout->addWidget(makePreferenceRow(QStringLiteral("Site monitoring:"), m_enable));
    layout->addWidget(makePreferenceRow(QStringLiteral("Check every:"), m_interval, Qt::AlignLeft));
    layout->addWidget(makePreferenceRow(QString(), m_onLaunch));
    layout->addSpacing(8);
    layout->addWidget(makePreferenceRow(QString(), m_siteSettings, Qt::AlignLeft));
    layout->addStretch(1);

    connect(m_enable, &DefaultsCheckBox::valueChanged, this, [this] {
        updateEnabled();
        postMonitoringSettingsChanged();
    });
    connect(m_interval, &DefaultsPicker::valueChosen, this, &postMonitoringSettingsChanged);
    connect(m_siteSettings, &QPushButton::clicked, this, &MonitorTab::showSiteSettings);
    updateEnabled();
}

void MonitorTab::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_enable->reload();
    m_interval->reload();
    m_onLaunch->reload();
    updateEnabled();
}

void MonitorTab::updateEnabled()
{
    const bool isOn = m_enable->isChecked();
    m_interval->setEnabled(isOn);
    m_onLaunch->setEnabled(isOn);
    m_siteSettings->setEnabled(isOn);
}

void MonitorTab::showSiteSettings()
{
    if (isShowing(m_sheet)) {
        return;
    }
    UserDefaults &defaults = m_services.userDefaults();
    const QList<Server> servers = m_services.loadedServers();
    auto *model = new SiteMonitorSettingsViewModel(m_services.loadedSites(),
                                                   storedAccountLookup(defaults),
                                                   storedAccountUpdate(defaults),
                                                   [servers](qint64 id) { return Server::find(id, servers); });
    auto *sheet = new SiteMonitorSettingsSheetView(model, defaults, window());
    m_sheet = sheet;
    sheet->present(this, m_services.alertPresenter());
}

} // namespace plimsy
