#include "menu/OpenTerminal.h"

#include "menu/CustomServer.h"
#include "menu/MenuLog.h"
#include "platform/AlertPresenter.h"
#include "platform/TerminalLauncher.h"
#include "platform/UserDefaults.h"

#include <QClipboard>
#include <QGuiApplication>

#include <algorithm>

namespace plimsy {

namespace {

bool isNameCharacter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'.' || c == u'_'
           || c == u'-';
}

bool holdsOnly(QStringView text, bool (*allowed)(QChar))
{
    return std::all_of(text.begin(), text.end(), allowed);
}

// What a user or host name can hold and nothing else: ssh hands both to ProxyCommand and Match exec lines,
// which older OpenSSH releases give to a shell, so "$(", backticks and ";" must never get through.
bool isValidName(const QString &value, bool isHost)
{
    if (isHost && value.size() > 2 && value.startsWith(u'[') && value.endsWith(u']')) {
        // An IPv6 literal in brackets.
        return holdsOnly(QStringView(value).mid(1, value.size() - 2),
                         [](QChar c) { return isNameCharacter(c) || c == u':'; });
    }
    return isHost ? holdsOnly(value, [](QChar c) { return isNameCharacter(c) || c == u':'; })
                  : holdsOnly(value, isNameCharacter);
}

// Why `value` cannot stand for `what` on ssh's command line, or none.
std::optional<QString> nameProblem(const QString &what, const QString &value, bool isHost)
{
    if (value.isEmpty()) {
        return QStringLiteral("The %1 is empty.").arg(what);
    }
    if (value.startsWith(QLatin1Char('-'))) {
        return QStringLiteral("The %1 \"%2\" begins with \"-\".").arg(what, value);
    }
    if (!isValidName(value, isHost)) {
        return isHost ? QStringLiteral("The host may only hold letters, digits, \".\", \"_\", \"-\" and \":\", or be "
                                       "an IPv6 address in brackets.")
                      : QStringLiteral("The user name may only hold letters, digits, \".\", \"_\" and \"-\".");
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
    if (auto problem = nameProblem(QStringLiteral("user name"), user, false)) {
        return problem;
    }
    if (auto problem = nameProblem(QStringLiteral("host"), host, true)) {
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
    using Status = TerminalLauncher::Launch::Status;
    const TerminalLauncher::Launch launch =
        m_launcher.launch(m_defaults.integer(m_defaultKey), command, workingDirectory);
    switch (launch.status) {
    case Status::Started:
        break;
    case Status::NotInstalled:
        return refuse(launch.terminalName.isEmpty()
                          ? QStringLiteral("No terminal application is installed. Install one, or name yours in the "
                                           "TERMINAL environment variable.")
                          : QStringLiteral("%1 is not installed. Choose another terminal in Preferences.")
                                .arg(launch.terminalName));
    case Status::NotStarted:
        return refuse(QStringLiteral("%1 could not be started.").arg(launch.terminalName));
    }
    if (!launch.commandToPaste.isEmpty()) {
        // The terminal opens its own shell: the command waits on the clipboard, as the user would paste it.
        QGuiApplication::clipboard()->setText(launch.commandToPaste);
        m_alerts.show({QStringLiteral("Paste the command into %1").arg(launch.terminalName),
                       QStringLiteral("%1 cannot be handed a command on Linux. The command is on the clipboard: "
                                      "paste it into the new window.")
                           .arg(launch.terminalName),
                       Alert::Style::Informational,
                       {}});
    }
    return true;
}

std::optional<QString> OpenTerminal::finderFrontWindowPath()
{
    return std::nullopt;
}

bool OpenTerminal::refuse(const QString &reason)
{
    plimsyLog(QStringLiteral("[OpenTerminal] No terminal opened: ") + reason);
    m_alerts.show({QStringLiteral("Could not open the terminal"), reason, Alert::Style::Warning, {}});
    return false;
}

} // namespace plimsy
