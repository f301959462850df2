#include "platform/TerminalLauncher.h"

#include "platform/ProcessStarter.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStandardPaths>

#include <array>

namespace plimsy {

namespace {

Q_LOGGING_CATEGORY(lcTerminalLauncher, "plimsy.terminal")

// The option after which each terminal takes the command as separate arguments. Terminals whose -e
// takes one string to split (gnome-terminal, xfce4-terminal) have another option for an argument list;
// "-e" is the x-terminal-emulator convention for the rest.
QString commandOption(const QString &program)
{
    const QString name = QFileInfo(program).fileName();
    if (name == QLatin1String("gnome-terminal")) {
        return QStringLiteral("--");
    }
    if (name == QLatin1String("xfce4-terminal")) {
        return QStringLiteral("-x");
    }
    return QStringLiteral("-e");
}

} // namespace

TerminalLauncher::TerminalLauncher(ProcessStarter &starter, QProcessEnvironment environment)
    : m_starter(starter)
    , m_environment(std::move(environment))
{
}

TerminalApplication TerminalLauncher::application(qint64 choice)
{
    switch (choice) {
    case 1:
        return TerminalApplication::ITerm;
    case 2:
        return TerminalApplication::Hyper;
    case 3:
        return TerminalApplication::Warp;
    case 4:
        return TerminalApplication::Ghostty;
    default:
        return TerminalApplication::Terminal;
    }
}

std::optional<TerminalInvocation>
TerminalLauncher::invocation(qint64 choice, const QStringList &command, const QString &workingDirectory) const
{
    std::optional<QString> program;
    switch (application(choice)) {
    case TerminalApplication::Terminal:
    case TerminalApplication::ITerm:
        program = defaultTerminal();
        break;
    case TerminalApplication::Hyper:
        program = findExecutable(QStringLiteral("hyper"));
        break;
    case TerminalApplication::Warp:
        program = findExecutable(QStringLiteral("warp-terminal"));
        break;
    case TerminalApplication::Ghostty:
        program = findExecutable(QStringLiteral("ghostty"));
        break;
    }
    if (!program) {
        return std::nullopt;
    }
    TerminalInvocation result{*program, {}, workingDirectory};
    if (!command.isEmpty()) {
        result.arguments << commandOption(*program) << command;
    }
    return result;
}

bool TerminalLauncher::launch(qint64 choice, const QStringList &command, const QString &workingDirectory) const
{
    const std::optional<TerminalInvocation> terminal = invocation(choice, command, workingDirectory);
    if (!terminal) {
        qCWarning(lcTerminalLauncher).noquote() << "No terminal application is installed for the choice" << choice;
        return false;
    }
    return m_starter.startDetached(terminal->program, terminal->arguments, terminal->workingDirectory);
}

std::optional<QString> TerminalLauncher::defaultTerminal() const
{
    if (const auto alternative = findExecutable(QStringLiteral("x-terminal-emulator"))) {
        return alternative;
    }
    const QString preferred = m_environment.value(QStringLiteral("TERMINAL"));
    if (!preferred.isEmpty()) {
        if (const auto found = findExecutable(preferred)) {
            return found;
        }
    }
    static constexpr std::array Known{"gnome-terminal", "konsole", "xfce4-terminal", "xterm"};
    for (const char *name : Known) {
        if (const auto found = findExecutable(QString::fromLatin1(name))) {
            return found;
        }
    }
    return std::nullopt;
}

std::optional<QString> TerminalLauncher::findExecutable(const QString &name) const
{
    const QStringList path =
        m_environment.value(QStringLiteral("PATH")).split(QDir::listSeparator(), Qt::SkipEmptyParts);
    // An absolute TERMINAL is taken as it is; with an empty PATH findExecutable would search the system's.
    if (QFileInfo(name).isAbsolute()) {
        const QFileInfo file(name);
        return file.isFile() && file.isExecutable() ? std::optional<QString>(name) : std::nullopt;
    }
    if (path.isEmpty()) {
        return std::nullopt;
    }
    const QString found = QStandardPaths::findExecutable(name, path);
    return found.isEmpty() ? std::nullopt : std::optional<QString>(found);
}

} // namespace plimsy
