#pragma once

#include "preferences/SettingsSheet.h"

class QCheckBox;
class QLabel;

namespace plimsy {

class ServerSettingsViewModel;

// The "Configure…" sheet of the Servers tab: the loaded Forge servers, and for the selected one its
// addresses, "Hide in menu" and "Use internal IP", each stored the moment it changes. Takes the model
// as its child. GUI thread.
class ServerSettingsSheetView : public SettingsSheet
{
    Q_OBJECT

public:
    ServerSettingsSheetView(ServerSettingsViewModel *viewModel, UserDefaults &defaults, QWidget *parent = nullptr);

    ServerSettingsViewModel &viewModel() const { return *m_viewModel; }
    bool didChangeSettings() const override;

private:
    void showModel();

    ServerSettingsViewModel *m_viewModel;
    QLabel *m_name;
    QLabel *m_ip;
    QLabel *m_internalIp;
    QCheckBox *m_hide;
    QCheckBox *m_internal;

    Q_DISABLE_COPY_MOVE(ServerSettingsSheetView)
};

} // namespace plimsy
