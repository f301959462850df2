#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace plimsy {

class AccountTabViewModel;

// The Plimsy account part of the "Account" tab: the signed-in address with "Sign Out", or "Sign In…"
// (disabled while a browser sign-in started here is under way). Each showing reads the sign-in state
// afresh; the application becoming active again re-enables "Sign In…".
class AccountTab : public QWidget
{
    Q_OBJECT

public:
    // Takes the view model over as a child.
    explicit AccountTab(AccountTabViewModel *viewModel, QWidget *parent = nullptr);

    AccountTabViewModel &viewModel() const { return *m_viewModel; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void updateViews();

    AccountTabViewModel *m_viewModel;
    QWidget *m_signedIn;
    QWidget *m_signedOut;
    QLabel *m_email;
    QPushButton *m_signIn;

    Q_DISABLE_COPY_MOVE(AccountTab)
};

} // namespace plimsy
