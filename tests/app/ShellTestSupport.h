#pragma once

#include "account/AuthService.h"
#include "core/Logger.h"
#include "menu/WindowController.h"

#include <QDateTime>
#include <QFile>

#include <memory>

namespace plimsy::test {

// The sign-in state as a test sets it.
class FixedAuthService final : public AuthService
{
public:
    bool signedIn = false;

    QCoro::Task<bool> logout() override
    {
        signedIn = false;
        co_return true;
    }
    QCoro::Task<QUrl> webSessionURL(std::optional<QString>) override { co_return QUrl(); }
    bool isAuthenticated() override { return signedIn; }
    bool isSignInUnavailable() const override { return false; }
    std::optional<User> currentUser() const override { return std::nullopt; }
    void setCurrentUser(const User &) override {}
};

// A window that counts how often it was made and shown.
struct WindowLog
{
    int made = 0;
    int shown = 0;

    WindowFactory factory()
    {
        return [this] {
            ++made;
            return std::make_unique<CountingWindow>(*this);
        };
    }

    struct CountingWindow final : WindowController
    {
        explicit CountingWindow(WindowLog &log)
            : log(log)
        {
        }
        void showWindow() override { ++log.shown; }
        WindowLog &log;
    };
};

// Today's "Plimsy" log file as written so far.
inline QString plimsyLog()
{
    Logger::shared().flush();
    QFile file(*Logger::shared().logDirectory() + QLatin1Char('/')
               + Logger::logFileName(QStringLiteral("Plimsy"), QDateTime::currentDateTime()));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace plimsy::test
