#pragma once

#include "preferences/SettingsSheet.h"

class QCheckBox;
class QLabel;
class QLineEdit;

namespace plimsy {

class SiteMonitorSettingsViewModel;

// The "Site Settings…" sheet of the Monitoring tab: the loaded sites, and for the selected one its
// server and name, "Disable monitoring for this site" (stored when it changes) and the URL alias (stored
// on Return and on "Done"). Takes the model as its child. GUI thread.
class SiteMonitorSettingsSheetView : public SettingsSheet
{
    Q_OBJECT

public:
    SiteMonitorSettingsSheetView(SiteMonitorSettingsViewModel *viewModel,
                                 UserDefaults &defaults,
                                 QWidget *parent = nullptr);

    SiteMonitorSettingsViewModel &viewModel() const { return *m_viewModel; }
    bool didChangeSettings() const override;

private:
    void showModel();

    SiteMonitorSettingsViewModel *m_viewModel;
    QLabel *m_server;
    QLabel *m_name;
    QCheckBox *m_disable;
    QLineEdit *m_alias;

    Q_DISABLE_COPY_MOVE(SiteMonitorSettingsSheetView)
};

} // namespace plimsy
