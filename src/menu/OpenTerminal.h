#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace plimsy {

class AlertPresenter;
class TerminalLauncher;
class UserDefaults;

// Opens shells in the terminal application chosen in Preferences. Commands are argument lists, and
// server, site and custom-server values only ever become single arguments: ssh sees "--" before the
// destination, and a remote command is one argument with the directory quoted for the remote shell.
// Made for one action and dropped afterwards.
class OpenTerminal
{
public:
    static constexpr const char *DefaultKey = "myTerminal";

    OpenTerminal(QString defaultKey, UserDefaults &defaults, TerminalLauncher &launcher, AlertPresenter &alerts);

    // Why ssh must not be started for this login, or none. A user or host holds only what such names can
    // hold (letters, digits, ".", "_", "-"; for hosts also ":" and an IPv6 literal's brackets) and never
    // begins with "-", which ssh would read as an option.
    static std::optional<QString>
    loginProblem(const QString &user, const QString &host, std::optional<qint64> port = std::nullopt);

    // The ssh arguments for a login that has no problem.
    static QStringList sshArguments(const QString &user,
                                    const QString &host,
                                    std::optional<qint64> port = std::nullopt,
                                    const std::optional<QString> &remoteCommand = std::nullopt);

    // `cd` into `directory` (relative to the login's home), then an interactive shell.
    static QString remoteShellIn(const QString &directory);

    // An ssh login; a login with a problem starts nothing and says why in a warning alert.
    bool ssh(const QString &user, const QString &host, std::optional<qint64> port = std::nullopt);
    // An ssh login that starts in `directory`.
    bool sshCommand(const QString &host, const QString &user, const QString &directory);
    // Runs `command` in the chosen terminal; an empty one opens a local shell in `workingDirectory`. A
    // terminal that is not installed or does not start is named in a warning alert.
    bool open(const QStringList &command, const QString &workingDirectory = {});

    // The folder of the file manager's front window. Linux desktops offer no common way to ask for it,
    // so there is none.
    static std::optional<QString> finderFrontWindowPath();

private:
    bool refuse(const QString &reason);

    QString m_defaultKey;
    UserDefaults &m_defaults;
    TerminalLauncher &m_launcher;
    AlertPresenter &m_alerts;
};

} // namespace plimsy
