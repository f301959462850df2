#pragma once

#include <QWidget>

#include <functional>

namespace plimsy {

// The welcome window's content: what Plimsy offers, "Sign In" and "Quit". A user who already has
// Forge accounts (an upgrade) is told that an account is now needed.
class WelcomeView : public QWidget
{
    Q_OBJECT

public:
    WelcomeView(std::function<void()> onSignIn, bool isUpgradeFromV5, QWidget *parent = nullptr);

private:
    Q_DISABLE_COPY_MOVE(WelcomeView)
};

} // namespace plimsy
