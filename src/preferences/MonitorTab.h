#pragma once

#include "preferences/PreferencesServices.h"

#include <QPointer>
#include <QWidget>

class QDialog;
class QPushButton;

namespace plimsy {

class DefaultsCheckBox;
class DefaultsPicker;

// The "Monitoring" tab: site checks on or off and how often ("monitoringSettingsChanged" when either
// changes), "Check sites when Plimsy starts", and the per-site settings sheet ("accountsChanged" when it
// ends after a change). The interval shown is the one the site monitor uses. GUI thread.
class MonitorTab : public QWidget
{
    Q_OBJECT

public:
    static constexpr int PickerWidth = 140;

    explicit MonitorTab(PreferencesServices services, QWidget *parent = nullptr);

    // Opens the site monitor settings sheet over the sites of the last refresh.
    void showSiteSettings();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void updateEnabled();

    PreferencesServices m_services;
    DefaultsCheckBox *m_enable;
    DefaultsPicker *m_interval;
    DefaultsCheckBox *m_onLaunch;
    QPushButton *m_siteSettings;
    QPointer<QDialog> m_sheet;

    Q_DISABLE_COPY_MOVE(MonitorTab)
};

} // namespace plimsy
