#pragma once

#include "preferences/PreferencesServices.h"

#include <QCoro/QCoroTask>
#include <QWidget>

class QCheckBox;
class QLabel;
class QProgressBar;

namespace plimsy {

// The notification settings under the Plimsy account: the push switch of deployment results for a
// signed-in user (off and disabled, with the reason, where the platform has no push service), and the
// legacy relay key's notice with its removal. Rebuilt from the stores at each showing and after every
// "authStateChanged". GUI thread.
class NotificationsTab : public QWidget
{
    Q_OBJECT

public:
    explicit NotificationsTab(PreferencesServices services, QWidget *parent = nullptr);

    bool isAuthenticated() const { return m_isAuthenticated; }
    bool isEnabled() const;
    bool isLoading() const { return m_isLoading; }
    bool hasLegacyAPIKey() const { return m_hasLegacyAPIKey; }

    void refreshState();
    // Moves the switch without it counting as the user's change.
    void setEnabledProgrammatically(bool enabled);
    void removeLegacyKey();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void handleToggleChange(bool enabled);
    QCoro::Task<> runToggle(bool enabled);
    void updateViews();
    void showError(const QString &message);

    PreferencesServices m_services;
    bool m_isAuthenticated = false;
    bool m_isLoading = false;
    bool m_hasLegacyAPIKey = false;
    bool m_isApplyingProgrammaticChange = false;

    QLabel *m_signInHint;
    QWidget *m_switchRow;
    QCheckBox *m_switch;
    QProgressBar *m_progress;
    QLabel *m_unavailable;
    QWidget *m_legacyRow;
    QLabel *m_legacySignedOut;
    QWidget *m_legacySignedIn;

    Q_DISABLE_COPY_MOVE(NotificationsTab)
};

} // namespace plimsy
