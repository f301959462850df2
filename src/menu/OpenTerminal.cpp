#include "menu/OpenTerminal.h"

#include "menu/CustomServer.h"
#include "menu/MenuLog.h"
#include "platform/AlertPresenter.h"
#include "platform/TerminalLauncher.h"
#include "platform/UserDefaults.h"

#include <algorithm>

namespace plimsy {

namespace {

bool isUnsafeCharacter(QChar c)
{
    return c.isSpace() || c.category() == QChar::Other_Control || c.category() == QChar::Other_Format;
}

// Why `value` cannot stand for `what` on ssh's command line, or none.
std::optional<QString> nameProblem(const QString &what, const QString &value)
{
    if (value.isEmpty()) {
        return QStringLiteral("The %1 is empty.").arg(what);
    }
    if (value.startsWith(QLatin1Char('-'))) {
        return QStringLiteral("The %1 \"%2\" begins with \"-\".").arg(what, value);
    }
    if (std::any_of(value.cbegin(), value.cend(), isUnsafeCharacter)) {
        return QStringLiteral("The %1 contains spaces or control characters.").arg(what);
    }
    return std::nullopt;
}

} // namespace

OpenTerminal::OpenTerminal(QString defaultKey,
                           UserDefaults &defaults,
                           TerminalLauncher &launcher,
                           AlertPresenter &alerts)
    : m_defaultKey(std::move(defaultKey))
    , m_defaults(defaults)
    , m_launcher(launcher)
    , m_alerts(alerts)
{
}

std::optional<QString> OpenTerminal::loginProblem(const QString &user, const QString &host, std::optional<qint64> port)
{
    if (auto problem = nameProblem(QStringLiteral("user name"), user)) {
        return problem;
    }
    if (auto problem = nameProblem(QStringLiteral("host"), host)) {
        return problem;
    }
    if (port && !CustomServer::isValidPort(*port)) {
        return CustomServer::portRangeMessage();
    }
    return std::nullopt;
}

QStringList OpenTerminal::sshArguments(const QString &user,
                                       const QString &host,
                                       std::optional<qint64> port,
                                       const std::optional<QString> &remoteCommand)
{
    QStringList arguments{QStringLiteral("ssh")};
    if (remoteCommand) {
        // The remote command starts a shell, which needs a terminal.
        arguments << QStringLiteral("-t");
    }
    if (port) {
        arguments << QStringLiteral("-p") << QString::number(*port);
    }
    arguments << QStringLiteral("--") << user + QLatin1Char('@') + host;
    if (remoteCommand) {
        arguments << *remoteCommand;
    }
    return arguments;
}

QString OpenTerminal::remoteShellIn(const QString &directory)
{
    // ssh hands its command to the login shell: inside single quotes only a single quote needs care.
    QString quoted = directory;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QStringLiteral("cd '%1' ; bash").arg(quoted);
}

bool OpenTerminal::ssh(const QString &user, const QString &host, std::optional<qint64> port)
{
    if (const auto problem = loginProblem(user, host, port)) {
        return refuse(*problem);
    }
    return open(sshArguments(user, host, port));
}

bool OpenTerminal::sshCommand(const QString &host, const QString &user, const QString &directory)
{
    if (const auto problem = loginProblem(user, host)) {
        return refuse(*problem);
    }
    return open(sshArguments(user, host, std::nullopt, remoteShellIn(directory)));
}

bool OpenTerminal::open(const QStringList &command, const QString &workingDirectory)
{
    return m_launcher.launch(m_defaults.integer(m_defaultKey), command, workingDirectory);
}

std::optional<QString> OpenTerminal::finderFrontWindowPath()
{
    return std::nullopt;
}

bool OpenTerminal::refuse(const QString &reason)
{
    plimsyLog(QStringLiteral("[OpenTerminal] Not starting ssh: ") + reason);
    m_alerts.show({QStringLiteral("Could not open the terminal"), reason, Alert::Style::Warning, {}});
    return false;
}

} // namespace plimsy
