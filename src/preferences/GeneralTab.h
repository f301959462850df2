#pragma once

#include "preferences/PreferencesServices.h"

#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;

namespace plimsy {

class DefaultsCheckBox;
class DefaultsPicker;

// The "General" tab: the terminal, the Action Bar's hot key and the Forge refresh interval (each stored
// in the user defaults the moment it is picked, its action run only when the value changed), the
// updater's automatic checks and a check now, verbose logging, and the log folder. GUI thread.
class GeneralTab : public QWidget
{
    Q_OBJECT

public:
    static constexpr int PickerWidth = 160;

    explicit GeneralTab(PreferencesServices services, QWidget *parent = nullptr);

protected:
    void showEvent(QShowEvent *event) override;

private:
    QWidget *makeSettingsRows();
    QWidget *makeUpdatesRow();
    QWidget *makeDiagnosticsRow();
    void showHotkeyStatus();
    void reloadUpdater();
    void checkNow();

    PreferencesServices m_services;
    DefaultsPicker *m_terminal = nullptr;
    DefaultsPicker *m_hotkey = nullptr;
    DefaultsPicker *m_refreshInterval = nullptr;
    QLabel *m_hotkeyStatus = nullptr;
    QWidget *m_hotkeyStatusRow = nullptr;
    QCheckBox *m_automaticUpdates = nullptr;
    DefaultsCheckBox *m_verboseLogging = nullptr;

    Q_DISABLE_COPY_MOVE(GeneralTab)
};

} // namespace plimsy
