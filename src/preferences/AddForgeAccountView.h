#pragma once

#include "preferences/PreferencesServices.h"

#include <QCoro/QCoroTask>
#include <QDialog>

#include <chrono>

class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace plimsy {

class AddForgeAccountViewModel;

// The Add Forge Account sheet: a name and an API key; "Add" stores the key, checks it against Forge
// and keeps the account. When the check fails an alert over the sheet asks whether to keep the key
// anyway. Accepted once an account was kept, rejected otherwise. It cannot be closed while the check
// runs.
class AddForgeAccountView : public QDialog
{
    Q_OBJECT

public:
    // The pause before the alert comes back after "Help" opened the help page.
    static constexpr std::chrono::milliseconds HelpAlertDelay{500};

    // Takes the view model over as a child.
    AddForgeAccountView(AddForgeAccountViewModel *viewModel, PreferencesServices services, QWidget *parent = nullptr);

    AddForgeAccountViewModel &viewModel() const { return *m_viewModel; }
    void saveAccount();
    void reject() override;

private:
    void updateControls();
    QCoro::Task<> confirmUnverifiedKey();
    void showKeyNotStored();

    AddForgeAccountViewModel *m_viewModel;
    PreferencesServices m_services;
    QLineEdit *m_accountName;
    QPlainTextEdit *m_apiKey;
    QProgressBar *m_progress;
    QPushButton *m_cancel = nullptr;
    QPushButton *m_add = nullptr;

    Q_DISABLE_COPY_MOVE(AddForgeAccountView)
};

// A new Add sheet with empty fields, bound to a pending account of its own.
AddForgeAccountView *makeAddForgeAccountView(const PreferencesServices &services, QWidget *parent = nullptr);

} // namespace plimsy
